#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Archive files made at test time with libarchive's write side, and by hand where a writer
// would refuse the layout (raw tar blocks). Test thread only.
namespace zorvatest
{

enum class EntryKind
{
    File,
    Directory,
    Symlink,
    HardLink,
    Fifo,
    CharDevice,
    BlockDevice
};

// One entry of a test archive: its name, kind, contents and, for links, the target.
struct ArchiveEntry
{
    ArchiveEntry (std::string entryName,
                  EntryKind entryKind = EntryKind::File,
                  std::string contents = {},
                  std::string link = {},
                  long inodeNumber = 0)
        : name (std::move (entryName))
        , kind (entryKind)
        , data (std::move (contents))
        , linkTarget (std::move (link))
        , inode (inodeNumber)
    {}

    std::string name;
    EntryKind kind;
    std::string data;       // File: contents
    std::string linkTarget; // Symlink and HardLink
    long inode;             // cpio hard-link pairs: same inode, nlink 2
};

enum class Container
{
    Tar, // pax restricted (ustar unless a name needs pax)
    TarGz,
    TarXz,
    Zip,
    Cpio // newc
};

std::string containerName (Container container);

// Writes the entries in order. Names are passed as UTF-8 bytes (the writer runs in a UTF-8
// LC_CTYPE so pax and zip record them as UTF-8). Throws std::runtime_error on failure.
void writeArchive (const std::filesystem::path& file, Container container, const std::vector<ArchiveEntry>& entries);

// One 512-byte ustar header block (checksum filled in).
std::string rawTarHeader (const std::string& name, char typeflag, std::size_t size, const std::string& linkName = {}, unsigned mode = 0644);

// Data padded to whole 512-byte blocks.
std::string rawTarData (const std::string& data);

// A pax extended header ('x') block with its records, ready to precede an entry.
std::string rawPaxHeader (const std::vector<std::pair<std::string, std::string>>& records);

// Two zero blocks.
std::string rawTarEnd();

// The archives of a shared corpus folder (libarchive's test archives, say) in name order, its
// SOURCE.md notes left out; empty when the folder is missing.
std::vector<std::filesystem::path> corpusArchives (const std::filesystem::path& folder);

} // namespace zorvatest
