#include "install/SafeFileReplacement.h"

#include "install/AppImageIntegrationTestSupport.h"
#include "install/ScopedFileDescriptor.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <thread>

namespace
{

namespace fs = std::filesystem;
namespace safefile = zorvaplugins::zorvamanager::install::safefile;
using zorvatest::readFile;
using zorvatest::TempDir;
using zorvatest::writeFile;
using namespace zorvatest::appimage;

// Sets the process umask for one test and puts the old one back.
class ScopedUmask
{
public:
    explicit ScopedUmask (mode_t mask)
        : previous (::umask (mask))
    {}
    ~ScopedUmask() { ::umask (previous); }

private:
    mode_t previous;
};

// --- isSafeSourceFile ----------------------------------------------------------------------

TEST (SafeFileReplacement, SafeSourceIsOnlyARegularFileReachedWithoutALink)
{
    TempDir dir;
    writeFile (dir / "plain", "data");
    makeLink (dir / "plain", dir / "link");
    makeLink (dir / "missing", dir / "dangling");
    fs::create_directory (dir / "folder");

    struct Case
    {
        fs::path path;
        bool safe;
    };

    const Case cases[] = {
        { dir / "plain", true },   { dir / "link", false },    { dir / "dangling", false },
        { dir / "folder", false }, { dir / "missing", false }, { "/dev/null", false },
    };

    for (const auto& c : cases)
    {
        std::string error = "untouched";
        EXPECT_EQ (safefile::isSafeSourceFile (c.path, error), c.safe) << c.path;
        EXPECT_EQ (error, c.safe ? "untouched" : "source is not a regular file: " + c.path.string()) << c.path;
    }
}

// --- writeAll ------------------------------------------------------------------------------

std::atomic<int> interruptions { 0 };

void countInterruption (int)
{
    interruptions.fetch_add (1);
}

TEST (SafeFileReplacement, WriteAllCompletesWhenSignalsInterruptABlockedWrite)
{
    int channel[2];
    ASSERT_EQ (::pipe (channel), 0);
    safefile::ScopedFileDescriptor reader (channel[0]);
    safefile::ScopedFileDescriptor writer (channel[1]);

    // Fill the pipe first, so that writeAll's first write blocks before it transfers a byte and
    // a signal makes it fail with EINTR rather than return a short count.
    const auto flags = ::fcntl (writer.get(), F_GETFL);
    ASSERT_EQ (::fcntl (writer.get(), F_SETFL, flags | O_NONBLOCK), 0);
    std::string prefill;
    const std::string chunk (4096, 'p');

    while (::write (writer.get(), chunk.data(), chunk.size()) > 0)
        prefill += chunk;

    ASSERT_EQ (::fcntl (writer.get(), F_SETFL, flags), 0);

    // No SA_RESTART: the kernel hands the interruption back to the caller.
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = countInterruption;
    sigemptyset (&action.sa_mask);
    action.sa_flags = 0;
    ASSERT_EQ (::sigaction (SIGUSR1, &action, &previous), 0);
    interruptions = 0;

    const auto payload = zorvatest::patternBytes (1 << 20, 3);
    const auto writerThread = ::pthread_self();
    std::string received;

    std::thread drain ([&] {
        // The writer is blocked on a full pipe for all of this; every signal
        // lands while it waits.
        for (int i = 0; i < 20; ++i)
        {
            ::pthread_kill (writerThread, SIGUSR1);
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
        }

        char buffer[65536];

        while (received.size() < prefill.size() + payload.size())
        {
            const auto count = ::read (reader.get(), buffer, sizeof (buffer));

            if (count <= 0)
                break;

            received.append (buffer, static_cast<std::size_t> (count));
        }
    });

    std::string error = "untouched";
    const auto ok = safefile::writeAll (writer.get(), payload.data(), payload.size(), error);
    writer.reset(); // the drain ends at the end of the data even when writeAll gave up early
    drain.join();
    ::sigaction (SIGUSR1, &previous, nullptr);

    EXPECT_TRUE (ok) << error;
    EXPECT_EQ (error, "untouched");
    EXPECT_GT (interruptions.load(), 0);
    ASSERT_EQ (received.size(), prefill.size() + payload.size());
    EXPECT_TRUE (received.compare (prefill.size(), payload.size(), payload) == 0) << "the bytes arrived damaged";
}

TEST (SafeFileReplacement, WriteAllReportsTheSystemsReason)
{
    std::string error;

    // Zero bytes never reach write(), so even an invalid descriptor succeeds.
    EXPECT_TRUE (safefile::writeAll (-1, "", 0, error));

    safefile::ScopedFileDescriptor full (::open ("/dev/full", O_WRONLY | O_CLOEXEC));

    if (full.isValid())
    {
        EXPECT_FALSE (safefile::writeAll (full.get(), "abc", 3, error));
        EXPECT_EQ (error, "write failed: No space left on device");
    }

    EXPECT_FALSE (safefile::writeAll (-1, "abc", 3, error));
    EXPECT_EQ (error, "write failed: Bad file descriptor");
}

// --- commandLinkPointsTo -------------------------------------------------------------------

TEST (SafeFileReplacement, CommandLinkPointsToComparesTheResolvedValueLexically)
{
    TempDir dir;
    const auto home = dir / "home";
    const auto copy = home / ".local/lib/zorvamanager/ZorvaManager.AppImage"; // never created
    fs::create_directories (home / ".local/bin");
    writeFile (home / ".local/bin/plain", "not a link");

    struct Case
    {
        std::string name;
        std::optional<fs::path> value; // nullopt: no link at all
        bool pointsToCopy;
    };

    const Case cases[] = {
        { "relative", fs::path ("../lib/zorvamanager/ZorvaManager.AppImage"), true },
        { "absolute", copy, true },
        { "unnormalised", home / ".local/./bin/../lib/zorvamanager//ZorvaManager.AppImage", true },
        { "elsewhere", fs::path ("/usr/bin/ZorvaManager"), false },
        { "relative-elsewhere", fs::path ("ZorvaManager.AppImage"), false },
    };

    for (const auto& c : cases)
    {
        const auto link = home / ".local/bin" / c.name;
        fs::create_symlink (*c.value, link);
        EXPECT_EQ (safefile::commandLinkPointsTo (link, copy), c.pointsToCopy) << c.name;
    }

    EXPECT_FALSE (safefile::commandLinkPointsTo (home / ".local/bin/plain", copy));
    EXPECT_FALSE (safefile::commandLinkPointsTo (home / ".local/bin/missing", copy));
}

// --- temporaryPathFor ----------------------------------------------------------------------

TEST (SafeFileReplacement, TemporaryNameIsHiddenBesideTheTargetAndCarriesPidClockAndAttempt)
{
    const fs::path target = "/some/folder/zorvamanager.png";

    for (const std::uint32_t attempt : { 0u, 7u, 4294967295u })
    {
        const auto temporary = safefile::temporaryPathFor (target, attempt);
        EXPECT_EQ (temporary.parent_path(), target.parent_path());

        const std::regex expected (R"(^\.zorvamanager\.png\.)" + std::to_string (::getpid()) + R"(\.-?[0-9]+\.)" +
                                   std::to_string (attempt) + R"(\.tmp$)");
        EXPECT_TRUE (std::regex_match (temporary.filename().string(), expected)) << temporary;
    }
}

// --- fsyncDirectory, ensureDirectory -------------------------------------------------------

TEST (SafeFileReplacement, FsyncDirectoryNeedsAFolder)
{
    TempDir dir;
    writeFile (dir / "file", "x");
    std::string error = "untouched";

    EXPECT_TRUE (safefile::fsyncDirectory (dir.path(), error));
    EXPECT_EQ (error, "untouched");

    EXPECT_FALSE (safefile::fsyncDirectory (dir / "missing", error));
    EXPECT_EQ (error, "cannot sync integration directory: No such file or directory");

    EXPECT_FALSE (safefile::fsyncDirectory (dir / "file", error));
    EXPECT_EQ (error, "cannot sync integration directory: Not a directory");
}

TEST (SafeFileReplacement, EnsureDirectoryCreatesParentsButRefusesLinksAndFiles)
{
    TempDir dir;
    fs::create_directory (dir / "real");
    makeLink (dir / "real", dir / "linked");
    writeFile (dir / "file", "x");
    std::string error = "untouched";

    EXPECT_TRUE (safefile::ensureDirectory (dir / "a/b/c", error));
    EXPECT_TRUE (fs::is_directory (dir / "a/b/c"));
    EXPECT_TRUE (safefile::ensureDirectory (dir / "real", error));
    EXPECT_EQ (error, "untouched");

    EXPECT_FALSE (safefile::ensureDirectory ({}, error));
    EXPECT_EQ (error, "ZorvaManager integration path is empty");

    EXPECT_FALSE (safefile::ensureDirectory (dir / "linked", error));
    EXPECT_EQ (error, "integration directory is not a safe directory: " + (dir / "linked").string());
    EXPECT_TRUE (fs::is_symlink (dir / "linked"));

    EXPECT_FALSE (safefile::ensureDirectory (dir / "file", error));
    EXPECT_EQ (error.rfind ("cannot create " + (dir / "file").string() + ": ", 0), 0u) << error;

    EXPECT_FALSE (safefile::ensureDirectory (dir / "file/below", error));
    EXPECT_EQ (error, "cannot create " + (dir / "file/below").string() + ": Not a directory");
}

// --- isReplaceableRegularFileOrMissing -----------------------------------------------------

TEST (SafeFileReplacement, OnlyMissingPathsAndRegularFilesAreReplaceable)
{
    TempDir dir;
    writeFile (dir / "plain", "x");
    makeLink (dir / "plain", dir / "link");
    makeLink (dir / "missing", dir / "dangling");
    fs::create_directory (dir / "folder");

    const auto refusing = [] (const fs::path& p) { return "refusing to replace unsafe integration path: " + p.string(); };

    struct Case
    {
        fs::path path;
        bool replaceable;
        std::string error;
    };

    const Case cases[] = {
        { dir / "missing", true, "untouched" },
        { dir / "plain", true, "untouched" },
        { dir / "link", false, refusing (dir / "link") },
        { dir / "dangling", false, refusing (dir / "dangling") },
        { dir / "folder", false, refusing (dir / "folder") },
        { dir / "plain/below", false, "cannot inspect " + (dir / "plain/below").string() + ": Not a directory" },
    };

    for (const auto& c : cases)
    {
        std::string error = "untouched";
        EXPECT_EQ (safefile::isReplaceableRegularFileOrMissing (c.path, error), c.replaceable) << c.path;
        EXPECT_EQ (error, c.error);
    }
}

// --- replaceFromFileAtomically -------------------------------------------------------------

class AtomicReplacement : public ::testing::Test
{
protected:
    TempDir dir;
    fs::path source = dir / "source.bin";
    fs::path target = dir / "out/target.bin";

