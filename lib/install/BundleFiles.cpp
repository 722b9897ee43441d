#include "install/BundleFiles.h"

#include "install/ScopedFileDescriptor.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace zorvaplugins::zorvamanager::install::bundlefiles
{

namespace fs = std::filesystem;

const char* const temporarySuffix = ".zorvamanager-tmp";
const char* const asideSuffix = ".zorvamanager-old";

namespace
{

constexpr std::size_t copyBlockSize = 65536;

std::atomic<std::uint64_t> nameCounter { 0 };

bool isCancelled (const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

bool endsWith (const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare (text.size() - end.size(), end.size(), end) == 0;
}

bool isDigits (const std::string& text)
{
    return ! text.empty() && text.find_first_not_of ("0123456789") == std::string::npos;
}

// True for "<bundle>.<digits>-<digits><suffix>" and the fixed "<bundle>.zorvamanager-tmp".
bool isLeftoverOf (const std::string& entry, const std::string& bundle)
{
    if (entry == bundle + temporarySuffix)
        return true;

    for (const std::string suffix : { temporarySuffix, asideSuffix })
    {
        const auto prefix = bundle + ".";

        if (entry.size() <= prefix.size() + suffix.size() || entry.compare (0, prefix.size(), prefix) != 0 || ! endsWith (entry, suffix))
            continue;

        const auto unique = entry.substr (prefix.size(), entry.size() - prefix.size() - suffix.size());
        const auto dash = unique.find ('-');

        if (dash != std::string::npos && isDigits (unique.substr (0, dash)) && isDigits (unique.substr (dash + 1)))
            return true;
    }

    return false;
}

void syncFolder (const fs::path& folder)
{
    safefile::ScopedFileDescriptor descriptor (::open (folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));

    if (descriptor.isValid())
        ::fsync (descriptor.get());
}

bool writeBlock (int descriptor, const char* data, std::size_t size)
{
    while (size > 0)
    {
        const auto written = ::write (descriptor, data, size);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
            return false;

        data += written;
        size -= static_cast<std::size_t> (written);
    }

    return true;
}

class TreeCopy
{
public:
    TreeCopy (const std::atomic<bool>* cancelFlag, std::string& errorText)
        : cancel (cancelFlag)
        , error (errorText)
    {}

    bool copy (const fs::path& source, const fs::path& destination)
    {
        if (isCancelled (cancel))
            return fail ("cancelled");

        struct stat info = {};

        if (::lstat (source.c_str(), &info) != 0)
            return fail ("cannot read package file: " + source.string());

        if (S_ISDIR (info.st_mode))
            return copyFolder (source, destination, info.st_mode & 0777);

        if (S_ISREG (info.st_mode))
            return copyFile (source, destination, info.st_mode & 0777);

        return fail ("package entry is not a file or folder: " + source.string());
    }

private:
    bool fail (std::string text)
    {
        error = std::move (text);
        return false;
    }

    bool copyFolder (const fs::path& source, const fs::path& destination, mode_t mode)
    {
        // Owner access is kept whatever the package says, or the tree could not be filled
        // (nor later replaced or removed).
        if (::mkdir (destination.c_str(), mode | S_IRWXU) != 0)
            return fail ("cannot create folder: " + destination.string());

        std::error_code ec;
        fs::directory_iterator entries (source, ec);

        if (ec)
            return fail ("cannot read package folder: " + source.string());

        for (; entries != fs::directory_iterator(); entries.increment (ec))
        {
            if (ec)
                return fail ("cannot read package folder: " + source.string());

            const auto name = entries->path().filename();

            if (! copy (source / name, destination / name))
                return false;
        }

        if (ec)
            return fail ("cannot read package folder: " + source.string());

        return true;
    }

    bool copyFile (const fs::path& source, const fs::path& destination, mode_t mode)
    {
        safefile::ScopedFileDescriptor in (::open (source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));

        if (! in.isValid())
            return fail ("cannot read package file: " + source.string());

        safefile::ScopedFileDescriptor out (
            ::open (destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode | S_IRUSR));

        if (! out.isValid())
            return fail ("cannot create file: " + destination.string());

        off_t copied = 0;
        auto inKernel = true;

        for (;;)
        {
            if (isCancelled (cancel))
                return fail ("cancelled");

            // The kernel copies between the files without the data passing through here; file
            // systems (or kernels) that cannot do that get plain reads and writes.
            if (inKernel)
            {
                const auto count = ::copy_file_range (in.get(), nullptr, out.get(), nullptr, copyBlockSize, 0);

                if (count < 0 && errno == EINTR)
                    continue;

                if (count < 0 && copied == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
                {
                    inKernel = false;
                    continue;
                }

                if (count < 0)
                    return fail ("cannot write file: " + destination.string());

                if (count == 0)
                    break;

                copied += count;
            }
            else
            {
                buffer.resize (copyBlockSize);
                const auto count = ::read (in.get(), buffer.data(), buffer.size());

                if (count < 0 && errno == EINTR)
                    continue;

                if (count < 0)
                    return fail ("cannot read package file: " + source.string());

                if (count == 0)
                    break;

                if (! writeBlock (out.get(), buffer.data(), static_cast<std::size_t> (count)))
                    return fail ("cannot write file: " + destination.string());

                copied += count;
            }
        }

        // Not flushed here: flushFileSystem flushes every file of the job at once.

        if (out.close() != 0)
            return fail ("cannot write file: " + destination.string());

        return true;
    }

    const std::atomic<bool>* cancel;
    std::string& error;
    std::vector<char> buffer;
};

} // namespace

fs::path uniqueNameBeside (const fs::path& bundle, const char* suffix)
{
    const auto number = nameCounter.fetch_add (1);
    return bundle.parent_path() / (bundle.filename().string() + "." + std::to_string (::getpid()) + "-" + std::to_string (number) + suffix);
}

void removeLeftovers (const fs::path& bundle)
{
    const auto name = bundle.filename().string();
    std::error_code ec;
    fs::directory_iterator entries (bundle.parent_path(), ec);

    std::vector<fs::path> leftovers;

    for (; ! ec && entries != fs::directory_iterator(); entries.increment (ec))
        if (isLeftoverOf (entries->path().filename().string(), name))
            leftovers.push_back (entries->path());

    for (const auto& leftover : leftovers)
        removeQuietly (leftover);
}

bool copyDurably (const fs::path& source, const fs::path& destination, const std::atomic<bool>* cancel, std::string& error)
{
    TreeCopy copy (cancel, error);

    if (copy.copy (source, destination))
        return true;

    // Only what this copy made: the destination name is unique to the job.
    removeQuietly (destination);
    return false;
}

bool flushFileSystem (const fs::path& folder, std::string& error)
{
    safefile::ScopedFileDescriptor descriptor (::open (folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));

    // One flush of the whole file system costs one journal commit; a flush per file would
    // cost one for each of a bundle's thousands of files.
    if (! descriptor.isValid() || ::syncfs (descriptor.get()) != 0)
    {
        error = "cannot flush install directory: " + folder.string();
        return false;
    }

    return true;
}

bool putInPlace (const fs::path& replacement, const fs::path& bundle, std::string& error)
{
    const auto folder = bundle.parent_path();
    struct stat existing = {};
    const auto hasOld = ::lstat (bundle.c_str(), &existing) == 0;

    if (hasOld && ::renameat2 (AT_FDCWD, replacement.c_str(), AT_FDCWD, bundle.c_str(), RENAME_EXCHANGE) == 0)
    {
        syncFolder (folder);
        removeQuietly (replacement); // the old bundle, now under the job's name
        return true;
    }

    if (! hasOld && ::renameat2 (AT_FDCWD, replacement.c_str(), AT_FDCWD, bundle.c_str(), RENAME_NOREPLACE) == 0)
    {
        syncFolder (folder);
        return true;
    }

    const auto failure = errno;

    // A file system without the exchange: the old bundle is renamed aside first and put back
    // if the new one cannot take its name. For a moment the name holds nothing.
    if (failure == EINVAL || failure == ENOSYS || failure == ENOTSUP)
    {
        const auto aside = uniqueNameBeside (bundle, asideSuffix);

        if (hasOld && ::rename (bundle.c_str(), aside.c_str()) != 0)
        {
            error = "cannot replace existing plugin: " + bundle.string();
            return false;
        }

        if (::rename (replacement.c_str(), bundle.c_str()) == 0)
        {
            syncFolder (folder);
            removeQuietly (aside);
            return true;
        }

        if (hasOld)
            ::rename (aside.c_str(), bundle.c_str());
    }

    error = "cannot move plugin into install directory: " + bundle.string();
    return false;
}

bool removeWhole (const fs::path& bundle, std::string& error)
{
    const auto aside = uniqueNameBeside (bundle, asideSuffix);

    if (::rename (bundle.c_str(), aside.c_str()) != 0)
    {
        error = "cannot remove plugin path: " + bundle.string();
        return false;
    }

    syncFolder (bundle.parent_path());
    removeQuietly (aside);
    return true;
}

void removeQuietly (const fs::path& path)
{
    std::error_code ignored;
    fs::remove_all (path, ignored);
}

} // namespace zorvaplugins::zorvamanager::install::bundlefiles
