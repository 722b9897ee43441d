#pragma once

#include "install/ScopedFileDescriptor.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace zorvaplugins::zorvamanager::install
{

// An advisory lock (flock) held on a lock file, shared with every process that honours the same
// file: a second instance of the program, or its command line. Released when the owner goes;
// a process that dies releases it with its descriptors, so a lock is never left stuck. Move
// only. Any thread; one owner at a time.
class FileLock
{
public:
    FileLock() = default;
    ~FileLock() { release(); }
    FileLock (FileLock&& other) noexcept;
    FileLock& operator= (FileLock&& other) noexcept;
    FileLock (const FileLock&) = delete;
    FileLock& operator= (const FileLock&) = delete;

    bool isHeld() const noexcept { return descriptor.isValid(); }

    // Unlocks; a lock taken with `removeWhenReleased` first removes its file, so lock files
    // beside plug-ins do not pile up. Safe to call twice.
    void release() noexcept;

private:
    friend struct FileLockResult;
    friend class FileLocks;

    safefile::ScopedFileDescriptor descriptor;
    std::filesystem::path file;
    bool removeWhenReleased = false;
};

// Outcome of taking a lock.
struct FileLockResult
{
    bool ok = false;
    std::string error; // "cancelled", or "cannot lock: " / "timed out waiting for lock: " + the lock file
    FileLock lock;     // held when ok
};

class FileLocks
{
public:
    FileLocks() = delete;

    // Takes the exclusive lock on `lockFile`, creating it (never through a link). While another
    // owner holds it, tries again every 20 ms until the lock is free, `cancel` becomes true
    // ("cancelled") or `timeout` has passed (a negative timeout waits for as long as it takes).
    // `onWaiting` (may be empty) is called once when the first try finds the lock taken.
    // A lock file removed by its last owner while this one waited is opened afresh, so two
    // owners can never hold locks on two different files of one name.
    static FileLockResult acquire (const std::filesystem::path& lockFile,
                                   bool removeWhenReleased,
                                   const std::atomic<bool>* cancel,
                                   std::chrono::milliseconds timeout,
                                   const std::function<void()>& onWaiting = {});
};

// The lock file of one destination plug-in bundle: hidden, beside the bundle, named
// "." + bundle name + ".zorvamanager-lock", so that no host takes it for a plug-in and two
// spellings of one folder still meet at the same file.
std::filesystem::path bundleLockFile (const std::filesystem::path& bundle);

} // namespace zorvaplugins::zorvamanager::install
