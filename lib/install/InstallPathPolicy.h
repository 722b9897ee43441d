#pragma once

#include "install/PluginFormat.h"

#include <filesystem>
#include <vector>

namespace zorvaplugins::zorvamanager::install
{

// The standard Linux plug-in folders of each format. HOME is read on every call; nothing
// here touches the file system (no folder is created, checked or normalised). Any thread.
class InstallPathPolicy
{
public:
    InstallPathPolicy() = delete;

    // [HOME/.vst3] or [HOME/.clap]; the first element is the default install folder. With
    // HOME unset the path is relative (".vst3" or ".clap").
    static std::vector<std::filesystem::path> defaultInstallPaths (PluginFormat format);

    // The per-user folders that are scanned: the same list as defaultInstallPaths.
    static std::vector<std::filesystem::path> defaultUserPaths (PluginFormat format);

    // ["/usr/local/lib/vst3", "/usr/lib/vst3"] or ["/usr/local/lib/clap", "/usr/lib/clap"].
    static std::vector<std::filesystem::path> defaultSystemScanPaths (PluginFormat format);
};

} // namespace zorvaplugins::zorvamanager::install
