#include "install/SafeFileReplacement.h"

#include "install/AppImageIntegration.h"
#include "install/ScopedFileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

namespace zorvaplugins::zorvamanager::install::safefile
{

namespace
{

namespace fs = std::filesystem;

constexpr std::size_t copyBufferSize = 65536;

std::string errnoText (int errorNumber)
{
    return std::strerror (errorNumber);
}

bool isMissing (const std::error_code& ec)
{
    return ec == std::errc::no_such_file_or_directory;
}

// Opens a file for reading without following a final link and without blocking on a FIFO
// that might have been swapped in after the caller's check.
int openForReading (const fs::path& path)
{
    int descriptor;

    do
        descriptor = ::open (path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    while (descriptor < 0 && errno == EINTR);

    return descriptor;
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 on a read error.
ssize_t readFully (int descriptor, char* data, std::size_t size)
{
    std::size_t done = 0;

    while (done < size)
    {
        const auto count = ::read (descriptor, data + done, size - done);

        if (count < 0 && errno == EINTR)
            continue;

        if (count < 0)
            return -1;

        if (count == 0)
            break;

        done += static_cast<std::size_t> (count);
    }

    return static_cast<ssize_t> (done);
}

// Creates the temporary file for `target` exclusively. On failure `exhausted` tells whether every
// attempt met an existing name; otherwise errno holds the reason.
ScopedFileDescriptor createTemporary (const fs::path& target, unsigned mode, TemporaryNamer namer, fs::path& temporary, bool& exhausted)
{
    exhausted = false;

    for (std::uint32_t attempt = 0; attempt < temporaryAttempts; ++attempt)
    {
        const auto candidate = namer (target, attempt);
        const auto descriptor =
            ::open (candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t> (mode));

        if (descriptor >= 0)
        {
            temporary = candidate;
            return ScopedFileDescriptor (descriptor);
        }

        if (errno != EEXIST)
            return {};
    }

    exhausted = true;
    return {};
}

void removeQuietly (const fs::path& path)
{
    std::error_code ignored;
    fs::remove (path, ignored);
}

// The one replacement sequence: a new temporary beside the target, filled by `fill`, flushed,
// closed, renamed onto the target, and the folder flushed. The temporary is removed on every
// failure, so the target is always the complete old or the complete new file. `noun` names
// the file in the messages ("cannot sync temporary " + noun + ": " + reason).
template <typename Fill>
bool replaceAtomically (
    const fs::path& target, unsigned mode, const std::string& noun, TemporaryNamer namer, std::string& error, Fill&& fill)
{
    fs::path temporary;
    bool exhausted = false;
    auto output = createTemporary (target, mode, namer, temporary, exhausted);

    if (! output.isValid())
    {
        error = exhausted ? "cannot create a unique temporary " + noun : "cannot create temporary " + noun + ": " + errnoText (errno);
        return false;
    }

    const auto fail = [&] (std::string text) {
        output.reset();
        removeQuietly (temporary);
        error = std::move (text);
        return false;
    };

    std::string fillError;

    if (! fill (output.get(), fillError))
        return fail (std::move (fillError));

    if (::fsync (output.get()) != 0)
        return fail ("cannot sync temporary " + noun + ": " + errnoText (errno));

    if (output.close() != 0)
        return fail ("cannot close temporary " + noun + ": " + errnoText (errno));

    if (::rename (temporary.c_str(), target.c_str()) != 0)
        return fail ("cannot replace " + noun + ": " + errnoText (errno));

    return fsyncDirectory (target.parent_path(), error);
}

} // namespace

bool isSafeSourceFile (const fs::path& path, std::string& error)
{
    std::error_code ec;
    const auto status = fs::symlink_status (path, ec);

    if (! ec && fs::is_regular_file (status))
        return true;

    error = "source is not a regular file: " + path.string();
    return false;
}

bool writeAll (int descriptor, const void* data, std::uint64_t size, std::string& error)
{
    auto* next = static_cast<const char*> (data);
    auto remaining = size;

    while (remaining > 0)
    {
        const auto written = ::write (descriptor, next, static_cast<std::size_t> (remaining));

        if (written > 0)
        {
            next += written;
            remaining -= static_cast<std::uint64_t> (written);
            continue;
        }

        if (written < 0 && errno == EINTR)
            continue;

        // A zero count leaves errno as it was; say so rather than repeat an old reason.
        error = "write failed: " + errnoText (written < 0 ? errno : EIO);
        return false;
    }

    return true;
}

bool commandLinkPointsTo (const fs::path& link, const fs::path& target)
{
    std::error_code ec;
    const auto status = fs::symlink_status (link, ec);

    if (ec || ! fs::is_symlink (status))
        return false;

    auto value = fs::read_symlink (link, ec);

    if (ec)
        return false;

    if (! value.has_root_directory())
        value = link.parent_path() / value;

    return value.lexically_normal() == target.lexically_normal();
}

fs::path temporaryPathFor (const fs::path& target, std::uint32_t attempt)
{
    const auto clock = std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();

    const auto name = "." + target.filename().string() + "." + std::to_string (::getpid()) + "." + std::to_string (clock) + "." +
        std::to_string (attempt) + ".tmp";

    return target.parent_path() / name;
}

bool fsyncDirectory (const fs::path& directory, std::string& error)
{
    ScopedFileDescriptor descriptor (::open (directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));

    if (! descriptor.isValid())
    {
        error = "cannot sync integration directory: " + errnoText (errno);
        return false;
    }

    if (::fsync (descriptor.get()) != 0)
    {
        const auto failure = errno;
        descriptor.reset();
        error = "cannot sync integration directory: " + errnoText (failure);
        return false;
    }

    descriptor.reset();
    return true;
}

bool ensureDirectory (const fs::path& directory, std::string& error)
{
    if (directory.empty())
    {
        error = "ZorvaManager integration path is empty";
        return false;
    }

    std::error_code ec;
    fs::create_directories (directory, ec);

    if (ec)
    {
        error = "cannot create " + directory.string() + ": " + ec.message();
        return false;
    }

    const auto status = fs::symlink_status (directory, ec);

    if (ec || ! fs::is_directory (status))
    {
        error = "integration directory is not a safe directory: " + directory.string();
        return false;
    }

    return true;
}

bool isReplaceableRegularFileOrMissing (const fs::path& path, std::string& error)
{
    std::error_code ec;
    const auto status = fs::symlink_status (path, ec);

    if (ec)
    {
        if (isMissing (ec))
            return true;

        error = "cannot inspect " + path.string() + ": " + ec.message();
        return false;
    }

    if (fs::is_regular_file (status))
        return true;

    error = "refusing to replace unsafe integration path: " + path.string();
    return false;
}

bool replaceFromFileAtomically (const fs::path& source, const fs::path& target, unsigned mode, std::string& error, TemporaryNamer namer)
{
    ScopedFileDescriptor input (::open (source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));

    if (! input.isValid())
    {
        error = "cannot open source AppImage data: " + errnoText (errno);
        return false;
    }

    struct stat sourceStatus;
    errno = 0;

    if (::fstat (input.get(), &sourceStatus) != 0 || ! S_ISREG (sourceStatus.st_mode))
    {
        const auto failure = errno;
        error = "source is not a regular file";

        if (failure != 0)
            error += ": " + errnoText (failure);

        return false;
    }

    std::vector<char> buffer (copyBufferSize, '\0');

    return replaceAtomically (target, mode, "integration file", namer, error, [&] (int output, std::string& writeError) {
        for (;;)
        {
            const auto count = ::read (input.get(), buffer.data(), buffer.size());

            if (count == 0)
                return true;

            if (count < 0)
            {
                if (errno == EINTR)
                    continue;

                writeError = "read failed: " + errnoText (errno);
                return false;
            }

            if (! writeAll (output, buffer.data(), static_cast<std::uint64_t> (count), writeError))
                return false;
        }
    });
}

bool writeFileAtomically (
    const fs::path& target, const std::string& bytes, unsigned mode, const std::string& noun, std::string& error, TemporaryNamer namer)
{
    return replaceAtomically (target, mode, noun, namer, error, [&bytes] (int output, std::string& writeError) {
        return writeAll (output, bytes.data(), bytes.size(), writeError);
    });
}

bool writeDesktopEntryAtomically (const fs::path& target, const std::string& text, std::string& error, TemporaryNamer namer)
{
    return writeFileAtomically (target, text, 0644, "desktop entry", error, namer);
}

FileRemoval removeRegularFile (const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::symlink_status (path, ec);

    if (ec)
    {
        if (isMissing (ec))
            return { true, {}, false };

        return { false, "cannot inspect " + path.string() + ": " + ec.message(), false };
    }

    if (! fs::is_regular_file (status))
        return { true, {}, false };

    const auto removed = fs::remove (path, ec);

    if (ec)
        return { false, "cannot remove " + path.string() + ": " + ec.message(), false };

    return { true, {}, removed };
}

bool desktopEntryIsOurs (const fs::path& path)
{
    ScopedFileDescriptor input (openForReading (path));

    if (! input.isValid())
        return false;

    // Streams the file with an overlap of one marker length less one byte, so a marker that
    // straddles two reads is still found and a huge file never sits in memory whole.
    const std::string marker = AppImageIntegration::integrationMarker;
    std::string window;
    std::vector<char> buffer (copyBufferSize);

    for (;;)
    {
        const auto count = readFully (input.get(), buffer.data(), buffer.size());

        if (count < 0)
            return false;

        window.append (buffer.data(), static_cast<std::size_t> (count));

        if (window.find (marker) != std::string::npos)
            return true;

        if (static_cast<std::size_t> (count) < buffer.size())
            return false;

        window.erase (0, window.size() - (marker.size() - 1));
    }
}

bool hasAppImageHeader (const fs::path& path)
{
    ScopedFileDescriptor input (openForReading (path));

    if (! input.isValid())
        return false;

    unsigned char header[11] = {};

    if (readFully (input.get(), reinterpret_cast<char*> (header), sizeof (header)) != static_cast<ssize_t> (sizeof (header)))
        return false;

    return header[0] == 0x7f && header[1] == 'E' && header[2] == 'L' && header[3] == 'F' && header[8] == 'A' && header[9] == 'I' &&
        header[10] == 0x02;
}

} // namespace zorvaplugins::zorvamanager::install::safefile
