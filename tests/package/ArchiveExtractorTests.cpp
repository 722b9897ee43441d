#include "package/ArchiveExtractor.h"

#include "package/ArchiveFixtures.h"
#include "support/TestSupport.h"

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

using zorvaplugins::zorvamanager::package::ArchiveExtractor;
using zorvaplugins::zorvamanager::package::ExtractResult;
using zorvatest::ArchiveEntry;
using zorvatest::Container;
using zorvatest::EntryKind;

namespace
{

const Container allContainers[] = { Container::Tar, Container::TarGz, Container::TarXz, Container::Zip };

// An archive beside the destination and an empty sentinel folder; anything written outside
// the destination shows up in the tree of the whole folder.
struct Work
{
    zorvatest::TempDir temp;
    fs::path archive;
    fs::path destination = temp / "work/extract";

    explicit Work (const std::string& archiveName = "package.tar")
        : archive (temp / archiveName)
    {
        fs::create_directories (temp / "work/sentinel");
    }

    ExtractResult extract() const { return ArchiveExtractor::extractToDirectory (archive, destination); }

    // Everything under the temporary folder that is not inside the destination.
    std::set<std::string> outside() const
    {
        std::set<std::string> found;

        for (auto it = fs::recursive_directory_iterator (temp.path()); it != fs::recursive_directory_iterator(); ++it)
        {
            const auto relative = it->path().lexically_relative (temp.path()).generic_string();

            if (relative.rfind ("work/extract/", 0) != 0)
                found.insert (relative);
        }

        return found;
    }

    std::set<std::string> expectedOutside() const { return { archive.filename().string(), "work", "work/sentinel", "work/extract" }; }
};

// Relative generic paths under root; folders end in '/', anything but folders and regular
// files in '@'.
std::set<std::string> treeOf (const fs::path& root)
{
    std::set<std::string> tree;

    for (auto it = fs::recursive_directory_iterator (root); it != fs::recursive_directory_iterator(); ++it)
    {
        auto relative = it->path().lexically_relative (root).generic_string();

        if (it->is_symlink())
            relative += "@";
        else if (it->is_directory())
            relative += "/";
        else if (! it->is_regular_file())
            relative += "@";

        tree.insert (relative);
    }

    return tree;
}

struct ReaderDeleter
{
    void operator() (archive* reader) const { archive_read_free (reader); }
};

// What libarchive itself reports for the named entry: its type and whether it names a hard link.
std::pair<mode_t, bool> libarchiveView (const fs::path& file, const std::string& name)
{
    std::unique_ptr<archive, ReaderDeleter> reader (archive_read_new());
    archive_read_support_filter_all (reader.get());
    archive_read_support_format_all (reader.get());

    if (archive_read_open_filename (reader.get(), file.c_str(), 65536) != ARCHIVE_OK)
        return { 0, false };

    archive_entry* entry = nullptr;

    while (archive_read_next_header (reader.get(), &entry) == ARCHIVE_OK)
        if (name == archive_entry_pathname (entry))
            return { archive_entry_filetype (entry), archive_entry_hardlink (entry) != nullptr };

    return { 0, false };
}

// The first failure text libarchive reports while reading every header and all data.
std::string libarchiveFailure (const fs::path& file)
{
    std::unique_ptr<archive, ReaderDeleter> reader (archive_read_new());
    archive_read_support_filter_all (reader.get());
    archive_read_support_format_all (reader.get());

    if (archive_read_open_filename (reader.get(), file.c_str(), 65536) != ARCHIVE_OK)
        return archive_error_string (reader.get()) ? archive_error_string (reader.get()) : "cannot open archive";

    for (;;)
    {
        archive_entry* entry = nullptr;
        const auto status = archive_read_next_header (reader.get(), &entry);

        if (status == ARCHIVE_EOF)
            return {};

        if (status != ARCHIVE_OK)
            return archive_error_string (reader.get()) ? archive_error_string (reader.get()) : "cannot read archive";

        char buffer[65536];

        for (la_ssize_t count; (count = archive_read_data (reader.get(), buffer, sizeof (buffer))) != 0;)
            if (count < 0)
                return "data: " + std::string (archive_error_string (reader.get()) ? archive_error_string (reader.get()) : "");
    }
}

bool threadUsesGlobalLocale()
{
    return ::uselocale (static_cast<locale_t> (nullptr)) == LC_GLOBAL_LOCALE;
}

} // namespace

