#include "package/IsolatedExtractor.h"

#include "package/UnpackHelper.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zorvaplugins::zorvamanager::package
{

namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How often the cancel flag is looked at while the helper works.
constexpr int pollIntervalMs = 50;
// The largest result record: a message of the extractor with a long path in it.
constexpr std::size_t maxRecordBytes = 1 << 16;

ExtractResult failure (std::string message)
{
    return { false, std::move (message) };
}

class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor (int descriptor)
        : fd (descriptor)
    {}
    ~FileDescriptor() { reset(); }
    FileDescriptor (const FileDescriptor&) = delete;
    FileDescriptor& operator= (const FileDescriptor&) = delete;

    int get() const { return fd; }

    void reset()
    {
        if (fd >= 0)
            ::close (fd);

        fd = -1;
    }

private:
    int fd = -1;
};

// The running helper: killed and reaped when it leaves scope without having been waited for.
class Child
{
public:
    Child() = default;
    ~Child()
    {
        if (pid > 0)
        {
            ::kill (pid, SIGKILL);
            waitForExit();
        }
    }

    Child (const Child&) = delete;
    Child& operator= (const Child&) = delete;

    pid_t* target() { return &pid; }

    void kill() const { ::kill (pid, SIGKILL); }

    // The wait status; the child is gone afterwards.
    int waitForExit()
    {
        int status = 0;

        while (::waitpid (pid, &status, 0) < 0 && errno == EINTR)
        {}

        pid = -1;
        return status;
    }

private:
    pid_t pid = -1;
};

class SpawnActions
{
public:
    SpawnActions() { ok = ::posix_spawn_file_actions_init (&actions) == 0; }
    ~SpawnActions()
    {
        if (ok)
            ::posix_spawn_file_actions_destroy (&actions);
    }

    SpawnActions (const SpawnActions&) = delete;
    SpawnActions& operator= (const SpawnActions&) = delete;

    bool ok = false;
    posix_spawn_file_actions_t actions {};
};

class SpawnAttributes
{
public:
    SpawnAttributes() { ok = ::posix_spawnattr_init (&attributes) == 0; }
    ~SpawnAttributes()
    {
        if (ok)
            ::posix_spawnattr_destroy (&attributes);
    }

    SpawnAttributes (const SpawnAttributes&) = delete;
    SpawnAttributes& operator= (const SpawnAttributes&) = delete;

    bool ok = false;
    posix_spawnattr_t attributes {};
};

bool cancelled (const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

// The helper's record, read until it closes its end; false when it was stopped first.
enum class Ending
{
    closed,
    cancelled,
    timedOut,
    oversized
};

Ending readRecord (int fd, const std::atomic<bool>* cancel, Clock::time_point deadline, std::string& record)
{
    char buffer[4096];

    for (;;)
    {
        if (cancelled (cancel))
            return Ending::cancelled;

        const auto now = Clock::now();

        if (now >= deadline)
            return Ending::timedOut;

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - now).count();
        pollfd watched { fd, POLLIN, 0 };
        const auto ready = ::poll (&watched, 1, static_cast<int> (std::min<long long> (left + 1, pollIntervalMs)));

        if (ready < 0 && errno != EINTR)
            return Ending::closed;

        if (ready <= 0)
            continue;

        const auto count = ::read (fd, buffer, sizeof (buffer));

        if (count < 0 && errno == EINTR)
            continue;

        if (count <= 0)
            return Ending::closed;

        record.append (buffer, static_cast<std::size_t> (count));

        if (record.size() > maxRecordBytes)
            return Ending::oversized;
    }
}

ExtractResult resultOf (int status, const std::string& record)
{
    const auto unexpected = failure ("package unpacking helper ended unexpectedly");

    if (WIFSIGNALED (status) && WTERMSIG (status) == SIGXCPU)
        return failure ("package unpacking exceeded its time limit");

    if (! WIFEXITED (status) || WEXITSTATUS (status) != 0 || record.empty())
        return unexpected;

    switch (record.front())
    {
        case UnpackHelper::extracted:
            return record.size() == 1 ? ExtractResult { true, {} } : unexpected;

        case UnpackHelper::failed:
            return failure (record.substr (1));

        case UnpackHelper::memoryLimit:
            return failure ("package unpacking exceeded its memory limit");

        default:
            return unexpected;
    }
}

} // namespace

