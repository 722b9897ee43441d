#include "package/ArchiveExtractor.h"

#include "core/Failure.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <fstream>
#include <locale.h>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

namespace zorvaplugins::zorvamanager::package
{

namespace
{

namespace fs = std::filesystem;

constexpr std::size_t blockSize = 65536;
constexpr std::size_t copyBufferSize = 65536;

struct ArchiveReaderDeleter
{
    void operator() (archive* reader) const { archive_read_free (reader); }
};

using ArchiveReader = std::unique_ptr<archive, ArchiveReaderDeleter>;

// libarchive converts pax and zip UTF-8 names into the thread's LC_CTYPE charset and warns
// when it cannot; in the plain C locale of a GUI program every non-ASCII name would fail.
// Entry names are bytes to us, so the calling thread reads them in a UTF-8 LC_CTYPE for the
// duration of one extraction. Other threads and the global locale are untouched.
class ScopedUtf8Ctype
{
public:
    ScopedUtf8Ctype()
    {
        auto base = ::duplocale (::uselocale (static_cast<locale_t> (nullptr)));

        if (base == static_cast<locale_t> (nullptr))
            return;

        utf8 = ::newlocale (LC_CTYPE_MASK, "C.UTF-8", base);

        if (utf8 == static_cast<locale_t> (nullptr))
        {
            ::freelocale (base);
            return;
        }

        previous = ::uselocale (utf8);
    }

    ~ScopedUtf8Ctype()
    {
        if (utf8 == static_cast<locale_t> (nullptr))
            return;

        ::uselocale (previous);
        ::freelocale (utf8);
    }