    void SetUp() override { fs::create_directories (target.parent_path()); }

    // Nothing but the target (when expected) may be left in its folder.
    void expectFolderHoldsOnly (const std::vector<std::string>& names)
    {
        std::vector<std::string> found;

        for (const auto& entry : fs::directory_iterator (target.parent_path()))
            found.push_back (entry.path().filename().string());

        std::sort (found.begin(), found.end());
        EXPECT_EQ (found, names);
    }
};

TEST_F (AtomicReplacement, CopiesEveryByteWithTheRequestedModeLessTheUmask)
{
    // Several buffer fills and a ragged end.
    const auto bytes = zorvatest::patternBytes (3 * 65536 + 123, 11);
    writeFile (source, bytes);

    struct Case
    {
        mode_t umask;
        unsigned mode;
        unsigned expected;
    };

    for (const auto& c : { Case { 022, 0755, 0755 }, Case { 077, 0755, 0700 }, Case { 022, 0644, 0644 } })
    {
        ScopedUmask mask (c.umask);
        fs::remove (target);
        std::string error = "untouched";

        ASSERT_TRUE (safefile::replaceFromFileAtomically (source, target, c.mode, error)) << error;
        EXPECT_EQ (error, "untouched");
        EXPECT_EQ (readFile (target), bytes);
        EXPECT_EQ (permissionsOf (target), c.expected);
        expectFolderHoldsOnly ({ "target.bin" });
    }
}

TEST_F (AtomicReplacement, AnOpenReaderKeepsTheOldContentAndANewReaderSeesTheNewWhole)
{
    const auto oldBytes = zorvatest::patternBytes (200000, 1);
    const auto newBytes = zorvatest::patternBytes (150001, 2);
    writeFile (target, oldBytes);
    writeFile (source, newBytes);

    std::ifstream before (target, std::ios::binary);
    std::string error;
    ASSERT_TRUE (safefile::replaceFromFileAtomically (source, target, 0644, error)) << error;

    const std::string seenByOldReader ((std::istreambuf_iterator<char> (before)), std::istreambuf_iterator<char>());
    EXPECT_TRUE (seenByOldReader == oldBytes);
    EXPECT_TRUE (readFile (target) == newBytes);
    expectFolderHoldsOnly ({ "target.bin" });
}

TEST_F (AtomicReplacement, ATargetLinkIsReplacedNotFollowed)
{
    writeFile (dir / "victim", "precious");
    makeLink (dir / "victim", target);
    writeFile (source, "new");
    std::string error;

    ASSERT_TRUE (safefile::replaceFromFileAtomically (source, target, 0644, error)) << error;
    EXPECT_FALSE (fs::is_symlink (target));
    EXPECT_EQ (readFile (target), "new");
    EXPECT_EQ (readFile (dir / "victim"), "precious");
}

TEST_F (AtomicReplacement, UnusableSourcesAreRefusedWithoutTouchingTheTarget)
{
    writeFile (target, "old");
    writeFile (dir / "real-source", "linked data");
    makeLink (dir / "real-source", dir / "linked-source");
    fs::create_directory (dir / "folder-source");

    struct Case
    {
        fs::path source;
        std::string error;
    };

    const Case cases[] = {
        { dir / "linked-source", "cannot open source AppImage data: Too many levels of symbolic links" },
        { dir / "missing-source", "cannot open source AppImage data: No such file or directory" },
        { dir / "folder-source", "source is not a regular file" },
    };

    const auto descriptors = zorvatest::openDescriptorCount();

    for (const auto& c : cases)
    {
        std::string error;
        EXPECT_FALSE (safefile::replaceFromFileAtomically (c.source, target, 0644, error));
        EXPECT_EQ (error, c.error);
        EXPECT_EQ (readFile (target), "old");
        expectFolderHoldsOnly ({ "target.bin" });
    }

    EXPECT_EQ (zorvatest::openDescriptorCount(), descriptors);
}

// A namer that always names the same, already existing file.
fs::path occupiedName;
std::uint32_t namerCalls = 0;

fs::path alwaysOccupied (const fs::path&, std::uint32_t)
{
    ++namerCalls;
    return occupiedName;
}

// A namer whose first choice is a link an attacker planted at the predicted name.
fs::path plantedLink;

fs::path plantedFirst (const fs::path& target, std::uint32_t attempt)
{
    return attempt == 0 ? plantedLink : safefile::temporaryPathFor (target, attempt);
}

TEST_F (AtomicReplacement, GivesUpAfter128TakenNamesAndLeavesNothingBehind)
{
    writeFile (source, "new");
    writeFile (target, "old");
    occupiedName = target.parent_path() / ".occupied";
    writeFile (occupiedName, "someone else's");
    namerCalls = 0;
    const auto descriptors = zorvatest::openDescriptorCount();
    std::string error;

    EXPECT_FALSE (safefile::replaceFromFileAtomically (source, target, 0644, error, alwaysOccupied));
    EXPECT_EQ (error, "cannot create a unique temporary integration file");
    EXPECT_EQ (namerCalls, 128u);
    EXPECT_EQ (readFile (target), "old");
    EXPECT_EQ (readFile (occupiedName), "someone else's");
    expectFolderHoldsOnly ({ ".occupied", "target.bin" });
    EXPECT_EQ (zorvatest::openDescriptorCount(), descriptors) << "the source stayed open";
}

TEST_F (AtomicReplacement, ALinkPlantedAtATemporaryNameIsNeitherFollowedNorRemoved)
{
    writeFile (source, "new");
    writeFile (dir / "victim", "precious");
    plantedLink = target.parent_path() / ".planted";
    makeLink (dir / "victim", plantedLink);
    std::string error;

    ASSERT_TRUE (safefile::replaceFromFileAtomically (source, target, 0644, error, plantedFirst)) << error;
    EXPECT_EQ (readFile (target), "new");
    EXPECT_EQ (readFile (dir / "victim"), "precious");
    EXPECT_TRUE (fs::is_symlink (plantedLink));
}

TEST_F (AtomicReplacement, FailuresAfterTheTemporaryFileExistedRemoveIt)
{
    writeFile (source, "new");
    // A non-empty folder at the target's place makes the final rename fail.
    writeFile (target / "inside", "x");
    std::string error;

    EXPECT_FALSE (safefile::replaceFromFileAtomically (source, target, 0644, error));
    EXPECT_EQ (error, "cannot replace integration file: Is a directory");
    expectFolderHoldsOnly ({ "target.bin" });
    EXPECT_EQ (readFile (target / "inside"), "x");

    // A temporary name in a missing folder fails on creation, not with a collision.
    fs::remove_all (target);
    std::string createError;
    EXPECT_FALSE (safefile::replaceFromFileAtomically (source, dir / "nowhere/target.bin", 0644, createError));
    EXPECT_EQ (createError, "cannot create temporary integration file: No such file or directory");
}

TEST_F (AtomicReplacement, AReadOnlyFolderKeepsTheOldTarget)
{
    writeFile (source, "new");
    writeFile (target, "old");
    ReadOnlyFolder readOnly (target.parent_path());

    if (! readOnly.active())
        GTEST_SKIP() << readOnly.reason();

    std::string error;
    EXPECT_FALSE (safefile::replaceFromFileAtomically (source, target, 0644, error));
    EXPECT_EQ (error.rfind ("cannot create temporary integration file: ", 0), 0u) << error;
    EXPECT_EQ (readFile (target), "old");
    expectFolderHoldsOnly ({ "target.bin" });
}

TEST_F (AtomicReplacement, AFullDiskKeepsTheOldTargetAndRemovesThePartialCopy)
{
    const auto outcome = inPrivateMountNamespace ([&]() -> std::string {
        const auto small = dir / "small";
        fs::create_directory (small);

        if (! mountTinyFileSystem (small, "64k"))
            return "cannot mount a small file system";

        const auto onSmall = small / "target.bin";
        writeFile (onSmall, "old");
        writeFile (source, zorvatest::patternBytes (1 << 20));
        std::string error;

        if (safefile::replaceFromFileAtomically (source, onSmall, 0644, error))
            return "a 1 MiB copy fitted into 64 KiB";

        if (error != "write failed: No space left on device")
            return "unexpected error: " + error;

        if (readFile (onSmall) != "old")
            return "the old target was damaged";

        if (std::distance (fs::directory_iterator (small), fs::directory_iterator()) != 1)
            return "a temporary file was left behind";

        std::string entryError;
        const std::string bigEntry (1 << 20, 'x');

        if (safefile::writeDesktopEntryAtomically (small / "entry.desktop", bigEntry, entryError))
            return "a 1 MiB desktop entry fitted into 64 KiB";

        if (entryError != "write failed: No space left on device")
            return "unexpected desktop entry error: " + entryError;

        if (std::distance (fs::directory_iterator (small), fs::directory_iterator()) != 1)
            return "a temporary desktop entry was left behind";

        return {};
    });

    if (! outcome)
        GTEST_SKIP() << "no private mount namespace here (needs root)";

    EXPECT_EQ (*outcome, "");
}

// --- writeDesktopEntryAtomically -----------------------------------------------------------

TEST_F (AtomicReplacement, DesktopEntryIsWrittenWhole)
{
    ScopedUmask mask (022);
    const auto entry = target.parent_path() / "x.desktop";
    writeFile (entry, "old entry");
    std::string error = "untouched";

    ASSERT_TRUE (safefile::writeDesktopEntryAtomically (entry, "[Desktop Entry]\nName=x\n", error)) << error;
    EXPECT_EQ (error, "untouched");
    EXPECT_EQ (readFile (entry), "[Desktop Entry]\nName=x\n");
    EXPECT_EQ (permissionsOf (entry), 0644u);
    expectFolderHoldsOnly ({ "x.desktop" });
}

TEST_F (AtomicReplacement, DesktopEntryFailuresUseItsOwnWordsAndLeaveNoTemporaryFile)
{
    const auto entry = target.parent_path() / "x.desktop";
    writeFile (entry, "old entry");
    occupiedName = target.parent_path() / ".occupied";
    writeFile (occupiedName, "someone else's");
    namerCalls = 0;
    std::string error;

    EXPECT_FALSE (safefile::writeDesktopEntryAtomically (entry, "new", error, alwaysOccupied));
    EXPECT_EQ (error, "cannot create a unique temporary desktop entry");
    EXPECT_EQ (namerCalls, 128u);
    fs::remove (occupiedName);

    EXPECT_FALSE (safefile::writeDesktopEntryAtomically (dir / "nowhere/x.desktop", "new", error));
    EXPECT_EQ (error, "cannot create temporary desktop entry: No such file or directory");

    const auto folderEntry = target.parent_path() / "folder.desktop";
    writeFile (folderEntry / "inside", "x");
    EXPECT_FALSE (safefile::writeDesktopEntryAtomically (folderEntry, "new", error));
    EXPECT_EQ (error, "cannot replace desktop entry: Is a directory");

    EXPECT_EQ (readFile (entry), "old entry");
    expectFolderHoldsOnly ({ "folder.desktop", "x.desktop" });
}

// --- removeRegularFile ---------------------------------------------------------------------

TEST (SafeFileReplacement, RemoveRegularFileRemovesOnlyRegularFiles)
{
    TempDir dir;
    writeFile (dir / "plain", "x");
    writeFile (dir / "victim", "precious");
    makeLink (dir / "victim", dir / "link");
    fs::create_directory (dir / "folder");

    struct Case
    {
        fs::path path;
        bool removed;
    };

    const Case cases[] = {
        { dir / "plain", true },
        { dir / "link", false },
        { dir / "folder", false },
        { dir / "missing", false },
    };

    for (const auto& c : cases)
    {
        const auto result = safefile::removeRegularFile (c.path);
        EXPECT_TRUE (result.ok) << c.path;
        EXPECT_EQ (result.removed, c.removed) << c.path;
        EXPECT_EQ (result.error, "");
    }

    EXPECT_FALSE (fs::exists (fs::symlink_status (dir / "plain")));
    EXPECT_TRUE (fs::is_symlink (dir / "link"));
    EXPECT_EQ (readFile (dir / "victim"), "precious");
    EXPECT_TRUE (fs::is_directory (dir / "folder"));

    const auto result = safefile::removeRegularFile (dir / "victim/below");
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "cannot inspect " + (dir / "victim/below").string() + ": Not a directory");
}

