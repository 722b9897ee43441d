#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zorvaplugins::zorvamanager::cli
{

// Runs work one item after another, in the order it was added, on a thread of its own: the
// completions of the jobs (the receipt writes, each flushed to disk, and their log lines), so
// that a worker goes on to its next product instead of waiting for the disk, as the window's
// workers do. The destructor runs everything still queued and then ends the thread. Any
// thread may add work.
class SerialQueue
{
public:
    SerialQueue();
    ~SerialQueue();

    SerialQueue (const SerialQueue&) = delete;
    SerialQueue& operator= (const SerialQueue&) = delete;

    void add (std::function<void()> work);

private:
    void run();

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::function<void()>> queue;
    bool closing = false;
    std::thread thread;
};

} // namespace zorvaplugins::zorvamanager::cli
