#include "package/ArchiveFixtures.h"

#include "support/TestSupport.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <locale.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace zorvatest
{

namespace
{

class ScopedUtf8Thread
{
public:
    ScopedUtf8Thread()
        : utf8 (::newlocale (LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t> (nullptr)))
    {
        if (utf8 == static_cast<locale_t> (nullptr))
            throw std::runtime_error ("no C.UTF-8 locale");

        previous = ::uselocale (utf8);
    }

    ~ScopedUtf8Thread()
    {
        ::uselocale (previous);
        ::freelocale (utf8);
    }

private:
    locale_t utf8;
    locale_t previous = static_cast<locale_t> (nullptr);
};

struct WriterDeleter
{
    void operator() (archive* writer) const { archive_write_free (writer); }
};

struct EntryDeleter
{
    void operator() (archive_entry* entry) const { archive_entry_free (entry); }
};

void check (archive* writer, int status, const char* what)
{
    if (status < ARCHIVE_WARN)
        throw std::runtime_error (std::string (what) + ": " + (archive_error_string (writer) ? archive_error_string (writer) : "?"));
}

mode_t fileType (EntryKind kind)
{
    switch (kind)
    {
        case EntryKind::Directory:
            return AE_IFDIR;
        case EntryKind::Symlink:
            return AE_IFLNK;
        case EntryKind::Fifo:
            return AE_IFIFO;
        case EntryKind::CharDevice:
            return AE_IFCHR;
        case EntryKind::BlockDevice:
            return AE_IFBLK;
        case EntryKind::File:
        case EntryKind::HardLink:
            break;
    }

    return AE_IFREG;
}

std::string octal (std::size_t value, std::size_t width)
{
    std::string digits (width - 1, '0');

    for (std::size_t i = width - 1; i-- > 0 && value != 0; value /= 8)
        digits[i] = static_cast<char> ('0' + value % 8);

    return digits;
}

} // namespace

std::string containerName (Container container)
{
    switch (container)
    {
        case Container::Tar:
            return "tar";
        case Container::TarGz:
            return "tar.gz";
        case Container::TarXz:
            return "tar.xz";
        case Container::Zip:
            return "zip";
        case Container::Cpio:
            return "cpio";
    }

    return "?";
}

void writeArchive (const std::filesystem::path& file, Container container, const std::vector<ArchiveEntry>& entries)
{
    const ScopedUtf8Thread utf8;
    std::unique_ptr<archive, WriterDeleter> writer (archive_write_new());

    switch (container)
    {
        case Container::Tar:
            check (writer.get(), archive_write_set_format_pax_restricted (writer.get()), "format");
            break;
        case Container::TarGz:
            check (writer.get(), archive_write_set_format_pax_restricted (writer.get()), "format");
            check (writer.get(), archive_write_add_filter_gzip (writer.get()), "gzip");
            break;
        case Container::TarXz:
            check (writer.get(), archive_write_set_format_pax_restricted (writer.get()), "format");
            check (writer.get(), archive_write_add_filter_xz (writer.get()), "xz");
            break;
        case Container::Zip:
            check (writer.get(), archive_write_set_format_zip (writer.get()), "format");
            break;
        case Container::Cpio:
            check (writer.get(), archive_write_set_format_cpio_newc (writer.get()), "format");
            break;
    }

    check (writer.get(), archive_write_open_filename (writer.get(), file.c_str()), "open");

    for (const auto& item : entries)
    {
        std::unique_ptr<archive_entry, EntryDeleter> entry (archive_entry_new());
        archive_entry_copy_pathname (entry.get(), item.name.c_str());
        archive_entry_set_filetype (entry.get(), fileType (item.kind));
        archive_entry_set_perm (entry.get(), item.kind == EntryKind::Directory ? 0755 : 0644);
        archive_entry_set_mtime (entry.get(), 1700000000, 0);

        if (item.kind == EntryKind::Symlink)
            archive_entry_copy_symlink (entry.get(), item.linkTarget.c_str());

        if (item.kind == EntryKind::HardLink)
            archive_entry_copy_hardlink (entry.get(), item.linkTarget.c_str());

        if (item.kind == EntryKind::CharDevice || item.kind == EntryKind::BlockDevice)
        {
            archive_entry_set_rdevmajor (entry.get(), 1);
            archive_entry_set_rdevminor (entry.get(), 3);
        }

        if (item.inode != 0)
        {
            archive_entry_set_ino (entry.get(), item.inode);
            archive_entry_set_dev (entry.get(), 1);
            archive_entry_set_nlink (entry.get(), 2);
        }

        const bool hasData = item.kind == EntryKind::File;
        archive_entry_set_size (entry.get(), hasData ? static_cast<la_int64_t> (item.data.size()) : 0);

        check (writer.get(), archive_write_header (writer.get(), entry.get()), "header");

        if (hasData && ! item.data.empty() &&
            archive_write_data (writer.get(), item.data.data(), item.data.size()) != static_cast<la_ssize_t> (item.data.size()))
            throw std::runtime_error ("cannot write fixture data");
    }

    check (writer.get(), archive_write_close (writer.get()), "close");
}

std::string rawTarHeader (const std::string& name, char typeflag, std::size_t size, const std::string& linkName, unsigned mode)
{
    std::string block (512, '\0');
    std::memcpy (&block[0], name.data(), std::min<std::size_t> (name.size(), 100));
    std::memcpy (&block[100], octal (mode, 8).c_str(), 8);
    std::memcpy (&block[108], octal (0, 8).c_str(), 8);
    std::memcpy (&block[116], octal (0, 8).c_str(), 8);
    std::memcpy (&block[124], octal (size, 12).c_str(), 12);
    std::memcpy (&block[136], octal (1700000000, 12).c_str(), 12);
    block[156] = typeflag;
    std::memcpy (&block[157], linkName.data(), std::min<std::size_t> (linkName.size(), 100));
    std::memcpy (&block[257], "ustar", 6);
    std::memcpy (&block[263], "00", 2);

    std::memset (&block[148], ' ', 8);
    std::size_t sum = 0;

    for (auto c : block)
        sum += static_cast<unsigned char> (c);

    const auto checksum = octal (sum, 7);
    std::memcpy (&block[148], checksum.c_str(), 7);
    return block;
}

std::string rawTarData (const std::string& data)
{
    auto padded = data;
    padded.resize ((data.size() + 511) / 512 * 512, '\0');
    return padded;
}

std::string rawPaxHeader (const std::vector<std::pair<std::string, std::string>>& records)
{
    std::string body;

    for (const auto& [key, value] : records)
    {
        // "<length> <key>=<value>\n", where the length counts its own digits.
        const auto payload = " " + key + "=" + value + "\n";
        auto length = payload.size() + 1;

        while (std::to_string (length).size() + payload.size() != length)
            ++length;

        body += std::to_string (length) + payload;
    }

    return rawTarHeader ("PaxHeader", 'x', body.size()) + rawTarData (body);
}

std::string rawTarEnd()
{
    return std::string (1024, '\0');
}

std::vector<std::filesystem::path> corpusArchives (const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;

    for (std::filesystem::directory_iterator it (folder, error); ! error && it != std::filesystem::directory_iterator();
         it.increment (error))
        if (it->is_regular_file() && it->path().filename() != "SOURCE.md")
            files.push_back (it->path());

    std::sort (files.begin(), files.end());
    return files;
}

} // namespace zorvatest
