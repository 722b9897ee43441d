#pragma once

#include "package/ArchiveSafety.h"

#include <filesystem>
#include <string>

namespace zorvaplugins::zorvamanager::package
{

// Outcome of unpacking one archive.
struct ExtractResult
{
    bool ok = false;
    std::string error; // one line; empty when ok
};

// Unpacks a package archive in any container and compression that libarchive reads,
// materialising only directories and regular files. Entry names are checked with
// ArchiveSafety::validateEntryPath and must stay inside the destination; symbolic links,
// hard links, devices, FIFOs and sockets stop the extraction. No mode, owner, time or link
// from the archive is applied. Entry names are taken as UTF-8 bytes whatever the caller's
// locale. The first problem stops the extraction; what was written before it stays on disk
// for the caller to remove.
//
// Any thread; concurrent calls on different destinations are independent.
class ArchiveExtractor
{
public:
    ArchiveExtractor() = delete;

    // Fills the destination (created with its parents; no trailing separator) from the archive.
    // Never throws for the file system: when the parent folders of a regular file cannot be
    // created (for instance because an earlier entry is a file where a folder is needed), the
    // error is the file system's own text, as for every other failure.
    static ExtractResult extractToDirectory (const std::filesystem::path& archivePath, const std::filesystem::path& destination);
};

} // namespace zorvaplugins::zorvamanager::package
