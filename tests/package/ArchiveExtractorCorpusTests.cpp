#include "package/ArchiveExtractor.h"

#include "package/ArchiveFixtures.h"
#include "support/TestSupport.h"

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <locale.h>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Runs libarchive's own test archives through the extractor: whatever they hold, the extractor
// must not crash, leak a descriptor or write outside the destination, and its outcome must be
// the one its rules give for what libarchive's read side reports.

namespace fs = std::filesystem;

using zorvaplugins::zorvamanager::package::ArchiveExtractor;
using zorvaplugins::zorvamanager::package::ArchiveSafety;

namespace
{

// libarchive's read side alone hangs on these (libarchive 3.6.2).
const std::set<std::string> libarchiveHangs = {
    "test_read_filter_gzip_recursive.gz",
    "test_read_format_iso_rockridge_ce_loop.iso.Z",
    "test_read_format_xar_doublelink.xar",
};

struct ReaderDeleter
{
    void operator() (archive* reader) const { archive_read_free (reader); }
};

using Reader = std::unique_ptr<archive, ReaderDeleter>;

class Utf8Thread
{
public:
    Utf8Thread()
        : utf8 (::newlocale (LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t> (nullptr)))
        , previous (::uselocale (utf8))
    {}

    ~Utf8Thread()
    {
        ::uselocale (previous);
        ::freelocale (utf8);
    }

private:
    locale_t utf8;
    locale_t previous;
};

Reader openReader (const fs::path& file, std::string& error)
{
    Reader reader (archive_read_new());
    archive_read_support_filter_all (reader.get());
    archive_read_support_format_all (reader.get());

    if (archive_read_open_filename (reader.get(), file.c_str(), 65536) != ARCHIVE_OK)
    {
        error = archive_error_string (reader.get()) ? archive_error_string (reader.get()) : "cannot open archive";
        return nullptr;
    }

    return reader;
}

std::string errorOr (archive* reader, const char* fallback)
{
    return archive_error_string (reader) ? archive_error_string (reader) : fallback;
}

// The outcome the extraction rules give for what libarchive reports, assuming every disk
// operation succeeds. Also notes which entry provides the final content of each file.
struct Model
{
    std::string error; // empty: success
    std::map<std::string, int> lastWriter;
};

Model model (const fs::path& file)
{
    const Utf8Thread utf8;
    Model result;
    auto reader = openReader (file, result.error);

    if (reader == nullptr)
        return result;

    std::vector<char> buffer (65536);

    for (int index = 0;; ++index)
    {
        archive_entry* entry = nullptr;
        const auto status = archive_read_next_header (reader.get(), &entry);

        if (status == ARCHIVE_EOF)
            return result;

        if (status != ARCHIVE_OK)
        {
            result.error = errorOr (reader.get(), "cannot read archive");
            return result;
        }

        const char* name = archive_entry_pathname (entry);

        if (name == nullptr)
        {
            result.error = "archive entry has no path";
            return result;
        }

        if (const auto check = ArchiveSafety::validateEntryPath (name); ! check.ok)
        {
            result.error = "unsafe archive entry: " + check.error;
            return result;
        }

        const auto type = archive_entry_filetype (entry);

        if (archive_entry_hardlink (entry) != nullptr || (type != AE_IFDIR && type != AE_IFREG))
        {
            result.error = "archive contains unsupported entry type";
            return result;
        }

        if (type == AE_IFDIR)
            continue;

        result.lastWriter[fs::path (name).lexically_normal().string()] = index;
        la_int64_t length = 0;

        for (la_ssize_t count; (count = archive_read_data (reader.get(), buffer.data(), buffer.size())) != 0;)
        {
            if (count < 0)
            {
                result.error = "cannot read archive entry data";
                return result;
            }

            length += count;
        }

        // The data runs to the declared size, but for a sparse entry's trailing hole.
        const auto declared = archive_entry_size (entry);

        if (archive_entry_size_is_set (entry) && length != declared && ! (length < declared && archive_entry_sparse_count (entry) > 0))
        {
            result.error = "archive entry data does not match its declared size";
            return result;
        }
    }
}

// Compares every extracted file with the data libarchive gives for its last entry.
std::vector<std::string> contentMismatches (const fs::path& file, const fs::path& destination, const Model& expected)
{
    const Utf8Thread utf8;
    std::string error;
    auto reader = openReader (file, error);
    std::vector<std::string> mismatches;
    std::vector<char> archived (65536), extracted (65536);

    for (int index = 0; reader != nullptr; ++index)
    {
        archive_entry* entry = nullptr;

        if (archive_read_next_header (reader.get(), &entry) != ARCHIVE_OK)
            break;

        if (archive_entry_filetype (entry) != AE_IFREG)
            continue;

        const auto key = fs::path (archive_entry_pathname (entry)).lexically_normal().string();
        const auto last = expected.lastWriter.find (key);

        if (last == expected.lastWriter.end() || last->second != index)
            continue;

        std::ifstream in (destination / key, std::ios::binary);
        bool same = in.is_open();
        la_int64_t length = 0;

        for (la_ssize_t count; same && (count = archive_read_data (reader.get(), archived.data(), archived.size())) > 0;)
        {
            in.read (extracted.data(), count);
            same = in.gcount() == count && std::memcmp (archived.data(), extracted.data(), static_cast<std::size_t> (count)) == 0;
            length += count;
        }

        // A sparse entry's trailing hole, which libarchive does not deliver, reads as zeros.
        for (; same && archive_entry_size_is_set (entry) && length < archive_entry_size (entry); ++length)
            same = in.get() == 0;

        if (! same || in.peek() != std::char_traits<char>::eof())
            mismatches.push_back (key);
    }

    return mismatches;
}

std::vector<std::string> outsideOrSpecial (const fs::path& temp, const fs::path& destination)
{
    std::vector<std::string> found;

    for (auto it = fs::recursive_directory_iterator (temp); it != fs::recursive_directory_iterator(); ++it)
    {
        const auto& path = it->path();
        const auto relative = path.lexically_relative (temp).generic_string();
        const bool inside = relative.rfind ("work/extract/", 0) == 0;

        if (! inside && relative != "work" && relative != "work/sentinel" && relative != "work/extract")
            found.push_back ("outside: " + relative);
        else if (inside && (it->is_symlink() || (! it->is_directory() && ! it->is_regular_file())))
            found.push_back ("not a folder or file: " + relative);
    }

    (void) destination;
    return found;
}

bool dependsOnDisk (const std::string& error)
{
    // The last: the parent folders of a file could not be made, in the file system's words.
    for (const char* prefix :
         { "cannot create extracted directory: ", "cannot create extracted file: ", "cannot write extracted file: ", "filesystem error: " })
        if (error.rfind (prefix, 0) == 0)
            return true;

    return false;
}

} // namespace