std::filesystem::path IsolatedExtractor::helperBesideProgram()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink ("/proc/self/exe", error);

    if (error || executable.empty())
        return {};

    return executable.parent_path() / "zorvamanager-unpack";
}

UnpackLimits IsolatedExtractor::limitsFor (std::uint64_t archiveBytes)
{
    constexpr std::uint64_t step = 20u << 20;
    UnpackLimits limits;
    limits.wallClock += std::chrono::seconds ((archiveBytes + step - 1) / step);
    return limits;
}

ExtractResult IsolatedExtractor::extractToDirectory (const fs::path& helper,
                                                     const fs::path& archivePath,
                                                     const fs::path& destination,
                                                     const std::atomic<bool>* cancel)
{
    std::error_code ec;
    const auto size = fs::file_size (archivePath, ec);
    return extractToDirectory (helper, archivePath, destination, cancel, limitsFor (ec ? 0 : size));
}

ExtractResult IsolatedExtractor::extractToDirectory (const fs::path& helper,
                                                     const fs::path& archivePath,
                                                     const fs::path& destination,
                                                     const std::atomic<bool>* cancel,
                                                     const UnpackLimits& limits)
{
    try
    {
        if (helper.empty() || ::access (helper.c_str(), X_OK) != 0)
            return failure ("package unpacking helper not found: " + helper.string());

        if (cancelled (cancel))
            return failure ("package unpacking was cancelled");

        int ends[2] = { -1, -1 };

        if (::pipe2 (ends, O_CLOEXEC) != 0)
            return failure (std::string ("cannot start package unpacking helper: ") + std::strerror (errno));

        FileDescriptor readEnd (ends[0]);
        FileDescriptor writeEnd (ends[1]);

        // The helper gets no descriptor of this process but the pipe as its standard output:
        // the window's process holds sockets and files that must not live on in it.
        SpawnActions actions;
        SpawnAttributes attributes;
        sigset_t none;
        sigset_t all;
        ::sigemptyset (&none);
        ::sigfillset (&all);

        if (! actions.ok || ! attributes.ok ||
            ::posix_spawn_file_actions_addopen (&actions.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0 ||
            ::posix_spawn_file_actions_adddup2 (&actions.actions, writeEnd.get(), STDOUT_FILENO) != 0 ||
            ::posix_spawn_file_actions_addclosefrom_np (&actions.actions, STDERR_FILENO + 1) != 0 ||
            ::posix_spawnattr_setsigmask (&attributes.attributes, &none) != 0 ||
            ::posix_spawnattr_setsigdefault (&attributes.attributes, &all) != 0 ||
            ::posix_spawnattr_setflags (&attributes.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0)
            return failure ("cannot start package unpacking helper: cannot prepare the process");

        const auto cpuSeconds = std::chrono::duration_cast<std::chrono::seconds> (limits.wallClock).count() + 1;
        std::vector<std::string> arguments { helper.string(),
                                             archivePath.string(),
                                             destination.string(),
                                             std::to_string (limits.addressSpaceMiB),
                                             std::to_string (cpuSeconds) };
        std::vector<char*> argv;

        for (auto& argument : arguments)
            argv.push_back (argument.data());

        argv.push_back (nullptr);

        const auto start = Clock::now();
        Child child;

        if (const auto error =
                ::posix_spawn (child.target(), helper.c_str(), &actions.actions, &attributes.attributes, argv.data(), environ);
            error != 0)
        {
            *child.target() = -1;
            return failure (std::string ("cannot start package unpacking helper: ") + std::strerror (error));
        }

        // Only the helper holds the write end now, so the pipe reads end of file when it is gone.
        writeEnd.reset();

        std::string record;
        const auto ending = readRecord (readEnd.get(), cancel, start + limits.wallClock, record);

        if (ending != Ending::closed)
            child.kill();

        const auto status = child.waitForExit();

        switch (ending)
        {
            case Ending::cancelled:
                return failure ("package unpacking was cancelled");

            case Ending::timedOut:
                return failure ("package unpacking exceeded its time limit");

            case Ending::oversized:
                return failure ("package unpacking helper ended unexpectedly");

            case Ending::closed:
                break;
        }

        return resultOf (status, record);
    }
    catch (const std::exception& error)
    {
        return failure (std::string ("cannot start package unpacking helper: ") + error.what());
    }
}

} // namespace zorvaplugins::zorvamanager::package
