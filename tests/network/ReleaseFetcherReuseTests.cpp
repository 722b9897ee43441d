#include "FetcherTestSupport.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace fetchertest;

// One libcurl handle per thread, kept from one transfer to the next: its connections are
// reused, but nothing of one transfer's options, and no weaker verification, may carry over.
// Each test runs its transfers on threads of its own, so that what earlier tests left on the
// test thread does not matter.
class ReleaseFetcherReuse : public ReleaseFetcherService
{
protected:
    std::string peer() const
    {
        const auto answer = ReleaseFetcher::fetchHttps (url ("/test/peer"), 20);
        EXPECT_TRUE (answer.ok) << answer.error;
        return answer.body;
    }

    // A plain fetch and download of a body longer than any limit used before it; reports
    // what went wrong, empty when nothing did.
    std::string plainTransfersWork (const std::string& name) const
    {
        const auto fetched = ReleaseFetcher::fetchHttps (url ("/test/bytes/300000"), 30);

        if (! fetched.ok || fetched.body != serviceBytes (300000))
            return name + ": fetch failed: " + fetched.error;

        const auto file = temp / (name + ".bin");
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/300001"), file, 30);

        if (! downloaded.ok || zorvatest::readFile (file) != serviceBytes (300001))
            return name + ": download failed: " + downloaded.error;

        return {};
    }
};

