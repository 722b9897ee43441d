#include "install/PackageUninstaller.h"

#include <system_error>

namespace zorvaplugins::zorvamanager::install
{

namespace fs = std::filesystem;

namespace
{

UninstallResult failure (std::string error)
{
    return { false, std::move (error) };
}

} // namespace

UninstallResult PackageUninstaller::uninstallPluginPath (const fs::path& bundlePath)
{
    // A trailing separator leaves an empty file name and so no extension: refused too.
    const auto extension = bundlePath.extension();

    if (extension.native() != ".vst3" && extension.native() != ".clap")
        return failure ("uninstall path must be a .vst3 or .clap plugin");

    std::error_code ec;
    const auto status = fs::status (bundlePath, ec);

    if (ec || ! fs::exists (status))
        return failure ("plugin path does not exist: " + bundlePath.native());

    // remove_all looks at the path itself without following it, so a link goes, not its target.
    fs::remove_all (bundlePath, ec);

    if (ec)
        return failure ("cannot remove plugin path: " + bundlePath.native());

    return { true, {} };
}

} // namespace zorvaplugins::zorvamanager::install
