#include "package/IsolatedExtractor.h"

#include "package/ArchiveFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

// Extraction in the zorvamanager-unpack helper: the extractor's results come back word for word,
// and the archives on which libarchive never returns or keeps growing a buffer end with a
// message naming the limit, without harm to this process.

namespace fs = std::filesystem;

using zorvaplugins::zorvamanager::package::ArchiveExtractor;
using zorvaplugins::zorvamanager::package::ExtractResult;
using zorvaplugins::zorvamanager::package::IsolatedExtractor;
using zorvaplugins::zorvamanager::package::UnpackLimits;

namespace
{

const fs::path helper = ZORVAMANAGER_UNPACK_HELPER;
const fs::path publicData = ZORVAMANAGER_SOURCE_DIR "/../shared/public-test-data";

const std::string memoryLimit = "package unpacking exceeded its memory limit";
const std::string timeLimit = "package unpacking exceeded its time limit";

// libarchive's read side alone hangs on these (libarchive 3.6.2).
const std::set<std::string> libarchiveHangs = {
    "test_read_filter_gzip_recursive.gz",
    "test_read_format_iso_rockridge_ce_loop.iso.Z",
    "test_read_format_xar_doublelink.xar",
};

ExtractResult inProcess (const fs::path& archive, const fs::path& destination)
{
    return ArchiveExtractor::extractToDirectory (archive, destination);
}

// Every path below the folder with the size of each file.
std::vector<std::string> treeOf (const fs::path& folder)
{
    std::vector<std::string> found;
    std::error_code ec;

    for (auto it = fs::recursive_directory_iterator (folder, ec); ! ec && it != fs::recursive_directory_iterator(); it.increment (ec))
        found.push_back (it->path().lexically_relative (folder).string() +
                         (it->is_regular_file() ? " " + std::to_string (it->file_size()) : std::string (" dir")));

    std::sort (found.begin(), found.end());
    return found;
}

// The helpers this process has started and not yet reaped.
std::vector<pid_t> children()
{
    std::vector<pid_t> found;
    std::ifstream in ("/proc/self/task/" + std::to_string (::gettid()) + "/children");

    for (pid_t pid; in >> pid;)
        found.push_back (pid);

    return found;
}

std::vector<pid_t> childrenOfAnyThread()
{
    std::vector<pid_t> found;

    for (const auto& task : fs::directory_iterator ("/proc/self/task"))
    {
        std::ifstream in (task.path() / "children");

        for (pid_t pid; in >> pid;)
            found.push_back (pid);
    }

    return found;
}

} // namespace

TEST (IsolatedExtractor, GivesTheExtractorsResultsWordForWordOnLibarchivesTestArchives)
{
    const auto corpus = publicData / "libarchive-test";

    if (! fs::is_directory (corpus))
        GTEST_SKIP() << "no libarchive test archives at " << corpus;

    const auto files = zorvatest::corpusArchives (corpus);
    ASSERT_GT (files.size(), 400u);
    int compared = 0, refusedForMemory = 0;

    for (const auto& file : files)
    {
        if (libarchiveHangs.count (file.filename().string()) != 0)
            continue;

        SCOPED_TRACE (file.filename().string());
        zorvatest::TempDir temp;
        const auto expected = inProcess (file, temp / "in-process");
        const auto result = IsolatedExtractor::extractToDirectory (helper, file, temp / "isolated", nullptr);

        // Damaged headers that ask for more than the helper's address space end at the limit;
        // in-process they failed too, only with libarchive's own words.
        if (result.error == memoryLimit)
        {
            EXPECT_FALSE (expected.ok) << "extracted in-process, refused for memory in the helper";
            ++refusedForMemory;
            continue;
        }

        EXPECT_EQ (result.ok, expected.ok);
        EXPECT_EQ (result.error, expected.error);
        EXPECT_EQ (treeOf (temp / "isolated"), treeOf (temp / "in-process"));
        ++compared;
    }

    EXPECT_EQ (children(), std::vector<pid_t>());
    EXPECT_LE (refusedForMemory, 8);
    std::cout << "[          ] " << compared << " archives compared, " << refusedForMemory << " ended at the memory limit\n";
}

TEST (IsolatedExtractor, ArchivesOnWhichLibarchiveNeverReturnsEndAtALimit)
{
    const auto corpus = publicData / "libarchive-test";

    if (! fs::is_directory (corpus))
        GTEST_SKIP() << "no libarchive test archives at " << corpus;

    UnpackLimits limits;
    limits.wallClock = std::chrono::seconds (1);

    for (const auto& name : libarchiveHangs)
    {
        SCOPED_TRACE (name);
        zorvatest::TempDir temp;
        const auto result = IsolatedExtractor::extractToDirectory (helper, corpus / name, temp / "extract", nullptr, limits);
        EXPECT_FALSE (result.ok);
        EXPECT_TRUE (result.error == timeLimit || result.error == memoryLimit) << result.error;
    }

    EXPECT_EQ (children(), std::vector<pid_t>());
}

