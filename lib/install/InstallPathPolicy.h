#pragma once

#include "install/InstallTargets.h"

#include <filesystem>
#include <vector>

namespace zorvaplugins::zorvamanager::install
{

// Where the plug-ins of each format live on Linux: the standard folders, the default install
// folder and the folders the installed scan looks in. HOME is read on every call; nothing
// here touches the file system (no folder is created or checked). Any thread.
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

    // The first default install folder of a format (HOME/.vst3 or HOME/.clap), or an empty
    // path when there is none.
    static std::filesystem::path firstDefaultPath (PluginFormat format);

    // firstDefaultPath of each format: the install folders until the user chooses others.
    static FormatFolders defaultInstallFolders();

    // The folders the installed scan of one format looks in, in order and without duplicates
    // (compared after lexical normalisation): the chosen folder, then the default install,
    // user and system folders. Empty paths are left out.
    static std::vector<std::filesystem::path> scanPathsFor (PluginFormat format, const std::filesystem::path& chosenFolder);
};

} // namespace zorvaplugins::zorvamanager::install
