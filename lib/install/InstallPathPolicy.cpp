#include "install/InstallPathPolicy.h"

#include <cstdlib>

namespace zorvaplugins::zorvamanager::install
{

namespace
{

bool isVst3 (PluginFormat format)
{
    return format == PluginFormat::Vst3;
}

std::filesystem::path homeFolder()
{
    const char* home = std::getenv ("HOME");
    return home != nullptr ? std::filesystem::path (home) : std::filesystem::path();
}

} // namespace

std::vector<std::filesystem::path> InstallPathPolicy::defaultInstallPaths (PluginFormat format)
{
    return { homeFolder() / (isVst3 (format) ? ".vst3" : ".clap") };
}

std::vector<std::filesystem::path> InstallPathPolicy::defaultUserPaths (PluginFormat format)
{
    return defaultInstallPaths (format);
}

std::vector<std::filesystem::path> InstallPathPolicy::defaultSystemScanPaths (PluginFormat format)
{
    if (isVst3 (format))
        return { "/usr/local/lib/vst3", "/usr/lib/vst3" };

    return { "/usr/local/lib/clap", "/usr/lib/clap" };
}

} // namespace zorvaplugins::zorvamanager::install
