#include "FetcherTestSupport.h"

#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{

using namespace fetchertest;

// The cancel flag of TransferControl, and the progress hook.
class ReleaseFetcherCancel : public ReleaseFetcherService
{
protected:
    // Hands the cancel flag to the transfer and has it raised once `bytes` have arrived.
    static TransferControl cancelling (Canceller& canceller, std::uint64_t bytes)
    {
        TransferControl control;
        control.cancel = &canceller.cancel;
        control.onProgress = [&canceller, bytes] (std::uint64_t received, std::uint64_t) {
            if (received >= bytes)
                canceller.armed = true;
        };
        return control;
    }
};

TEST_F (ReleaseFetcherCancel, CancelledBeforeTheCallNeverConnects)
{
    const std::atomic<bool> cancel { true };
    TransferControl control;
    control.cancel = &cancel;

    const auto token = uniqueToken ("cancelled");
    const auto target = url ("/test/redirect-target/" + token);

    const auto fetched = ReleaseFetcher::fetchHttps (target, 20, control);
    EXPECT_FALSE (fetched.ok);
    EXPECT_EQ (fetched.httpStatus, 0);
    EXPECT_TRUE (fetched.body.empty());
    EXPECT_EQ (fetched.error, cancelledText);

    const auto fresh = temp / "fresh.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (target, fresh, 20, control);
    EXPECT_FALSE (downloaded.ok);
    EXPECT_EQ (downloaded.httpStatus, 0);
    EXPECT_EQ (downloaded.bytesWritten, 0u);
    EXPECT_EQ (downloaded.error, cancelledText);
    EXPECT_FALSE (fs::exists (fresh));

    // Not even truncated: the call gave up before touching it.
    const auto existing = temp / "existing.bin";
    zorvatest::writeFile (existing, "keep me");
    EXPECT_EQ (ReleaseFetcher::downloadHttpsToFile (target, existing, 20, control).error, cancelledText);
    EXPECT_EQ (zorvatest::readFile (existing), "keep me");

    EXPECT_FALSE (wasContacted (token));
}

// Each transfer below would otherwise run into its (long) time limit or take a minute, so the
// cancelled text and the liveness bound both show that the flag stopped it.
TEST_F (ReleaseFetcherCancel, CancelStopsATransferInEveryPhase)
{
    const SilentListener silent;
    const ServedFile package ("slow-package", zorvatest::patternBytes (1000000, 3));

    struct Case
    {
        std::string name;
        std::string url;
        std::uint64_t cancelAfterBytes; // 0: as soon as the transfer reports at all
    };

    const std::vector<Case> cases {
        { "TLS handshake never answered", silent.url(), 0 },
        { "request never answered", url ("/test/silent/60"), 0 },
        { "body stalls", url ("/test/stall/60"), 1000 },
        { "package arrives slowly", url ("/test/throttle/20000/" + package.name), 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);

        {
            Canceller canceller;
            const auto fetched =
                returnsPromptly ([&] { return ReleaseFetcher::fetchHttps (c.url, 90, cancelling (canceller, c.cancelAfterBytes)); });
            EXPECT_FALSE (fetched.ok);
            EXPECT_EQ (fetched.error, cancelledText);
            EXPECT_TRUE (fetched.body.empty());
        }

        {
            Canceller canceller;
            const auto file = temp / "cancelled.bin";
            const auto downloaded = returnsPromptly (
                [&] { return ReleaseFetcher::downloadHttpsToFile (c.url, file, 90, cancelling (canceller, c.cancelAfterBytes)); });
            EXPECT_FALSE (downloaded.ok);
            EXPECT_EQ (downloaded.error, cancelledText);
            EXPECT_GE (downloaded.bytesWritten, c.cancelAfterBytes);
            EXPECT_LT (downloaded.bytesWritten, 1000000u);
            EXPECT_FALSE (fs::exists (file));
        }
    }
}

