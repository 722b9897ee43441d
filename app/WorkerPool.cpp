#include "WorkerPool.h"

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
