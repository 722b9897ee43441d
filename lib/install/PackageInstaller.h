#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::install
{

// What to install from a package, and where.
struct PackageInstallRequest
{
    bool installVst3 = false;
    bool installClap = false;
    std::filesystem::path vst3Directory;
    std::filesystem::path clapDirectory;
};

// Outcome of installing a package.
struct InstallResult
{
    bool ok = false;
    std::string error;                                 // empty when ok
    std::vector<std::filesystem::path> installedPaths; // final bundle paths in install order; empty on failure
};

// Copies the bundles of an extracted package into the install folders. Each bundle is copied
// to "<name>.zorvamanager-tmp" beside its final place and renamed into place, so a half-copied
// bundle never carries the final name; an existing bundle of that name is replaced. The request
// and the package layout are checked before any install folder is created or touched.
//
// Any thread. No lock is taken: two installs of the same bundle name into the same folder share
// the temporary name and must not run at the same time.
class PackageInstaller
{
public:
    PackageInstaller() = delete;

    // Throws std::filesystem::filesystem_error when the layout walk of the package cannot advance
    // from one entry to the next (see package::PackageLayout::validateDirectory); every other
    // failure is returned.
    static InstallResult installDirectory (const std::filesystem::path& packageRoot,
                                           const PackageInstallRequest& request);
};

} // namespace zorvaplugins::zorvamanager::install
