#include "install/InstallPathPolicy.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace zorvaplugins::zorvamanager::install
{

namespace fs = std::filesystem;

namespace
{

fs::path homeFolder()
{
    const char* home = std::getenv ("HOME");
    return home != nullptr ? fs::path (home) : fs::path();
}

} // namespace

std::vector<fs::path> InstallPathPolicy::defaultInstallPaths (PluginFormat format)
{
    return { homeFolder() / (std::string (".") + formatName (format)) };
}

std::vector<fs::path> InstallPathPolicy::defaultUserPaths (PluginFormat format)
{
    return defaultInstallPaths (format);
}

std::vector<fs::path> InstallPathPolicy::defaultSystemScanPaths (PluginFormat format)
{
    return { fs::path ("/usr/local/lib") / formatName (format), fs::path ("/usr/lib") / formatName (format) };
}

fs::path InstallPathPolicy::firstDefaultPath (PluginFormat format)
{
    const auto paths = defaultInstallPaths (format);
    return paths.empty() ? fs::path() : paths.front();
}

FormatFolders InstallPathPolicy::defaultInstallFolders()
{
    FormatFolders folders;

    for (const auto format : pluginFormats)
        folders[format] = firstDefaultPath (format);

    return folders;
}

std::vector<fs::path> InstallPathPolicy::scanPathsFor (PluginFormat format, const fs::path& chosenFolder)
{
    std::vector<fs::path> folders;

    const auto add = [&folders] (const fs::path& folder) {
        if (folder.empty())
            return;

        auto normal = folder.lexically_normal();

        if (std::find (folders.begin(), folders.end(), normal) == folders.end())
            folders.push_back (std::move (normal));
    };

    add (chosenFolder);

    for (auto* list :
         { &InstallPathPolicy::defaultInstallPaths, &InstallPathPolicy::defaultUserPaths, &InstallPathPolicy::defaultSystemScanPaths })
        for (const auto& folder : (*list) (format))
            add (folder);

    return folders;
}

} // namespace zorvaplugins::zorvamanager::install
