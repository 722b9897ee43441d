#include "package/UnpackHelper.h"

#include "package/ArchiveExtractor.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <new>
#include <string_view>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace zorvaplugins::zorvamanager::package
{

namespace
{

std::atomic<bool> allocationRefused { false };

bool parseCount (const char* text, std::uint64_t& value)
{
    const std::string_view view (text);
    const auto [end, error] = std::from_chars (view.data(), view.data() + view.size(), value);
    return error == std::errc() && end == view.data() + view.size() && value > 0;
}

bool limit (int resource, rlim_t value)
{
    const rlimit bound { value, value };
    return ::setrlimit (resource, &bound) == 0;
}

bool writeAll (int fd, const std::string& record)
{
    std::size_t written = 0;

    while (written < record.size())
    {
        const auto count = ::write (fd, record.data() + written, record.size() - written);

        if (count < 0 && errno == EINTR)
            continue;

        if (count <= 0)
            return false;

        written += static_cast<std::size_t> (count);
    }

    return true;
}

} // namespace

void UnpackHelper::noteRefusedAllocation() noexcept
{
    allocationRefused.store (true, std::memory_order_relaxed);
}

int UnpackHelper::run (int argc, const char* const* argv)
{
    std::uint64_t addressSpaceMiB = 0;
    std::uint64_t cpuSeconds = 0;

    if (argc != 5 || ! parseCount (argv[3], addressSpaceMiB) || ! parseCount (argv[4], cpuSeconds))
        return usageStatus;

    // The job that started the helper waits for it; should that thread go, the helper goes too.
    ::prctl (PR_SET_PDEATHSIG, SIGKILL);

    // The CPU limit is the parent's wall-clock limit again, a backstop should the parent be
    // stopped; SIGKILL follows SIGXCPU one second later if the soft limit is ignored.
    if (! limit (RLIMIT_AS, static_cast<rlim_t> (addressSpaceMiB) << 20) || ! limit (RLIMIT_CPU, static_cast<rlim_t> (cpuSeconds)) ||
        ! limit (RLIMIT_CORE, 0))
        return usageStatus;

    std::string record;

    try
    {
        const auto result = ArchiveExtractor::extractToDirectory (argv[1], argv[2]);

        if (result.ok)
            record.assign (1, extracted);
        else if (allocationRefused.load (std::memory_order_relaxed))
            record.assign (1, memoryLimit);
        else
            record = failed + result.error;
    }
    catch (const std::bad_alloc&)
    {
        record.assign (1, memoryLimit);
    }
    catch (const std::exception& error)
    {
        try
        {
            record =
                allocationRefused.load (std::memory_order_relaxed) ? std::string (1, memoryLimit) : failed + std::string (error.what());
        }
        catch (...)
        {
            record.assign (1, memoryLimit);
        }
    }
    catch (...)
    {
        return usageStatus + 1;
    }

    return writeAll (STDOUT_FILENO, record) ? 0 : usageStatus + 1;
}

} // namespace zorvaplugins::zorvamanager::package