TEST (ArchiveExtractor, ExtractsFilesAndCreatesMissingParentsInEveryContainer)
{
    const auto large = zorvatest::patternBytes (200 * 1024 + 17, 7);
    // Runs of zeros are left as holes; they must read back as zeros, up to the full length.
    const auto zeros = std::string (70000, '\0') + "middle" + std::string (200000, '\0');

    for (auto container : allContainers)
    {
        SCOPED_TRACE (zorvatest::containerName (container));
        Work work ("package." + zorvatest::containerName (container));
        zorvatest::writeArchive (work.archive,
                                 container,
                                 { { "Plugin.vst3/Contents/x86_64-linux/Plugin.so", EntryKind::File, large },
                                   { "Plugin.vst3/Contents/Resources/moduleinfo.json", EntryKind::File, "{\"Version\": \"1.0\"}" },
                                   { "Plugin.clap", EntryKind::File, "clap" },
                                   { "zeros.bin", EntryKind::File, zeros },
                                   { "allzero.bin", EntryKind::File, std::string (100000, '\0') },
                                   { "docs/", EntryKind::Directory },
                                   { "docs/empty.txt", EntryKind::File, "" },
                                   { "./dot/a", EntryKind::File, "dot" },
                                   { "a/..b/c", EntryKind::File, "c" } });

        const auto result = work.extract();

        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.error, "");
        EXPECT_EQ (zorvatest::readFile (work.destination / "Plugin.vst3/Contents/x86_64-linux/Plugin.so"), large);
        EXPECT_EQ (zorvatest::readFile (work.destination / "Plugin.clap"), "clap");
        EXPECT_EQ (zorvatest::readFile (work.destination / "zeros.bin"), zeros);
        EXPECT_EQ (zorvatest::readFile (work.destination / "allzero.bin"), std::string (100000, '\0'));
        EXPECT_EQ (zorvatest::readFile (work.destination / "docs/empty.txt"), "");
        EXPECT_EQ (zorvatest::readFile (work.destination / "dot/a"), "dot");
        EXPECT_EQ (zorvatest::readFile (work.destination / "a/..b/c"), "c");
        EXPECT_EQ (treeOf (work.destination),
                   (std::set<std::string> { "Plugin.vst3/",
                                            "Plugin.vst3/Contents/",
                                            "Plugin.vst3/Contents/x86_64-linux/",
                                            "Plugin.vst3/Contents/x86_64-linux/Plugin.so",
                                            "Plugin.vst3/Contents/Resources/",
                                            "Plugin.vst3/Contents/Resources/moduleinfo.json",
                                            "Plugin.clap",
                                            "zeros.bin",
                                            "allzero.bin",
                                            "docs/",
                                            "docs/empty.txt",
                                            "dot/",
                                            "dot/a",
                                            "a/",
                                            "a/..b/",
                                            "a/..b/c" }));
        EXPECT_EQ (work.outside(), work.expectedOutside());
    }
}