TEST (ArchiveExtractorCorpus, LibarchiveTestArchivesAreHandledSafely)
{
    const fs::path corpus = ZORVAMANAGER_SOURCE_DIR "/../shared/public-test-data/libarchive-test";

    if (! fs::is_directory (corpus))
        GTEST_SKIP() << "no libarchive test archives at " << corpus;

    const auto files = zorvatest::corpusArchives (corpus);
    ASSERT_GT (files.size(), 400u);

    int succeeded = 0, failed = 0, diskDependent = 0, skipped = 0;

    for (const auto& file : files)
    {
        const auto fileName = file.filename().string();

        if (libarchiveHangs.count (fileName) != 0)
        {
            ++skipped;
            continue;
        }

        SCOPED_TRACE (fileName);
        zorvatest::TempDir temp;
        fs::create_directories (temp / "work/sentinel");
        const auto destination = temp / "work/extract";
        const auto descriptors = zorvatest::openDescriptorCount();

        const auto result = ArchiveExtractor::extractToDirectory (file, destination);

        EXPECT_EQ (zorvatest::openDescriptorCount(), descriptors);
        EXPECT_EQ (outsideOrSpecial (temp.path(), destination), std::vector<std::string>());
        EXPECT_EQ (result.error.find ('\n'), std::string::npos) << result.error;
        EXPECT_EQ (result.ok, result.error.empty());

        if (dependsOnDisk (result.error))
        {
            ++diskDependent;
            continue;
        }

        const auto expected = model (file);
        EXPECT_EQ (result.error, expected.error);

        if (result.ok && expected.error.empty())
        {
            ++succeeded;
            EXPECT_EQ (contentMismatches (file, destination, expected), std::vector<std::string>());
        }
        else
        {
            ++failed;
        }
    }

    std::cout << "[          ] " << succeeded << " extracted, " << failed << " refused, " << diskDependent
              << " stopped on a file/folder clash, " << skipped << " skipped (libarchive hangs)\n";
}

// Entries whose data ends before, or runs past, the size their header declares pass libarchive's
// read side without an error; extracted, they would install as damaged plug-ins.
TEST (ArchiveExtractorCorpus, EntriesOfAnotherLengthThanDeclaredAreRefused)
{
    const fs::path corpus = ZORVAMANAGER_SOURCE_DIR "/../shared/public-test-data/libarchive-test";

    if (! fs::is_directory (corpus))
        GTEST_SKIP() << "no libarchive test archives at " << corpus;

    const char* const cases[] = {
        "test_read_format_rar5_multiarchive.part01.rar",          // the first volume alone: its entry is cut short
        "test_read_format_zip_uncompressed_size_off_by_4gib.zip", // declares 4 GiB more than it holds
        "test_read_format_warc.warc",                             // a record longer than its declared length
        "test_read_format_mtree_nomagic.mtree",                   // sizes without any data
    };

    for (const auto* name : cases)
    {
        SCOPED_TRACE (name);
        zorvatest::TempDir temp;
        const auto result = ArchiveExtractor::extractToDirectory (corpus / name, temp / "extract");
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "archive entry data does not match its declared size");
    }
}
