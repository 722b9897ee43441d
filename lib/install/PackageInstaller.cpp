#include "install/PackageInstaller.h"

#include "package/PackageLayout.h"

#include <system_error>

namespace zorvaplugins::zorvamanager::install
{

namespace
{

namespace fs = std::filesystem;

const char* const temporarySuffix = ".zorvamanager-tmp";

InstallResult failure (std::string message)
{
    return { false, std::move (message), {} };
}

void removeQuietly (const fs::path& path)
{
    std::error_code ignored;
    fs::remove_all (path, ignored);
}

bool isSelected (const package::PackagePluginEntry& plugin, const PackageInstallRequest& request)
{
    return (plugin.format == "vst3" && request.installVst3) || (plugin.format == "clap" && request.installClap);
}

} // namespace

InstallResult PackageInstaller::installDirectory (const fs::path& packageRoot, const PackageInstallRequest& request)
{
    if (! request.installVst3 && ! request.installClap)
        return failure ("no plugin formats selected");

    if (request.installVst3 && request.vst3Directory.empty())
        return failure ("missing VST3 install path");

    if (request.installClap && request.clapDirectory.empty())
        return failure ("missing CLAP install path");

    const auto layout = package::PackageLayout::validateDirectory (packageRoot);

    if (! layout.ok)
        return failure (layout.error);

    std::vector<fs::path> installed;

    for (const auto& plugin : layout.plugins)
    {
        if (! isSelected (plugin, request))
            continue;

        const auto source = packageRoot / plugin.relativePath;
        const auto& installFolder = plugin.format == "vst3" ? request.vst3Directory : request.clapDirectory;
        const auto target = installFolder / source.filename();

        std::error_code ec;
        fs::create_directories (installFolder, ec);

        if (ec)
            return failure ("cannot create install directory: " + installFolder.string());

        auto temporary = installFolder / source.filename();
        temporary += temporarySuffix;

        fs::remove_all (temporary, ec);

        if (ec)
            return failure ("cannot clear temporary install path: " + temporary.string());

        fs::copy (source, temporary, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);

        if (ec)
        {
            removeQuietly (temporary);
            return failure ("cannot copy plugin to temporary install path: " + temporary.string());
        }

        // The new tree is complete before the old one goes, so the final name never holds a
        // partial copy; for a moment it holds nothing.
        fs::remove_all (target, ec);

        if (ec)
        {
            removeQuietly (temporary);
            return failure ("cannot replace existing plugin: " + target.string());
        }

        fs::rename (temporary, target, ec);

        if (ec)
        {
            removeQuietly (temporary);
            return failure ("cannot move plugin into install directory: " + target.string());
        }

        installed.push_back (target);
    }

    if (installed.empty())
        return failure ("selected formats were not present in package");

    return { true, {}, std::move (installed) };
}

} // namespace zorvaplugins::zorvamanager::install