TEST (IsolatedExtractor, HostilePackagesEndWithTheLimitTheyReach)
{
    const auto hostile = publicData / "hostile-packages";
    ASSERT_TRUE (fs::is_directory (hostile)) << hostile;

    zorvatest::TempDir temp;
    UnpackLimits quick;
    quick.wallClock = std::chrono::seconds (2);

    // Time enough for the buffer to reach the memory limit however busy the machine is.
    UnpackLimits patient;
    patient.wallClock = std::chrono::minutes (10);

    const auto growth =
        IsolatedExtractor::extractToDirectory (helper, hostile / "gzip-members-memory-growth.bin", temp / "a", nullptr, patient);
    EXPECT_FALSE (growth.ok);
    EXPECT_EQ (growth.error, memoryLimit);

    const auto endless = IsolatedExtractor::extractToDirectory (helper, hostile / "xar-endless-loop.xar", temp / "b", nullptr, quick);
    EXPECT_FALSE (endless.ok);
    EXPECT_EQ (endless.error, timeLimit);

    EXPECT_EQ (children(), std::vector<pid_t>());
}

TEST (IsolatedExtractor, CancellingKillsTheHelper)
{
    const auto endlessArchive = publicData / "hostile-packages/xar-endless-loop.xar";
    zorvatest::TempDir temp;
    std::atomic<bool> cancel { false };
    std::promise<ExtractResult> done;
    auto outcome = done.get_future();

    std::thread worker (
        [&] { done.set_value (IsolatedExtractor::extractToDirectory (helper, endlessArchive, temp / "extract", &cancel)); });

    // Once the helper runs, the flag is set; the default limit is far away.
    while (childrenOfAnyThread().empty() && outcome.wait_for (std::chrono::milliseconds (5)) != std::future_status::ready)
    {}

    cancel = true;
    // A generous liveness bound: the flag is looked at every 50 ms.
    ASSERT_EQ (outcome.wait_for (std::chrono::seconds (20)), std::future_status::ready);
    worker.join();

    const auto result = outcome.get();
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "package unpacking was cancelled");
    EXPECT_EQ (childrenOfAnyThread(), std::vector<pid_t>());
}

TEST (IsolatedExtractor, AHelperKilledFromOutsideIsACleanFailure)
{
    const auto endlessArchive = publicData / "hostile-packages/xar-endless-loop.xar";
    zorvatest::TempDir temp;
    std::promise<ExtractResult> done;
    auto outcome = done.get_future();

    std::thread worker (
        [&] { done.set_value (IsolatedExtractor::extractToDirectory (helper, endlessArchive, temp / "extract", nullptr)); });

    std::vector<pid_t> running;

    while ((running = childrenOfAnyThread()).empty())
        std::this_thread::sleep_for (std::chrono::milliseconds (5));

    ::kill (running.front(), SIGKILL);
    ASSERT_EQ (outcome.wait_for (std::chrono::seconds (20)), std::future_status::ready);
    worker.join();

    const auto result = outcome.get();
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "package unpacking helper ended unexpectedly");
    EXPECT_EQ (childrenOfAnyThread(), std::vector<pid_t>());
}

TEST (IsolatedExtractor, AMissingHelperFailsAndNothingIsExtractedInProcess)
{
    zorvatest::TempDir temp;
    const auto archive = publicData / "hostile-packages/xar-endless-loop.xar";

    for (const auto& missing : { temp / "zorvamanager-unpack", fs::path() })
    {
        const auto result = IsolatedExtractor::extractToDirectory (missing, archive, temp / "extract", nullptr);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "package unpacking helper not found: " + missing.string());
    }

    EXPECT_FALSE (fs::exists (temp / "extract"));
}

TEST (IsolatedExtractor, TheTimeLimitGrowsWithThePackage)
{
    EXPECT_EQ (IsolatedExtractor::limitsFor (0).wallClock, std::chrono::seconds (30));
    EXPECT_EQ (IsolatedExtractor::limitsFor (1).wallClock, std::chrono::seconds (31));
    EXPECT_EQ (IsolatedExtractor::limitsFor (200u << 20).wallClock, std::chrono::seconds (40));
    EXPECT_EQ (IsolatedExtractor::limitsFor (0).addressSpaceMiB, 1024u);
}
