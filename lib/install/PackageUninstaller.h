#pragma once

#include <atomic>
#include <filesystem>
#include <string>

namespace zorvaplugins::zorvamanager::install
{

struct UninstallResult
{
    bool ok = false;
    std::string error; // empty on success
};

// Removes one installed plug-in bundle. Worker thread of the remove workflow (any thread);
// never throws. Holds the bundle's lock (bundleLockFile) while it works, so a removal never
// runs into an install or removal of the same bundle in this or another process.
class PackageUninstaller
{
public:
    PackageUninstaller() = delete;

    // Only a path whose extension is exactly ".vst3" or ".clap" is touched, so a wrong or
    // empty path can never take an arbitrary folder tree with it. A bundle folder goes with
    // everything inside it; a symbolic link is removed itself, never its target, and a
    // dangling one counts as not existing. Which paths are offered is the caller's decision.
    // The bundle is first renamed aside in one step and then deleted, so it is never left half
    // deleted under its name; a delete stopped half-way is finished by the next install or
    // removal of that bundle. `cancel` (may be null) ends a wait for the lock ("cancelled").
    static UninstallResult uninstallPluginPath (const std::filesystem::path& bundlePath, const std::atomic<bool>* cancel = nullptr);
};

} // namespace zorvaplugins::zorvamanager::install
