#pragma once

#include <atomic>
#include <filesystem>
#include <string>

// The file work under an installed plug-in bundle's name: durable copies made under names unique
// to one job, and replacements and removals that leave the final name holding either the whole
// old bundle or the whole new one, whatever moment the process is stopped at. The names used
// on the way ("<bundle>.<pid>-<n>.zorvamanager-tmp", "<bundle>.<pid>-<n>.zorvamanager-old")
// have no plug-in extension, so no scan or host takes them for plug-ins. Callers hold the
// bundle's lock (bundleLockFile) around all of it. Any thread; never throws.
namespace zorvaplugins::zorvamanager::install::bundlefiles
{

extern const char* const temporarySuffix; // ".zorvamanager-tmp"
extern const char* const asideSuffix;     // ".zorvamanager-old"

// A name beside `bundle` that no other job of any process uses: the bundle's name, ".", the
// process id, "-", a number counted per process, then `suffix`.
std::filesystem::path uniqueNameBeside (const std::filesystem::path& bundle, const char* suffix);

// Removes what stopped jobs left beside `bundle` (its temporary and set-aside copies, and the
// fixed temporary name of earlier versions). Only safe under the bundle's lock. Best effort.
void removeLeftovers (const std::filesystem::path& bundle);

// Copies the tree (folders and regular files only; a link fails the copy) at `source` to the
// new name `destination` (through the kernel's copy where the file system allows). Checks
// `cancel` before every entry and every 64 KiB ("cancelled"). On failure `error` holds the
// reason and whatever was made at `destination` is removed.
bool copyDurably (const std::filesystem::path& source,
                  const std::filesystem::path& destination,
                  const std::atomic<bool>* cancel,
                  std::string& error);

// Waits until everything written to the file system that holds `folder` is on disk
// (syncfs): called after the copies and before they are renamed into place, so that a power
// cut after the rename cannot leave a short or empty file under the final name.
bool flushFileSystem (const std::filesystem::path& folder, std::string& error);

// Puts the complete tree at `replacement` under the name `bundle` in one atomic step: an
// existing bundle is exchanged with it (it is then at `replacement` and is removed), a missing
// one is simply named. The folder is flushed afterwards. At no moment does `bundle` name
// nothing or a mixture. Not interruptible (it takes two renames at most).
bool putInPlace (const std::filesystem::path& replacement, const std::filesystem::path& bundle, std::string& error);

// Renames `bundle` aside to a unique name in one atomic step, flushes the folder and then
// deletes the set-aside tree. The bundle is gone from its name at once; if the process is
// stopped during the delete, the rest goes with the next removeLeftovers.
bool removeWhole (const std::filesystem::path& bundle, std::string& error);

// Removes a tree without ever following a link (remove_all); errors are ignored.
void removeQuietly (const std::filesystem::path& path);

} // namespace zorvaplugins::zorvamanager::install::bundlefiles
