#pragma once

#include "install/InstallTargets.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::install
{

// What to install from a package, and where.
struct PackageInstallRequest
{
    InstallTargets targets; // the formats to install and the folder of each

    const std::atomic<bool>* cancel = nullptr; // may be null; stops the walk, the waits and the copies
    std::function<void()> onWaiting {};        // may be empty; once, when a bundle is busy in another job
    std::function<void()> beforePutInPlace {}; // may be empty; once every copy is flushed, before the first rename
};

// Outcome of installing a package.
struct InstallResult
{
    bool ok = false;
    std::string error;                                 // empty when ok
    std::vector<std::filesystem::path> installedPaths; // final bundle paths in install order; empty on failure
};

// Copies the bundles of an extracted package into the install folders. The request and the
// package layout are checked before any install folder is created or touched. Then the lock of
// every destination bundle is taken (bundleLockFile; in path order, so that two jobs never
// wait for each other), which a second job, a second instance or the command line honours
// too: installs and removals of one bundle run one after the other. Under the locks, every
// bundle is copied to a name unique to the job ("<name>.<pid>-<n>.zorvamanager-tmp" beside its
// final place) and flushed to disk; only when all copies are complete are they put in place,
// each exchanged atomically with the bundle it replaces. The final name therefore always
// holds the whole old or the whole new bundle, even after a crash or a power cut.
//
// `cancel` is checked before each entry of the walk and of the copies and every 64 KiB copied,
// and while waiting for a lock; a cancelled install fails with "cancelled" before anything is
// put in place and leaves no copy behind. The renames themselves are not interrupted.
//
// Any thread.
class PackageInstaller
{
public:
    PackageInstaller() = delete;

    // Never throws for the file system; every failure, the layout's included, is returned.
    static InstallResult installDirectory (const std::filesystem::path& packageRoot, const PackageInstallRequest& request);
};

} // namespace zorvaplugins::zorvamanager::install
