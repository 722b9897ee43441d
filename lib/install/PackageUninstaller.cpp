#include "install/PackageUninstaller.h"

#include "install/BundleFiles.h"
#include "install/FileLock.h"

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

UninstallResult PackageUninstaller::uninstallPluginPath (const fs::path& bundlePath, const std::atomic<bool>* cancel)
{
    // A trailing separator leaves an empty file name and so no extension: refused too.
    const auto extension = bundlePath.extension();

    if (extension.native() != ".vst3" && extension.native() != ".clap")
        return failure ("uninstall path must be a .vst3 or .clap plugin");

    std::error_code ec;
    const auto status = fs::status (bundlePath, ec);

    if (ec || ! fs::exists (status))
        return failure ("plugin path does not exist: " + bundlePath.native());

    // A folder where no lock file can be made (a system folder) cannot lose the bundle either.
    const auto lock = FileLocks::acquire (bundleLockFile (bundlePath), true, cancel, std::chrono::milliseconds (-1));

    if (! lock.ok)
        return failure (lock.error == "cancelled" ? lock.error : "cannot remove plugin path: " + bundlePath.native());

    bundlefiles::removeLeftovers (bundlePath);

    // An install or removal that held the lock before may have changed what is there.
    if (fs::symlink_status (bundlePath, ec).type() == fs::file_type::not_found)
        return failure ("plugin path does not exist: " + bundlePath.native());

    // The rename moves the path itself, so a link goes, not its target.
    std::string error;

    if (! bundlefiles::removeWhole (bundlePath, error))
        return failure (error);

    return { true, {} };
}

} // namespace zorvaplugins::zorvamanager::install