// A sparse entry, in GNU tar's PAX 1.0 form (the map, then the data of each region), extracts at
// its declared length with its holes reading as zeros; a trailing hole too, which libarchive
// does not deliver as data.
TEST (ArchiveExtractor, SparseEntriesExtractAtTheirDeclaredLength)
{
    struct Region
    {
        std::size_t offset;
        std::string data;
    };

    struct Case
    {
        const char* what;
        std::size_t size;
        std::vector<Region> regions;
    };

    const Case cases[] = {
        { "all hole", 100000, { { 100000, "" } } },
        { "data, then a trailing hole", 100000, { { 0, "head" }, { 100000, "" } } },
        { "a leading hole, then data", 70000, { { 69996, "tail" } } },
        { "holes between data", 200000, { { 0, "a" }, { 100000, "b" }, { 200000, "" } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        std::string map = std::to_string (c.regions.size()) + "\n", data, expected (c.size, '\0');

        for (const auto& region : c.regions)
        {
            map += std::to_string (region.offset) + "\n" + std::to_string (region.data.size()) + "\n";
            data += region.data;
            expected.replace (region.offset, region.data.size(), region.data);
        }

        const auto member = zorvatest::rawTarData (map) + data;
        Work work;
        zorvatest::writeFile (work.archive,
                              zorvatest::rawPaxHeader ({ { "GNU.sparse.major", "1" },
                                                         { "GNU.sparse.minor", "0" },
                                                         { "GNU.sparse.name", "Plugin.clap" },
                                                         { "GNU.sparse.realsize", std::to_string (c.size) } }) +
                                  zorvatest::rawTarHeader ("GNUSparseFile.0/Plugin.clap", '0', member.size()) +
                                  zorvatest::rawTarData (member) + zorvatest::rawTarEnd());

        const auto result = work.extract();
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (zorvatest::readFile (work.destination / "Plugin.clap"), expected);
    }
}

TEST (ArchiveExtractor, AppliesNoArchiveMetadata)
{
    Work work;
    zorvatest::writeFile (work.archive,
                          zorvatest::rawTarHeader ("setuid", '0', 1, {}, 04777) + zorvatest::rawTarData ("y") + zorvatest::rawTarEnd());
    const auto oldMask = ::umask (022);
    const auto result = work.extract();
    ::umask (oldMask);

    ASSERT_TRUE (result.ok) << result.error;
    const auto perms = fs::status (work.destination / "setuid").permissions();
    EXPECT_EQ (perms, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    // The archive says 2023; the file keeps the time it was written.
    EXPECT_GT (fs::last_write_time (work.destination / "setuid"), fs::file_time_type::clock::now() - std::chrono::hours (1));
}

TEST (ArchiveExtractor, RefusesUnsafeNamesBeforeWritingAnything)
{
    const std::pair<std::string, std::string> cases[] = {
        { "../x", "unsafe archive entry: parent traversal" },     { "a/../../b", "unsafe archive entry: parent traversal" },
        { "a\\..\\b", "unsafe archive entry: parent traversal" }, { "a/..", "unsafe archive entry: parent traversal" },
        { "/x", "unsafe archive entry: absolute path" },          { "\\x", "unsafe archive entry: absolute path" },
        { "//server/x", "unsafe archive entry: absolute path" },  { "C:x", "unsafe archive entry: windows drive prefix" },
        { "a\tb", "unsafe archive entry: control character" },    { "a\nb", "unsafe archive entry: control character" },
        { "a\x01", "unsafe archive entry: control character" },   { "/a\tb", "unsafe archive entry: control character" },
    };

    for (auto container : { Container::Tar, Container::TarGz, Container::Zip })
    {
        for (const auto& [name, expected] : cases)
        {
            SCOPED_TRACE (zorvatest::containerName (container) + " " + testing::PrintToString (name));
            Work work ("package." + zorvatest::containerName (container));
            zorvatest::writeArchive (work.archive,
                                     container,
                                     { { "first.txt", EntryKind::File, "first" },
                                       { name, EntryKind::File, "payload" },
                                       { "after.txt", EntryKind::File, "after" } });

            const auto result = work.extract();

            EXPECT_FALSE (result.ok);
            EXPECT_EQ (result.error, expected);
            // What came before stays; nothing after the bad entry is written.
            EXPECT_EQ (treeOf (work.destination), (std::set<std::string> { "first.txt" }));
            EXPECT_EQ (work.outside(), work.expectedOutside());
        }
    }
}

TEST (ArchiveExtractor, KeepsBackslashesAndHighBytesAsPartOfNames)
{
    Work work;
    zorvatest::writeArchive (
        work.archive, Container::Tar, { { "a\\b.txt", EntryKind::File, "backslash" }, { "del\x7f", EntryKind::File, "del" } });

    const auto result = work.extract();

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (treeOf (work.destination), (std::set<std::string> { "a\\b.txt", "del\x7f" }));
}

TEST (ArchiveExtractor, ReadsUtf8NamesInTheCLocaleAndRestoresTheThreadLocale)
{
    ASSERT_STREQ (std::setlocale (LC_CTYPE, nullptr), "C");
    const std::string synth = "S\xc3\xbfnth \xe6\x97\xa5\xe6\x9c\xac.vst3/Contents/R\xc3\xa9sum\xc3\xa9.txt";

    for (auto container : allContainers)
    {
        SCOPED_TRACE (zorvatest::containerName (container));
        Work work ("package." + zorvatest::containerName (container));
        zorvatest::writeArchive (work.archive, container, { { synth, EntryKind::File, "utf8" } });

        ASSERT_TRUE (threadUsesGlobalLocale());
        const auto result = work.extract();

        EXPECT_TRUE (result.ok) << result.error;
        EXPECT_TRUE (fs::is_regular_file (work.destination / synth));
        EXPECT_TRUE (threadUsesGlobalLocale());
        EXPECT_STREQ (std::setlocale (LC_CTYPE, nullptr), "C");
    }
}

TEST (ArchiveExtractor, ReadsUtf8NamesOnAnyThread)
{
    Work work ("package.zip");
    const std::string name = "\xc3\x9c"
                             "ber.clap";
    zorvatest::writeArchive (work.archive, Container::Zip, { { name, EntryKind::File, "u" } });

    ExtractResult result;
    std::thread worker ([&] { result = work.extract(); });
    worker.join();

    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_TRUE (fs::exists (work.destination / name));
}

TEST (ArchiveExtractor, StopsOnAHeaderWarningWithItsText)
{
    // A pax name that is not UTF-8 cannot be converted, which libarchive reports as a warning.
    Work work;
    zorvatest::writeFile (work.archive,
                          zorvatest::rawTarHeader ("ok.txt", '0', 2) + zorvatest::rawTarData ("ok") +
                              zorvatest::rawPaxHeader ({ { "path", "bad\xff\xfe.txt" } }) + zorvatest::rawTarHeader ("bad.txt", '0', 1) +
                              zorvatest::rawTarData ("b") + zorvatest::rawTarEnd());

    const auto result = work.extract();

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, libarchiveFailure (work.archive));
    EXPECT_NE (result.error.find ("Pathname"), std::string::npos) << result.error;
    EXPECT_EQ (treeOf (work.destination), (std::set<std::string> { "ok.txt" }));
}

TEST (ArchiveExtractor, RefusesLinksDevicesAndFifos)
{
    struct LinkCase
    {
        const char* label;
        Container container;
        std::vector<ArchiveEntry> entries;
    };

    const LinkCase cases[] = {
        { "symlink inside", Container::Tar, { { "file", EntryKind::File, "x" }, { "link", EntryKind::Symlink, "", "file" } } },
        { "symlink outside", Container::Tar, { { "file", EntryKind::File, "x" }, { "link", EntryKind::Symlink, "", "../../sentinel" } } },
        { "absolute symlink", Container::TarGz, { { "file", EntryKind::File, "x" }, { "link", EntryKind::Symlink, "", "/etc" } } },
        { "zip symlink", Container::Zip, { { "file", EntryKind::File, "x" }, { "link", EntryKind::Symlink, "", "file" } } },
        { "tar hard link", Container::Tar, { { "file", EntryKind::File, "x" }, { "link", EntryKind::HardLink, "", "file" } } },
        { "fifo", Container::Tar, { { "file", EntryKind::File, "x" }, { "fifo", EntryKind::Fifo } } },
        { "char device", Container::Tar, { { "file", EntryKind::File, "x" }, { "null", EntryKind::CharDevice } } },
        { "block device", Container::TarXz, { { "file", EntryKind::File, "x" }, { "disk", EntryKind::BlockDevice } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        Work work ("package." + zorvatest::containerName (c.container));
        zorvatest::writeArchive (work.archive, c.container, c.entries);

        const auto result = work.extract();

        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "archive contains unsupported entry type");
        EXPECT_EQ (treeOf (work.destination), (std::set<std::string> { "file" }));
        EXPECT_EQ (work.outside(), work.expectedOutside());
    }
}

TEST (ArchiveExtractor, RefusesHardLinksThatLookLikeRegularFiles)
{
    // pax lets a hard link carry data: libarchive reports it as a regular file with a link name.
    Work pax;
    zorvatest::writeFile (pax.archive,
                          zorvatest::rawTarHeader ("file", '0', 4) + zorvatest::rawTarData ("data") +
                              zorvatest::rawPaxHeader ({ { "comment", "pax" } }) + zorvatest::rawTarHeader ("link", '1', 5, "file") +
                              zorvatest::rawTarData ("other") + zorvatest::rawTarEnd());

    // newc cpio: the second name of a hard-linked pair carries the data and the link name.
    Work cpio ("package.cpio");
    zorvatest::writeArchive (
        cpio.archive, Container::Cpio, { { "first", EntryKind::File, "", "", 42 }, { "second", EntryKind::File, "data", "", 42 } });

    for (const auto* work : { &pax, &cpio })
    {
        const auto linkName = work == &pax ? "link" : "second";
        SCOPED_TRACE (linkName);
        ASSERT_EQ (libarchiveView (work->archive, linkName), std::make_pair (mode_t (AE_IFREG), true));

        const auto result = work->extract();

        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "archive contains unsupported entry type");
        EXPECT_FALSE (fs::exists (work->destination / linkName));
        EXPECT_EQ (work->outside(), work->expectedOutside());
    }
}

TEST (ArchiveExtractor, LaterDuplicateEntryWins)
{
    for (auto container : allContainers)
    {
        SCOPED_TRACE (zorvatest::containerName (container));
        Work work ("package." + zorvatest::containerName (container));
        zorvatest::writeArchive (work.archive,
                                 container,
                                 { { "dup.txt", EntryKind::File, "the first, longer text" },
                                   { "dir/", EntryKind::Directory },
                                   { "dir/", EntryKind::Directory },
                                   { "dup.txt", EntryKind::File, "second" } });

        const auto result = work.extract();

        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (zorvatest::readFile (work.destination / "dup.txt"), "second");
    }
}

TEST (ArchiveExtractor, FileWhereAFolderIsNeededFailsWithTheFilesystemError)
{
    Work work;
    zorvatest::writeArchive (work.archive, Container::Tar, { { "a", EntryKind::File, "file" }, { "a/b", EntryKind::File, "nested" } });
    const auto descriptors = zorvatest::openDescriptorCount();

    const auto result = work.extract();
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error.rfind ("filesystem error: ", 0), 0u) << result.error;
    EXPECT_NE (result.error.find ((work.destination / "a").string()), std::string::npos) << result.error;
    EXPECT_EQ (result.error.find ('\n'), std::string::npos);
    EXPECT_EQ (zorvatest::openDescriptorCount(), descriptors);
    EXPECT_TRUE (threadUsesGlobalLocale());
    EXPECT_EQ (zorvatest::readFile (work.destination / "a"), "file");
}

TEST (ArchiveExtractor, ReportsFolderAndFileCollisions)
{
    Work fileThenFolder;
    zorvatest::writeArchive (fileThenFolder.archive, Container::Tar, { { "a", EntryKind::File, "file" }, { "a/", EntryKind::Directory } });
    const auto first = fileThenFolder.extract();
    EXPECT_FALSE (first.ok);
    EXPECT_EQ (first.error, "cannot create extracted directory: " + (fileThenFolder.destination / "a/").lexically_normal().string());

    Work folderThenFile;
    zorvatest::writeArchive (folderThenFile.archive, Container::Tar, { { "a/", EntryKind::Directory }, { "a", EntryKind::File, "file" } });
    const auto second = folderThenFile.extract();
    EXPECT_FALSE (second.ok);
    EXPECT_EQ (second.error, "cannot create extracted file: " + (folderThenFile.destination / "a").string());
}

TEST (ArchiveExtractor, EmptyArchiveSucceedsWithAnEmptyDestination)
{
    for (auto container : { Container::Tar, Container::TarGz, Container::Zip })
    {
        SCOPED_TRACE (zorvatest::containerName (container));
        Work work ("package." + zorvatest::containerName (container));
        zorvatest::writeArchive (work.archive, container, {});

        const auto result = work.extract();

        EXPECT_TRUE (result.ok) << result.error;
        EXPECT_TRUE (fs::is_directory (work.destination));
        EXPECT_TRUE (fs::is_empty (work.destination));
    }

    Work endMarkerOnly;
    zorvatest::writeFile (endMarkerOnly.archive, zorvatest::rawTarEnd());
    EXPECT_TRUE (endMarkerOnly.extract().ok);
}

TEST (ArchiveExtractor, ReportsCorruptAndTruncatedArchives)
{
    const auto big = zorvatest::patternBytes (300 * 1024, 3);

    Work garbage ("package.bin");
    zorvatest::writeFile (garbage.archive, zorvatest::patternBytes (4096, 9));
    const auto unrecognised = garbage.extract();
    EXPECT_FALSE (unrecognised.ok);
    EXPECT_EQ (unrecognised.error, libarchiveFailure (garbage.archive));
    EXPECT_NE (unrecognised.error, "");

    // Cut inside the data of the large entry: the entry's data read fails.
    for (auto container : allContainers)
    {
        SCOPED_TRACE (zorvatest::containerName (container));
        Work work ("package." + zorvatest::containerName (container));
        zorvatest::writeArchive (work.archive, container, { { "small", EntryKind::File, "s" }, { "big", EntryKind::File, big } });
        const auto whole = zorvatest::readFile (work.archive);
        zorvatest::writeFile (work.archive, whole.substr (0, whole.size() / 2));

        const auto result = work.extract();

        EXPECT_FALSE (result.ok);
        const auto expected = libarchiveFailure (work.archive);
        ASSERT_NE (expected, "");

        if (expected.rfind ("data: ", 0) == 0)
            EXPECT_EQ (result.error, "cannot read archive entry data");
        else
            EXPECT_EQ (result.error, expected);

        EXPECT_EQ (work.outside(), work.expectedOutside());
    }

    // Cut inside the second header of a plain tar: libarchive's own text.
    Work header;
    zorvatest::writeArchive (header.archive, Container::Tar, { { "one", EntryKind::File, "1" }, { "two", EntryKind::File, "2" } });
    zorvatest::writeFile (header.archive, zorvatest::readFile (header.archive).substr (0, 1024 + 100));
    const auto truncated = header.extract();
    EXPECT_FALSE (truncated.ok);
    EXPECT_EQ (truncated.error, libarchiveFailure (header.archive));
    EXPECT_EQ (truncated.error.find ('\n'), std::string::npos);
    EXPECT_EQ (zorvatest::readFile (header.destination / "one"), "1");
}

TEST (ArchiveExtractor, ReportsMissingArchiveAndUncreatableDestination)
{
    Work missing;
    const auto noArchive = missing.extract();
    EXPECT_FALSE (noArchive.ok);
    EXPECT_EQ (noArchive.error, libarchiveFailure (missing.archive));
    EXPECT_NE (noArchive.error, "");
    EXPECT_TRUE (fs::is_directory (missing.destination));

    Work blocked;
    zorvatest::writeArchive (blocked.archive, Container::Tar, { { "a", EntryKind::File, "a" } });
    zorvatest::writeFile (blocked.temp / "file", "x");
    const auto destination = blocked.temp / "file/extract";
    const auto result = ArchiveExtractor::extractToDirectory (blocked.archive, destination);
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "cannot create extraction directory: " + destination.string());
}

TEST (ArchiveExtractor, ReleasesEveryDescriptorOnEveryPath)
{
    Work good, bad, linked;
    zorvatest::writeArchive (good.archive, Container::TarGz, { { "a/b", EntryKind::File, "b" } });
    zorvatest::writeArchive (bad.archive, Container::Zip, { { "ok", EntryKind::File, "ok" }, { "../x", EntryKind::File, "x" } });
    zorvatest::writeArchive (linked.archive, Container::Tar, { { "l", EntryKind::Symlink, "", "x" } });
    const auto before = zorvatest::openDescriptorCount();

    EXPECT_TRUE (good.extract().ok);
    EXPECT_FALSE (bad.extract().ok);
    EXPECT_FALSE (linked.extract().ok);
    EXPECT_FALSE (ArchiveExtractor::extractToDirectory (good.temp / "missing.tar", good.temp / "out").ok);

    EXPECT_EQ (zorvatest::openDescriptorCount(), before);
}