// Waits until both of two threads have arrived.
class Meeting
{
public:
    void arriveAndWait()
    {
        std::unique_lock<std::mutex> lock (mutex);
        ++arrived;
        changed.notify_all();
        changed.wait (lock, [this] { return arrived >= 2; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int arrived = 0;
};

TEST_F (ReleaseFetcherReuse, ConnectionIsReusedWithinAThreadButNeverShared)
{
    // Both threads hold their connections open at the same time, so the service sees two
    // different client ports unless a connection were shared.
    Meeting meeting;
    std::string first[2];
    std::string second[2];

    const auto work = [&] (int index) {
        first[index] = peer();
        ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/5000"), temp / ("t" + std::to_string (index)), 20);
        meeting.arriveAndWait();
        second[index] = peer();
    };

    std::thread one (work, 0);
    std::thread two (work, 1);
    one.join();
    two.join();

    EXPECT_FALSE (first[0].empty());
    EXPECT_EQ (first[0], second[0]);
    EXPECT_EQ (first[1], second[1]);
    EXPECT_NE (first[0], first[1]);
}

TEST_F (ReleaseFetcherReuse, ManyTransfersOnEachThreadGetTheirOwnBodies)
{
    constexpr int threadCount = 4;
    constexpr int transfersPerThread = 24;
    std::mutex mutex;
    std::vector<std::string> problems;

    const auto report = [&] (const std::string& problem) {
        const std::lock_guard<std::mutex> lock (mutex);
        problems.push_back (problem);
    };

    const auto work = [&] (int threadIndex) {
        for (int i = 0; i < transfersPerThread; ++i)
        {
            const auto size = static_cast<std::size_t> (100 + 9973 * threadIndex + 1361 * i);
            const auto path = "/test/bytes/" + std::to_string (size);
            const auto name = "t" + std::to_string (threadIndex) + "-" + std::to_string (i);

            // Successes of both kinds, with and without bounds, between failures that end
            // the connection or leave it open.
            switch (i % 6)
            {
                case 0:
                {
                    const auto result = ReleaseFetcher::fetchHttps (url (path), 60);

                    if (! result.ok || result.body != serviceBytes (size))
                        report (name + ": fetch " + result.error);

                    break;
                }
                case 1:
                {
                    const auto file = temp / (name + ".bin");
                    TransferControl control;
                    control.maxBodyBytes = size;
                    const auto result = ReleaseFetcher::downloadHttpsToFile (url (path), file, 60, control);

                    if (! result.ok || zorvatest::readFile (file) != serviceBytes (size))
                        report (name + ": download " + result.error);

                    break;
                }
                case 2:
                {
                    TransferControl control;
                    control.maxBodyBytes = size - 1;
                    const auto result = ReleaseFetcher::fetchHttps (url ("/test/chunked/" + std::to_string (size)), 60, control);

                    if (result.ok || result.error != tooLargeText (size - 1))
                        report (name + ": over the limit " + result.error);

                    break;
                }
                case 3:
                {
                    std::uint64_t lastCount = 0;
                    TransferControl control;
                    control.onProgress = [&lastCount] (std::uint64_t received, std::uint64_t) { lastCount = received; };
                    const auto result = ReleaseFetcher::fetchHttps (url ("/test/chunked/" + std::to_string (size)), 60, control);

                    if (! result.ok || result.body != serviceBytes (size) || lastCount != size)
                        report (name + ": chunked fetch " + result.error);

                    break;
                }
                case 4:
                {
                    const auto result = ReleaseFetcher::fetchHttps (url ("/test/status/404"), 60);

                    if (result.ok || result.httpStatus != 404)
                        report (name + ": status " + std::to_string (result.httpStatus));

                    break;
                }
                default:
                {
                    const auto result = ReleaseFetcher::fetchHttps (url ("/test/unsized/" + std::to_string (size)), 60);

                    if (! result.ok || result.body != serviceBytes (size))
                        report (name + ": unsized fetch " + result.error);

                    break;
                }
            }
        }
    };

    std::vector<std::thread> threads;

    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back (work, t);

    for (auto& thread : threads)
        thread.join();

    EXPECT_TRUE (problems.empty()) << problems.front();
}

// The reused handle must verify every new connection exactly like a fresh one: a server that
// fails verification, a redirect or a plain-HTTP URL is refused right after a success on the
// same thread, and a success still works after each refusal.
TEST_F (ReleaseFetcherReuse, VerificationStillHoldsAfterASuccessfulTransfer)
{
    const auto wrongHost = environment ("ZORVAMANAGER_TEST_WRONG_HOST_URL");
    const auto untrusted = environment ("ZORVAMANAGER_TEST_UNTRUSTED_URL");
    ASSERT_FALSE (wrongHost.empty());
    ASSERT_FALSE (untrusted.empty());
    const auto redirectToken = uniqueToken ("reused-redirect");

    struct Refusal
    {
        std::string url;
        std::string fetchError;
        std::string downloadError;
    };

    const std::vector<Refusal> refusals {
        { wrongHost + "/test/bytes/10", certificateText, certificateText },
        { untrusted + "/test/bytes/10", certificateText, certificateText },
        { url ("/test/redirect/302/" + redirectToken), "HTTP request failed", "HTTP request failed" },
        { "http" + service.substr (5) + "/test/bytes/10", "release catalogue URL must be HTTPS", "download URL must be HTTPS" },
    };

    const auto problems = onFreshThread ([&] {
        std::vector<std::string> found;

        // A success with every hook set first, so that whatever it leaves behind is there.
        std::atomic<bool> cancel { false };
        TransferControl control;
        control.maxBodyBytes = 1000000;
        control.cancel = &cancel;
        control.onProgress = [] (std::uint64_t, std::uint64_t) {};

        for (int round = 0; round < 2; ++round)
        {
            for (const auto& refusal : refusals)
            {
                const auto success = ReleaseFetcher::fetchHttps (url ("/test/bytes/1000"), 20, control);

                if (! success.ok || success.body != serviceBytes (1000))
                    found.push_back ("success before " + refusal.url + " failed: " + success.error);

                const auto fetched = ReleaseFetcher::fetchHttps (refusal.url, 20);

                if (fetched.ok || fetched.error != refusal.fetchError || ! fetched.body.empty())
                    found.push_back ("fetch " + refusal.url + " gave '" + fetched.error + "'");

                const auto file = temp / "refused.bin";
                const auto downloaded = ReleaseFetcher::downloadHttpsToFile (refusal.url, file, 20, control);

                if (downloaded.ok || downloaded.error != refusal.downloadError || fs::exists (file))
                    found.push_back ("download " + refusal.url + " gave '" + downloaded.error + "'");
            }
        }

        return found;
    });

    for (const auto& problem : problems)
        ADD_FAILURE() << problem;

    EXPECT_FALSE (wasContacted (redirectToken));
}

// Bounds and hooks belong to one transfer: after a transfer that was cancelled, went over its
// limit or lost its progress hook, the next ones on the same thread run unbounded and without
// the old hook (which would otherwise be called, or crash on a dead stack frame).
TEST_F (ReleaseFetcherReuse, TransferAfterAStoppedOneStartsClean)
{
    struct Case
    {
        std::string name;
        std::string path;
        std::uint64_t limit;
        bool cancelEarly;  // cancel flag already set before the call
        bool cancelLater;  // cancel flag set once the body has started
        bool throwInHook;  // the progress hook throws once the body has started
        std::string error; // what the first transfer must give
    };

    const std::vector<Case> cases {
        { "cancelled while stalled", "/test/stall/60", 0, false, true, false, cancelledText },
        { "cancelled before the call", "/test/bytes/10", 0, true, false, false, cancelledText },
        { "endless over its limit", "/test/endless", 100000, false, false, false, tooLargeText (100000) },
        { "declared over its limit", "/test/bytes/100001", 100000, false, false, false, tooLargeText (100000) },
        { "hook threw", "/test/bytes/300000", 0, false, false, true, cancelledText },
    };

    const auto problems = onFreshThread ([&] {
        std::vector<std::string> found;

        for (const auto& c : cases)
        {
            std::atomic<int> hookCalls { 0 };

            {
                Canceller canceller;
                canceller.cancel = c.cancelEarly;
                TransferControl control;
                control.maxBodyBytes = c.limit;
                control.cancel = &canceller.cancel;
                control.onProgress = [&] (std::uint64_t received, std::uint64_t) {
                    ++hookCalls;

                    if (received > 0 && c.cancelLater)
                        canceller.armed = true;

                    if (received > 0 && c.throwInHook)
                        throw std::runtime_error ("hook failed");

                    // Keeps a broken limit from taking in an endless body until the time limit.
                    if (c.limit != 0 && received > 8 * c.limit)
                        throw std::runtime_error ("limit not enforced");
                };

                const auto first = ReleaseFetcher::fetchHttps (url (c.path), 60, control);

                if (first.ok || first.error != c.error)
                    found.push_back (c.name + ": first transfer gave '" + first.error + "'");
            }

            const auto callsBefore = hookCalls.load();
            const auto problem = plainTransfersWork (c.name);

            if (! problem.empty())
                found.push_back (problem);

            if (hookCalls.load() != callsBefore)
                found.push_back (c.name + ": the old progress hook was called again");
        }

        return found;
    });

    for (const auto& problem : problems)
        ADD_FAILURE() << problem;
}

// A transfer started from inside another one's progress hook cannot borrow the thread's
// handle, which is in the middle of the outer transfer.
TEST_F (ReleaseFetcherReuse, TransferStartedFromAProgressHookWorks)
{
    FetchResult inner;
    bool started = false;
    TransferControl control;
    control.onProgress = [&] (std::uint64_t received, std::uint64_t) {
        if (received > 0 && ! started)
        {
            started = true;
            inner = ReleaseFetcher::fetchHttps (url ("/test/bytes/2000"), 20);
        }
    };

    const auto file = temp / "outer.bin";
    std::string afterwards;
    const auto outer = onFreshThread ([&] {
        auto result = ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/300000"), file, 30, control);
        // The thread's own handle serves again once the outer transfer is over.
        afterwards = plainTransfersWork ("after-nested");
        return result;
    });

    ASSERT_TRUE (outer.ok) << outer.error;
    EXPECT_EQ (zorvatest::readFile (file), serviceBytes (300000));
    ASSERT_TRUE (started);
    EXPECT_TRUE (inner.ok) << inner.error;
    EXPECT_EQ (inner.body, serviceBytes (2000));
    EXPECT_EQ (afterwards, "");
}

TEST_F (ReleaseFetcherReuse, ThreadsReleaseTheirHandlesWhenTheyEnd)
{
    // The test thread's own kept connection, if any, stays as it is throughout.
    const auto before = zorvatest::openDescriptorCount();

    std::vector<std::thread> threads;

    for (int t = 0; t < 4; ++t)
        threads.emplace_back ([this] {
            ReleaseFetcher::fetchHttps (url ("/test/bytes/1000"), 20);
            ReleaseFetcher::fetchHttps (environment ("ZORVAMANAGER_TEST_WRONG_HOST_URL") + "/x", 20);
            ReleaseFetcher::fetchHttps (url ("/test/bytes/1000"), 20);
        });

    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ (zorvatest::openDescriptorCount(), before);
}

} // namespace
