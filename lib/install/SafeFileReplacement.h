#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Durable, link-safe file replacement for the files the program keeps in the user's home: the
// desktop integration, the install receipts and the settings. No function here follows a
// symbolic link at a path it reads, replaces or removes, leaves a temporary file or a partial
// target behind after a failure it detects, or throws for a filesystem error. An `error`
// argument is overwritten only on failure.
//
// Any thread, and blocking (every replacement waits for the disk): the receipts are written by
// the install and remove jobs on worker threads, the settings on the window's ordered worker
// thread, the desktop integration by a pool thread (install) or the message thread (the
// self-removal, which only removes). Nothing here takes a lock: callers that write one file
// from several threads serialise those writes themselves (the receipts' file lock, the ordered
// thread). Temporary names are unique across threads and processes through exclusive
// creation, the process id and the clock.
namespace zorvaplugins::zorvamanager::install::safefile
{

// Names the temporary file for one attempt at replacing `target`.
using TemporaryNamer = std::filesystem::path (*) (const std::filesystem::path& target, std::uint32_t attempt);

// Exclusive creation of a temporary file is tried this many times.
constexpr std::uint32_t temporaryAttempts = 128;

// True when `path` itself (not a link's target) is a regular file; otherwise error =
// "source is not a regular file: " + path.
bool isSafeSourceFile (const std::filesystem::path& path, std::string& error);

// Writes all `size` bytes, retrying writes interrupted by a signal.
bool writeAll (int descriptor, const void* data, std::uint64_t size, std::string& error);

// True when `link` is a symbolic link whose value, resolved against the link's folder when it is
// relative, is lexically `target`. No access to `target`: it need not exist.
bool commandLinkPointsTo (const std::filesystem::path& link, const std::filesystem::path& target);

// The hidden temporary name beside `target`:
// "." + name + "." + process id + "." + steady clock in ns + "." + attempt + ".tmp".
std::filesystem::path temporaryPathFor (const std::filesystem::path& target, std::uint32_t attempt);

// Flushes a directory's entries to disk.
bool fsyncDirectory (const std::filesystem::path& directory, std::string& error);

// Creates the directory and its parents as needed; true only when it ends up a real directory,
// not a symbolic link to one.
bool ensureDirectory (const std::filesystem::path& directory, std::string& error);

// True when `path` is missing or a regular file (not a link).
bool isReplaceableRegularFileOrMissing (const std::filesystem::path& path, std::string& error);

// Copies `source` (which must not be a link) into a new temporary file beside `target` with
// `mode` (less the umask), flushes it, renames it onto `target` and flushes the folder. Streams
// through one 64 KiB buffer. `target` is the complete old or the complete new file at any moment.
// `namer` exists so that tests can provoke name collisions.
bool replaceFromFileAtomically (const std::filesystem::path& source,
                                const std::filesystem::path& target,
                                unsigned mode,
                                std::string& error,
                                TemporaryNamer namer = temporaryPathFor);

// The same from memory: `bytes` become the complete new `target` with `mode` (less the umask).
// `noun` names the file in failure texts ("cannot replace " + noun + ": " + reason).
bool writeFileAtomically (const std::filesystem::path& target,
                          const std::string& bytes,
                          unsigned mode,
                          const std::string& noun,
                          std::string& error,
                          TemporaryNamer namer = temporaryPathFor);

// writeFileAtomically for the desktop entry, with mode 0644, reporting failures in the desktop
// entry's own words.
bool writeDesktopEntryAtomically (const std::filesystem::path& target,
                                  const std::string& text,
                                  std::string& error,
                                  TemporaryNamer namer = temporaryPathFor);

// Outcome of removing a file.
struct FileRemoval
{
    bool ok = false;
    std::string error;    // empty when ok
    bool removed = false; // the file was there and is gone
};

// Removes `path` when it is a regular file; a missing path and anything else (a link, a
// folder) are left alone and count as success with nothing removed.
FileRemoval removeRegularFile (const std::filesystem::path& path);

// True when the file contains the integration marker anywhere. The file is not opened through
// a final symbolic link; callers check beforehand that it is a regular file.
bool desktopEntryIsOurs (const std::filesystem::path& path);

// True when the file starts with the ELF magic followed, at offsets 8 to 10, by "AI" and the
// AppImage type 2. The file is not opened through a final symbolic link.
bool hasAppImageHeader (const std::filesystem::path& path);

} // namespace zorvaplugins::zorvamanager::install::safefile
