#pragma once

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
// no shared state, never throws.
class PackageUninstaller
{
public:
    PackageUninstaller() = delete;

    // Only a path whose extension is exactly ".vst3" or ".clap" is touched, so a wrong or
    // empty path can never take an arbitrary folder tree with it. A bundle folder goes with
    // everything inside it; a symbolic link is removed itself, never its target, and a
    // dangling one counts as not existing. Which paths are offered is the caller's decision.
    static UninstallResult uninstallPluginPath (const std::filesystem::path& bundlePath);
};

} // namespace zorvaplugins::zorvamanager::install
