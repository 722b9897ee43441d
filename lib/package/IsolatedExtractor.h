#pragma once

#include "package/ArchiveExtractor.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>

namespace zorvaplugins::zorvamanager::package
{

// The limits a helper runs under.
struct UnpackLimits
{
    // The extractor streams through small buffers and stays near 10 MiB resident, but some
    // readers reserve far more than they touch: a RAR header may ask for a dictionary of several
    // hundred MiB that is never filled. 1 GiB of address space lets every archive that extracts
    // in-process extract here too, and still ends a buffer that keeps doubling within seconds.
    std::uint64_t addressSpaceMiB = 1024;
    std::chrono::milliseconds wallClock { 30000 };
};

// ArchiveExtractor::extractToDirectory in a child process (the zorvamanager-unpack helper,
// started with posix_spawn), so that a package on which libarchive never returns or keeps
// growing a buffer can be stopped: the helper has an address-space limit and a wall-clock limit,
// and is killed at once when the cancel flag is set. The extractor's own result comes back
// word for word through a pipe. Other ends give one line each:
//   "package unpacking helper not found: " + helper path (no file, or not executable)
//   "cannot start package unpacking helper: " + the system's reason
//   "package unpacking exceeded its memory limit"
//   "package unpacking exceeded its time limit"
//   "package unpacking was cancelled"
//   "package unpacking helper ended unexpectedly" (killed from outside, crashed, bad record)
// The helper is reaped and its pipe closed on every path. What was extracted before a failure
// stays on disk for the caller to remove, as with the in-process extractor.
//
// Blocking; any thread of a process that may have other threads. Never throws.
class IsolatedExtractor
{
public:
    IsolatedExtractor() = delete;

    // "zorvamanager-unpack" in the folder of the running program's executable (usr/bin in the
    // AppDir), where the build and the AppDir put it; empty when the executable's path cannot
    // be read. Any thread.
    static std::filesystem::path helperBesideProgram();

    // 30 s plus 1 s for every started 20 MiB of the archive, and 1 GiB of address space.
    static UnpackLimits limitsFor (std::uint64_t archiveBytes);

    static ExtractResult extractToDirectory (const std::filesystem::path& helper,
                                             const std::filesystem::path& archivePath,
                                             const std::filesystem::path& destination,
                                             const std::atomic<bool>* cancel);

    static ExtractResult extractToDirectory (const std::filesystem::path& helper,
                                             const std::filesystem::path& archivePath,
                                             const std::filesystem::path& destination,
                                             const std::atomic<bool>* cancel,
                                             const UnpackLimits& limits);
};

} // namespace zorvaplugins::zorvamanager::package
