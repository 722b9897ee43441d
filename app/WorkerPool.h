#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The one owner of the program's worker threads and of the way back from them. A job runs on
// one of four pool threads with what it was given; its result, and any progress it posts,
// come back to the message thread through posted calls that first check that the pool still
// exists, so nothing arrives after its owner is gone.
//
// Besides the four, two threads run short jobs (product pictures) that must not wait behind
// installs, and one ordered thread writes the files the program keeps (receipts,
// settings) one after the other: their writes wait for the disk (a flush before the rename),
// and with packages being unpacked at the same time that wait can last a third of a second,
// which the window must not spend frozen.
//
// Destroying the pool raises its cancel flag, which every step of a job watches (a transfer
// stops within about a second, the digest, the layout walk and the copies within 64 KiB of
// work), and then waits for the running jobs to return, for as long as that takes: a thread is
// never killed, so no job is ever stopped half-way through putting a bundle in place or
// filing its receipt. Jobs still queued never start. Queued writes are never dropped: they
// are all done before the pool goes. Message thread, except where stated.
class WorkerPool
{
public:
    WorkerPool();
    ~WorkerPool();

    // The flag that jobs hand to their transfers and check between steps. Any thread.
    const std::atomic<bool>* cancelFlag() const { return cancelled.get(); }

    // Posts a call to the message thread that runs only while the pool exists. Any thread.
    using Poster = std::function<void (std::function<void()>)>;
    Poster poster();

    // Queues `work` on a pool thread; `done` receives its result on the message thread.
    template <typename Result>
    void run (std::function<Result()> work, std::function<void (Result)> done)
    {
        pool.addJob (makeJob (std::move (work), std::move (done), true));
    }

    // Queues short `work` (a product picture) on two threads of its own, so that it never waits
    // behind installs; `done` receives its result on the message thread.
    template <typename Result>
    void runShort (std::function<Result()> work, std::function<void (Result)> done)
    {
        shortJobs.addJob (makeJob (std::move (work), std::move (done), true));
    }

    // Queues `work` behind the earlier ones on the ordered thread; `done` receives its result
    // on the message thread.
    template <typename Result>
    void runInOrder (std::function<Result()> work, std::function<void (Result)> done)
    {
        ordered.addJob (makeJob (std::move (work), std::move (done), false));
    }

    // Jobs and writes whose results have not come back yet.
    int jobCount() const { return pending; }

private:
    template <typename Result>
    std::function<void()> makeJob (std::function<Result()> work, std::function<void (Result)> done, bool lowPriority)
    {
        ++pending;
        auto post = poster();
        juce::WeakReference<WorkerPool> self (this);

        return [work = std::move (work), done = std::move (done), post, self, lowPriority]() mutable {
            if (lowPriority)
                yieldToTheWindow();

            auto result = std::make_shared<Result> (work());
            post ([done = std::move (done), result, self] {
                --self->pending;
                done (std::move (*result));
            });
        };
    }

    // Lowers the calling pool thread's scheduling priority, once per thread: four jobs that
    // digest, unpack and copy packages on a two-core machine would otherwise keep the message
    // thread waiting for a processor, and the window would stutter. Pool thread.
    static void yieldToTheWindow();

    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>> (false);
    int pending = 0; // message thread
    // Plain threads that run queued calls in order of queuing. The destructor either drops the
    // calls not yet started or runs them all, then joins its threads.
    class Threads
    {
    public:
        Threads (int count, bool finishQueuedCalls);
        ~Threads();
        void addJob (std::function<void()> call);

    private:
        void runCalls();

        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> calls;
        bool stopping = false;
        const bool finishQueued;
        std::vector<std::thread> threads;
    };

    // Declared in this order so that the jobs end before the last writes are waited for.
    Threads ordered { 1, true };
    Threads pool { 4, false };
    Threads shortJobs { 2, false };

    JUCE_DECLARE_WEAK_REFERENCEABLE (WorkerPool)
    JUCE_DECLARE_NON_COPYABLE (WorkerPool)
};
