#include "WorkerPool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

WorkerPool::WorkerPool() = default;

WorkerPool::~WorkerPool()
{
    // The members then go in reverse order: the job threads are joined (each running job
    // returns promptly once it sees the flag), then the ordered thread finishes every write
    // already asked for and is joined.
    cancelled->store (true);
}

WorkerPool::Threads::Threads (int count, bool finishQueuedCalls)
    : finishQueued (finishQueuedCalls)
{
    for (auto i = 0; i < count; ++i)
        threads.emplace_back ([this] { runCalls(); });
}

WorkerPool::Threads::~Threads()
{
    {
        const std::lock_guard<std::mutex> guard (mutex);
        stopping = true;

        if (! finishQueued)
            calls.clear();
    }

    wake.notify_all();

    for (auto& thread : threads)
        thread.join();
}

void WorkerPool::Threads::addJob (std::function<void()> call)
{
    {
        const std::lock_guard<std::mutex> guard (mutex);
        calls.push_back (std::move (call));
    }

    wake.notify_one();
}

void WorkerPool::Threads::runCalls()
{
    for (;;)
    {
        std::function<void()> call;

        {
            std::unique_lock<std::mutex> guard (mutex);
            wake.wait (guard, [this] { return stopping || ! calls.empty(); });

            if (calls.empty())
                return;

            call = std::move (calls.front());
            calls.pop_front();
        }

        call();
    }
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