// A flag with no hook at all is enough: the flag alone turns libcurl's polling on.
TEST_F (ReleaseFetcherCancel, FlagWithoutAProgressHookStopsAStall)
{
    std::atomic<bool> cancel { false };
    TransferControl control;
    control.cancel = &cancel;

    std::thread canceller ([&cancel] {
        std::this_thread::sleep_for (std::chrono::milliseconds (300));
        cancel = true;
    });

    const auto file = temp / "stalled.bin";
    const auto downloaded =
        returnsPromptly ([&] { return ReleaseFetcher::downloadHttpsToFile (url ("/test/stall/60"), file, 90, control); });
    canceller.join();

    EXPECT_FALSE (downloaded.ok);
    EXPECT_EQ (downloaded.error, cancelledText);
    EXPECT_FALSE (fs::exists (file));
}

TEST_F (ReleaseFetcherCancel, ExceptionFromTheProgressHookCancels)
{
    const std::vector<std::pair<std::string, std::function<void()>>> throwers {
        { "std::exception", [] { throw std::runtime_error ("progress display gone"); } },
        { "anything else", [] { throw 42; } },
    };

    for (const auto& [name, raise] : throwers)
    {
        SCOPED_TRACE (name);
        TransferControl control;
        control.onProgress = [&raise] (std::uint64_t received, std::uint64_t) {
            if (received > 0)
                raise();
        };

        const auto fetched = ReleaseFetcher::fetchHttps (url ("/test/bytes/300000"), 30, control);
        EXPECT_FALSE (fetched.ok);
        EXPECT_EQ (fetched.error, cancelledText);
        EXPECT_TRUE (fetched.body.empty());

        const auto file = temp / "thrown.bin";
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/300000"), file, 30, control);
        EXPECT_FALSE (downloaded.ok);
        EXPECT_EQ (downloaded.error, cancelledText);
        EXPECT_FALSE (fs::exists (file));
    }
}

// What the progress hook saw during one transfer.
struct ProgressLog
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    bool onOtherThread = false;

    TransferControl control()
    {
        TransferControl result;
        result.onProgress = [this, caller = std::this_thread::get_id()] (std::uint64_t received, std::uint64_t total) {
            reports.emplace_back (received, total);
            onOtherThread = onOtherThread || std::this_thread::get_id() != caller;
        };
        return result;
    }

    // Counts only ever grow, end at the body's size, and the total, once known, is what the
    // server declared. Returns how many different counts were reported.
    std::size_t check (std::uint64_t size, std::uint64_t declared) const
    {
        EXPECT_FALSE (onOtherThread);
        EXPECT_FALSE (reports.empty());

        std::size_t distinctCounts = 0;
        std::uint64_t previous = 0;

        for (const auto& [received, total] : reports)
        {
            EXPECT_GE (received, previous);
            EXPECT_LE (received, size);

            if (received > 0)
                EXPECT_EQ (total, declared);
            else
                EXPECT_TRUE (total == 0 || total == declared) << total;

            distinctCounts += received != previous ? 1 : 0;
            previous = received;
        }

        EXPECT_EQ (previous, size);
        return distinctCounts;
    }
};

class ReleaseFetcherProgress : public ReleaseFetcherService
{};

TEST_F (ReleaseFetcherProgress, ReportsGrowingCountsAndTheDeclaredTotal)
{
    const ServedFile package ("progress-package", zorvatest::patternBytes (200000, 5));
    const auto path = "/test/throttle/400000/" + package.name;

    ProgressLog fetchLog;
    const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, fetchLog.control());
    ASSERT_TRUE (fetched.ok) << fetched.error;
    EXPECT_EQ (fetched.body, package.content);
    EXPECT_GE (fetchLog.check (200000, 200000), 3u);

    ProgressLog downloadLog;
    const auto file = temp / "package.tar.gz";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (path), file, 30, downloadLog.control());
    ASSERT_TRUE (downloaded.ok) << downloaded.error;
    EXPECT_EQ (zorvatest::readFile (file), package.content);
    EXPECT_GE (downloadLog.check (200000, 200000), 3u);
}

TEST_F (ReleaseFetcherProgress, TotalIsZeroWhenTheServerDeclaresNone)
{
    for (const auto* path : { "/test/chunked/300000", "/test/unsized/300000" })
    {
        SCOPED_TRACE (path);

        ProgressLog log;
        const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, log.control());
        ASSERT_TRUE (fetched.ok) << fetched.error;
        EXPECT_EQ (fetched.body, serviceBytes (300000));
        log.check (300000, 0);
    }
}

} // namespace
