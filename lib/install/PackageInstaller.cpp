#include "install/PackageInstaller.h"

#include "install/BundleFiles.h"
#include "install/FileLock.h"
#include "package/PackageLayout.h"

#include <algorithm>
#include <system_error>

namespace zorvaplugins::zorvamanager::install
{

namespace
{

namespace fs = std::filesystem;

InstallResult failure (std::string message)
{
    return { false, std::move (message), {} };
}

// The install target of the plug-in's format, or null when that format is not installed.
const FormatTarget* selectedTarget (const package::PackagePluginEntry& plugin, const InstallTargets& targets)
{
    for (const auto format : pluginFormats)
        if (plugin.format == formatName (format) && targets[format].enabled)
            return &targets[format];

    return nullptr;
}

struct BundleCopy
{
    fs::path source;
    fs::path folder;
    fs::path target;
    fs::path temporary; // set once the copy is under way
};

// Removes the job's copies that were not put in place, on every way out.
struct CopiesGuard
{
    std::vector<BundleCopy>& copies;

    ~CopiesGuard()
    {
        for (const auto& copy : copies)
            if (! copy.temporary.empty())
                bundlefiles::removeQuietly (copy.temporary);
    }
};

} // namespace

InstallResult PackageInstaller::installDirectory (const fs::path& packageRoot, const PackageInstallRequest& request)
{
    if (! request.targets.vst3.enabled && ! request.targets.clap.enabled)
        return failure ("no plugin formats selected");

    for (const auto format : pluginFormats)
        if (request.targets[format].enabled && request.targets[format].folder.empty())
            return failure (std::string ("missing ") + formatLabel (format) + " install path");

    const auto layout = package::PackageLayout::validateDirectory (packageRoot, request.cancel);

    if (! layout.ok)
        return failure (layout.error);

    std::vector<BundleCopy> copies;

    for (const auto& plugin : layout.plugins)
    {
        const auto* target = selectedTarget (plugin, request.targets);

        if (target == nullptr)
            continue;

        const auto source = packageRoot / plugin.relativePath;
        copies.push_back ({ source, target->folder, target->folder / source.filename(), {} });
    }

    if (copies.empty())
        return failure ("selected formats were not present in package");

    // Locks in path order, each bundle once (a package may name one bundle twice).
    std::vector<fs::path> targets;

    for (const auto& copy : copies)
    {
        std::error_code ec;
        fs::create_directories (copy.folder, ec);

        if (ec)
            return failure ("cannot create install directory: " + copy.folder.string());

        targets.push_back (copy.target);
    }

    std::sort (targets.begin(), targets.end());
    targets.erase (std::unique (targets.begin(), targets.end()), targets.end());

    std::vector<FileLock> locks;
    auto toldWaiting = false;
    const auto onWaiting = [&request, &toldWaiting] {
        if (! toldWaiting && request.onWaiting)
            request.onWaiting();

        toldWaiting = true;
    };

    for (const auto& target : targets)
    {
        auto taken = FileLocks::acquire (bundleLockFile (target), true, request.cancel, std::chrono::milliseconds (-1), onWaiting);

        if (! taken.ok)
            return failure (taken.error);

        locks.push_back (std::move (taken.lock));
        bundlefiles::removeLeftovers (target);
    }

    const CopiesGuard guard { copies };

    for (auto& copy : copies)
    {
        copy.temporary = bundlefiles::uniqueNameBeside (copy.target, bundlefiles::temporarySuffix);
        std::string error;

        if (! bundlefiles::copyDurably (copy.source, copy.temporary, request.cancel, error))
        {
            if (error == "cancelled")
                return failure (error);

            return failure ("cannot copy plugin to temporary install path: " + copy.temporary.string());
        }
    }

    // Each install folder's file system once (both are usually on the same one, and a second
    // flush then finds nothing to do).
    for (const auto& copy : copies)
    {
        std::string error;

        if (! bundlefiles::flushFileSystem (copy.folder, error))
            return failure (error);
    }

    if (request.cancel != nullptr && request.cancel->load())
        return failure ("cancelled");

    if (request.beforePutInPlace)
        request.beforePutInPlace();

    std::vector<fs::path> installed;

    for (auto& copy : copies)
    {
        std::string error;

        if (! bundlefiles::putInPlace (copy.temporary, copy.target, error))
            return failure (error);

        copy.temporary.clear();
        installed.push_back (copy.target);
    }

    return { true, {}, std::move (installed) };
}

} // namespace zorvaplugins::zorvamanager::install
