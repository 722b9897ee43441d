#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::package
{

// One plug-in found in an extracted package.
struct PackagePluginEntry
{
    std::string format;                 // "vst3" or "clap"
    std::string name;                   // the bundle's stem: Synth.vst3 gives Synth
    std::filesystem::path relativePath; // from the package root, e.g. Linux/CLAP/Synth.clap
};

// Outcome of checking an extracted package.
struct LayoutResult
{
    bool ok = false;
    std::string error;                       // empty when ok
    std::vector<PackagePluginEntry> plugins; // sorted by the generic form of relativePath; empty on failure
};

// Checks an extracted package tree on disk: at least one VST3 bundle (a folder) and one CLAP
// plug-in (file or folder), at any depth but never inside another bundle; no symbolic link and
// no relative path that ArchiveSafety::validateEntryPath refuses. Reads the file system only.
//
// Any thread; concurrent validations of different packages are independent.
class PackageLayout
{
public:
    PackageLayout() = delete;

    // Lists the plug-ins of the package below root (a link to a folder is accepted as root).
    // A walk that cannot advance from one entry to the next fails with the file system's own
    // text (it never passes for a smaller package); it is not thrown. `cancel` (may be null) is checked before
    // every entry; once it is true the walk ends with "cancelled".
    static LayoutResult validateDirectory (const std::filesystem::path& root, const std::atomic<bool>* cancel = nullptr);
};

} // namespace zorvaplugins::zorvamanager::package
