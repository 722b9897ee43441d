#pragma once

#include <cstdint>
#include <string>

namespace zorvaplugins::zorvamanager::package
{

// The child side of isolated extraction: what the small helper program (zorvamanager-unpack)
// does between its start and its exit. It is started by IsolatedExtractor as
//
//     zorvamanager-unpack <archive> <destination> <address-space MiB> <cpu seconds>
//
// with its standard output on a pipe, sets its own address-space and CPU-time limits, runs
// ArchiveExtractor::extractToDirectory and writes one result record to standard output:
// 'O' (extracted), 'E' followed by the extractor's message, or 'M' when an allocation was
// refused under the address-space limit. It exits 0 once the record is written; any other end
// is read by the parent as a failure of the helper itself.
class UnpackHelper
{
public:
    UnpackHelper() = delete;

    // Result record kinds.
    static constexpr char extracted = 'O';
    static constexpr char failed = 'E';
    static constexpr char memoryLimit = 'M';

    // Exit status when the arguments are wrong or the limits cannot be set.
    static constexpr int usageStatus = 64;

    // The helper's main. Never throws.
    static int run (int argc, const char* const* argv);

    // Called by the helper's allocator when it refuses a request, so that a failure after it is
    // reported as the memory limit rather than whatever libarchive made of the missing memory.
    // Async-signal-safe.
    static void noteRefusedAllocation() noexcept;
};

} // namespace zorvaplugins::zorvamanager::package
