#include "install/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace zorvaplugins::zorvamanager::install
{

namespace fs = std::filesystem;

namespace
{

constexpr auto pollInterval = std::chrono::milliseconds (20);

bool isCancelled (const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

// True when `descriptor` is still the file at `path`: the previous owner may have removed
// the file after this one opened it and before it got the lock.
bool isStillThere (int descriptor, const fs::path& path)
{
    struct stat held = {};
    struct stat named = {};

    return ::fstat (descriptor, &held) == 0 && ::lstat (path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino;
}

} // namespace

FileLock::FileLock (FileLock&& other) noexcept
    : descriptor (other.descriptor.release())
    , file (std::move (other.file))
    , removeWhenReleased (other.removeWhenReleased)
{}

FileLock& FileLock::operator= (FileLock&& other) noexcept
{
    if (this != &other)
    {
        release();
        descriptor = safefile::ScopedFileDescriptor (other.descriptor.release());
        file = std::move (other.file);
        removeWhenReleased = other.removeWhenReleased;
    }

    return *this;
}

void FileLock::release() noexcept
{
    if (! descriptor.isValid())
        return;

    // Removed while still locked: a waiter that then gets the old file sees that it is gone
    // and opens the new one.
    if (removeWhenReleased)
        ::unlink (file.c_str());

    descriptor.reset();
}

FileLockResult FileLocks::acquire (const fs::path& lockFile,
                                   bool removeWhenReleased,
                                   const std::atomic<bool>* cancel,
                                   std::chrono::milliseconds timeout,
                                   const std::function<void()>& onWaiting)
{
    FileLockResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto toldWaiting = false;

    for (;;)
    {
        if (isCancelled (cancel))
        {
            result.error = "cancelled";
            return result;
        }

        safefile::ScopedFileDescriptor descriptor (::open (lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));

        if (! descriptor.isValid())
        {
            result.error = "cannot lock: " + lockFile.string();
            return result;
        }

        for (;;)
        {
            if (::flock (descriptor.get(), LOCK_EX | LOCK_NB) == 0)
                break;

            if (errno != EWOULDBLOCK && errno != EINTR)
            {
                result.error = "cannot lock: " + lockFile.string();
                return result;
            }

            if (! toldWaiting && onWaiting)
                onWaiting();

            toldWaiting = true;

            if (isCancelled (cancel))
            {
                result.error = "cancelled";
                return result;
            }

            if (timeout.count() >= 0 && std::chrono::steady_clock::now() >= deadline)
            {
                result.error = "timed out waiting for lock: " + lockFile.string();
                return result;
            }

            std::this_thread::sleep_for (pollInterval);
        }

        if (isStillThere (descriptor.get(), lockFile))
        {
            result.ok = true;
            result.lock.descriptor = safefile::ScopedFileDescriptor (descriptor.release());
            result.lock.file = lockFile;
            result.lock.removeWhenReleased = removeWhenReleased;
            return result;
        }
    }
}

fs::path bundleLockFile (const fs::path& bundle)
{
    return bundle.parent_path() / ("." + bundle.filename().string() + ".zorvamanager-lock");
}

} // namespace zorvaplugins::zorvamanager::install