TEST (SafeFileReplacement, RemoveRegularFileReportsARefusedRemoval)
{
    TempDir dir;
    writeFile (dir / "locked/file", "x");
    ReadOnlyFolder readOnly (dir / "locked");

    if (! readOnly.active())
        GTEST_SKIP() << readOnly.reason();

    const auto result = safefile::removeRegularFile (dir / "locked/file");
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error.rfind ("cannot remove " + (dir / "locked/file").string() + ": ", 0), 0u) << result.error;
    EXPECT_FALSE (result.removed);
    EXPECT_EQ (readFile (dir / "locked/file"), "x");
}

// --- desktopEntryIsOurs, hasAppImageHeader -------------------------------------------------

TEST (SafeFileReplacement, DesktopEntryIsOursLooksForTheMarkerAnywhere)
{
    TempDir dir;
    const std::string marker = "X-ZorvaManager-Integration=true";

    // The marker across the boundary of two 64 KiB reads is still found.
    const std::string straddling = std::string (65536 - 10, 'x') + marker;

    struct Case
    {
        std::string name;
        std::string content;
        bool ours;
    };

    const Case cases[] = {
        { "entry", "[Desktop Entry]\nName=x\n" + marker + "\n", true },
        { "comment", "[Desktop Entry]\n# " + marker + "\nName=x\n", true },
        { "other-group", "[Other]\n" + marker, true },
        { "straddling", straddling, true },
        { "far", std::string (300000, 'y') + marker, true },
        { "foreign", "[Desktop Entry]\nName=x\nX-ZorvaManager-Integration=false\n", false },
        { "empty", "", false },
    };

    for (const auto& c : cases)
    {
        writeFile (dir / c.name, c.content);
        EXPECT_EQ (safefile::desktopEntryIsOurs (dir / c.name), c.ours) << c.name;
    }

    EXPECT_FALSE (safefile::desktopEntryIsOurs (dir / "missing"));

    // Reading never goes through a final link, even to an entry of ours.
    makeLink (dir / "entry", dir / "link");
    EXPECT_FALSE (safefile::desktopEntryIsOurs (dir / "link"));
}

TEST (SafeFileReplacement, AppImageHeaderNeedsElfMagicAndType2)
{
    TempDir dir;
    auto withByte = [] (std::size_t offset, char value) {
        auto bytes = appImageBytes();
        bytes[offset] = value;
        return bytes;
    };

    struct Case
    {
        std::string name;
        std::string content;
        bool valid;
    };

    const Case cases[] = {
        { "type2", appImageBytes(), true },
        { "exactly-11-bytes", appImageBytes (2, 11), true },
        { "other-bytes-4-to-7", withByte (5, '\x7e'), true },
        { "type1", appImageBytes (1), false },
        { "10-bytes", appImageBytes().substr (0, 10), false },
        { "no-elf", withByte (1, 'e'), false },
        { "no-ai", withByte (9, 'i'), false },
        { "empty", "", false },
    };

    for (const auto& c : cases)
    {
        writeFile (dir / c.name, c.content);
        EXPECT_EQ (safefile::hasAppImageHeader (dir / c.name), c.valid) << c.name;
    }

    EXPECT_FALSE (safefile::hasAppImageHeader (dir / "missing"));
    makeLink (dir / "type2", dir / "link");
    EXPECT_FALSE (safefile::hasAppImageHeader (dir / "link"));
}

} // namespace
