#include "cli/SerialQueue.h"

namespace zorvaplugins::zorvamanager::cli
{

SerialQueue::SerialQueue()
    : thread ([this] { run(); })
{
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard<std::mutex> guard (lock);
        closing = true;
    }

    changed.notify_one();
    thread.join();
}

void SerialQueue::add (std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> guard (lock);
        queue.push_back (std::move (work));
    }

    changed.notify_one();
}

void SerialQueue::run()
{
    for (;;)
    {
        std::function<void()> work;

        {
            std::unique_lock<std::mutex> guard (lock);
            changed.wait (guard, [this] { return closing || ! queue.empty(); });

            if (queue.empty())
                return;

            work = std::move (queue.front());
            queue.pop_front();
        }

        work();
    }
}

} // namespace zorvaplugins::zorvamanager::cli
