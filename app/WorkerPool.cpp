#include "WorkerPool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{
// Running jobs stop their transfers within about a second of the cancel flag; a job that is
// already past its download (verifying, extracting, installing) finishes its step.
constexpr int shutdownWaitMs = 10000;
} // namespace

WorkerPool::WorkerPool() = default;

WorkerPool::~WorkerPool()
{
    cancelled->store (true);
    pool.removeAllJobs (true, shutdownWaitMs);

    // Writes already asked for are finished, never dropped: a receipt lost here would leave an
    // installed product the program no longer remembers.
    for (auto waited = 0; ordered.getNumJobs() > 0 && waited < shutdownWaitMs; waited += 5)
        juce::Thread::sleep (5);
}

void WorkerPool::yieldToTheWindow()
{
    // On Linux a nice value belongs to the thread (and to the threads it starts, such as
    // libcurl's resolver). The framework's own low priority does nothing here, and its
    // background priority (an idle scheduling class) could stall installs on a busy machine.
    thread_local const auto lowered = ::setpriority (PRIO_PROCESS, static_cast<id_t> (::syscall (SYS_gettid)), 10);
    static_cast<void> (lowered);
}

WorkerPool::Poster WorkerPool::poster()
{
    juce::WeakReference<WorkerPool> self (this);

    return [self] (std::function<void()> call) {
        juce::MessageManager::callAsync ([self, call = std::move (call)] {
            if (self != nullptr)
                call();
        });
    };
}
