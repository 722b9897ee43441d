#include "AppHelpers.h"

#include "install/InstallPathPolicy.h"

#include <algorithm>
#include <chrono>

namespace fs = std::filesystem;
using zorvaplugins::zorvamanager::install::InstallPathPolicy;
using zorvaplugins::zorvamanager::install::PluginFormat;

fs::path makeTemporaryRoot()
{
    const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds> (
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    const auto root = fs::temp_directory_path() / ("zorvamanager-ui-" + std::to_string (static_cast<long long> (ticks)));
    fs::create_directories (root);
    return root;
}

std::string normaliseName (std::string text)
{
    std::string key;
    key.reserve (text.size());

    for (const auto byte : text)
    {
        if (byte >= 'A' && byte <= 'Z')
            key += static_cast<char> (byte - 'A' + 'a');
        else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9'))
            key += byte;
    }

    return key;
}

fs::path firstDefaultPath (PluginFormat format)
{
    const auto paths = InstallPathPolicy::defaultInstallPaths (format);
    return paths.empty() ? fs::path() : paths.front();
}

std::vector<fs::path> scanPathsFor (PluginFormat format, const fs::path& chosenFolder)
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

    for (const auto& folder : InstallPathPolicy::defaultInstallPaths (format))
        add (folder);

    for (const auto& folder : InstallPathPolicy::defaultUserPaths (format))
        add (folder);

    for (const auto& folder : InstallPathPolicy::defaultSystemScanPaths (format))
        add (folder);

    return folders;
}