    ScopedUtf8Ctype (const ScopedUtf8Ctype&) = delete;
    ScopedUtf8Ctype& operator= (const ScopedUtf8Ctype&) = delete;

private:
    locale_t utf8 = static_cast<locale_t> (nullptr);
    locale_t previous = static_cast<locale_t> (nullptr);
};

ExtractResult failure (std::string message)
{
    return { false, std::move (message) };
}

std::string archiveErrorOr (archive* reader, const char* fallback)
{
    const char* text = archive_error_string (reader);
    return text != nullptr ? std::string (text) : std::string (fallback);
}

bool isInside (const fs::path& normalisedDestination, const fs::path& normalisedTarget)
{
    auto target = normalisedTarget.begin();

    for (const auto& component : normalisedDestination)
    {
        if (target == normalisedTarget.end() || *target != component)
            return false;

        ++target;
    }

    return true;
}

bool isAllZero (const char* data, std::size_t size)
{
    return size > 0 && data[0] == '\0' && std::memcmp (data, data + 1, size - 1) == 0;
}

// Throws std::filesystem::filesystem_error when the parent folders cannot be created.
ExtractResult extractRegularFile (archive* reader, archive_entry* entry, const fs::path& target)
{
    if (target.has_parent_path())
        fs::create_directories (target.parent_path());

    std::ofstream out;
    // Data already arrives in 64 KiB chunks; a second buffer in the stream would only copy it.
    out.rdbuf()->pubsetbuf (nullptr, 0);
    out.open (target, std::ios::binary | std::ios::out | std::ios::trunc);

    if (! out.is_open())
        return failure ("cannot create extracted file: " + target.string());

    const auto writeFailure = [&target] { return failure ("cannot write extracted file: " + target.string()); };

    std::vector<char> buffer (copyBufferSize, '\0');

    // Chunks of zeros (sparse entries, padding) are skipped over rather than written, so they
    // read back the same without taking disk space; the last byte of a trailing run is written
    // to give the file its full length.
    std::streamoff pendingZeros = 0;
    la_int64_t length = 0;

    for (;;)
    {
        const auto count = archive_read_data (reader, buffer.data(), buffer.size());

        if (count == 0)
            break;

        if (count < 0)
            return failure ("cannot read archive entry data");

        length += count;

        if (isAllZero (buffer.data(), static_cast<std::size_t> (count)))
        {
            pendingZeros += count;
            continue;
        }

        if (pendingZeros > 0)
        {
            out.seekp (pendingZeros, std::ios::cur);
            pendingZeros = 0;
        }

        out.write (buffer.data(), static_cast<std::streamsize> (count));

        if (! out)
            return writeFailure();
    }

    // The data must run to the size the header declares. libarchive delivers the holes of a
    // sparse entry as zeros, all but a trailing one, which is made here as libarchive's own
    // disk writer makes it. Any other difference is a damaged entry that libarchive passes
    // without an error (the first volume of a multi-volume archive ends its last entry early).
    if (archive_entry_size_is_set (entry) != 0)
    {
        const auto declared = archive_entry_size (entry);

        if (length < declared && archive_entry_sparse_count (entry) > 0)
            pendingZeros += declared - length;
        else if (length != declared)
            return failure ("archive entry data does not match its declared size");
    }

    if (pendingZeros > 0)
    {
        out.seekp (pendingZeros - 1, std::ios::cur);
        out.put ('\0');

        if (! out)
            return writeFailure();
    }

    return { true, {} };
}

ExtractResult extractEntry (archive* reader, archive_entry* entry, const fs::path& destination, const fs::path& normalisedDestination)
{
    const char* name = archive_entry_pathname (entry);

    if (name == nullptr)
        return failure ("archive entry has no path");

    if (const auto check = ArchiveSafety::validateEntryPath (name); ! check.ok)
        return failure ("unsafe archive entry: " + check.error);

    const auto target = (destination / fs::path (name)).lexically_normal();

    if (! isInside (normalisedDestination, target))
        return failure ("archive entry escapes destination directory");

    // A hard link comes back as a regular file when it carries data (pax) or as the second
    // name of a cpio pair; writing it as a plain or empty file would fake a complete install.
    if (archive_entry_hardlink (entry) != nullptr)
        return failure ("archive contains unsupported entry type");

    switch (archive_entry_filetype (entry))
    {
        case AE_IFDIR:
        {
            std::error_code ec;
            fs::create_directories (target, ec);

            if (ec)
                return failure ("cannot create extracted directory: " + target.string());

            return { true, {} };
        }

        case AE_IFREG:
            return extractRegularFile (reader, entry, target);

        default:
            return failure ("archive contains unsupported entry type");
    }
}

// The extraction itself. Making the parent folders of a regular file uses the throwing
// create_directories, whose filesystem_error the public operation turns into its result.
ExtractResult extract (const fs::path& archivePath, const fs::path& destination)
{
    std::error_code ec;
    fs::create_directories (destination, ec);

    if (ec)
        return failure ("cannot create extraction directory: " + destination.string());

    const ScopedUtf8Ctype utf8Names;

    ArchiveReader reader (archive_read_new());

    if (reader == nullptr)
        return failure ("cannot allocate archive reader");

    archive_read_support_filter_all (reader.get());
    archive_read_support_format_all (reader.get());

    if (archive_read_open_filename (reader.get(), archivePath.c_str(), blockSize) != ARCHIVE_OK)
        return failure (archiveErrorOr (reader.get(), "cannot open archive"));

    const auto normalisedDestination = destination.lexically_normal();

    for (;;)
    {
        archive_entry* entry = nullptr;
        const auto status = archive_read_next_header (reader.get(), &entry);

        if (status == ARCHIVE_EOF)
            return { true, {} };

        if (status != ARCHIVE_OK)
            return failure (archiveErrorOr (reader.get(), "cannot read archive"));

        if (auto result = extractEntry (reader.get(), entry, destination, normalisedDestination); ! result.ok)
            return result;
    }
}

} // namespace

ExtractResult ArchiveExtractor::extractToDirectory (const fs::path& archivePath, const fs::path& destination)
{
    try
    {
        return extract (archivePath, destination);
    }
    catch (const fs::filesystem_error& error)
    {
        return core::failure<ExtractResult> (error.what());
    }
}

} // namespace zorvaplugins::zorvamanager::package
