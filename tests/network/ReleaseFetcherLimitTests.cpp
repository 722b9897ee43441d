#include "FetcherTestSupport.h"

#include <string>
#include <vector>

namespace
{

using namespace fetchertest;

// The byte limit of TransferControl against bodies of every framing, and servers that lie
// about the size.
class ReleaseFetcherLimits : public ReleaseFetcherService
{
protected:
    static TransferControl limitedTo (std::uint64_t limit)
    {
        TransferControl control;
        control.maxBodyBytes = limit;
        return control;
    }

    // A limit, and a safety net that stops the transfer with another error once far more than
    // the limit has arrived: a broken limit then fails the test instead of filling memory or
    // disk with an endless body.
    static TransferControl limitedWithSafetyNet (std::uint64_t limit)
    {
        auto control = limitedTo (limit);
        control.onProgress = [limit] (std::uint64_t received, std::uint64_t) {
            if (received > 8 * limit)
                throw std::runtime_error ("limit not enforced");
        };
        return control;
    }

    // Fetches and downloads `path` under `limit`, expecting both to fail on the limit, and
    // returns the number of bytes the download had written.
    std::uint64_t expectRefused (const std::string& path, const TransferControl& control)
    {
        const auto limit = control.maxBodyBytes;

        const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, control);
        EXPECT_FALSE (fetched.ok);
        EXPECT_EQ (fetched.error, tooLargeText (limit));
        EXPECT_TRUE (fetched.body.empty());

        const auto file = temp / "limited.bin";
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (path), file, 30, control);
        EXPECT_FALSE (downloaded.ok);
        EXPECT_EQ (downloaded.error, tooLargeText (limit));
        EXPECT_LE (downloaded.bytesWritten, limit);
        EXPECT_FALSE (fs::exists (file));
        return downloaded.bytesWritten;
    }
};

TEST_F (ReleaseFetcherLimits, ExactLimitPassesOneByteMoreFailsWhateverTheFraming)
{
    struct Case
    {
        std::string prefix;
        bool declared; // a declared length is refused before the first body byte
    };

    const std::vector<Case> framings {
        { "/test/bytes/", true },    // Content-Length
        { "/test/chunked/", false }, // chunked encoding
        { "/test/unsized/", false }, // ends with the connection
    };

    for (const auto& framing : framings)
    {
        // One write callback's worth, and many of them.
        for (const std::size_t size : { 10, 300000 })
        {
            const auto path = framing.prefix + std::to_string (size);
            SCOPED_TRACE (path);

            const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, limitedTo (size));
            ASSERT_TRUE (fetched.ok) << fetched.error;
            EXPECT_EQ (fetched.body, serviceBytes (size));

            const auto file = temp / "exact.bin";
            const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (path), file, 30, limitedTo (size));
            ASSERT_TRUE (downloaded.ok) << downloaded.error;
            EXPECT_EQ (downloaded.bytesWritten, size);
            EXPECT_EQ (zorvatest::readFile (file), serviceBytes (size));

            const auto written = expectRefused (path, limitedTo (size - 1));

            if (framing.declared)
            {
                EXPECT_EQ (written, 0u);
            }
        }
    }
}

TEST_F (ReleaseFetcherLimits, EndlessBodyStopsAtTheLimit)
{
    for (const auto* path : { "/test/endless", "/test/endless-chunked" })
    {
        SCOPED_TRACE (path);
        constexpr std::uint64_t limit = 1048576;

        const auto written = expectRefused (path, limitedWithSafetyNet (limit));

        // The download got as far as the limit allows before refusing the rest.
        EXPECT_GT (written, limit / 2);
    }
}

TEST_F (ReleaseFetcherLimits, DeclaredLengthAboveTheLimitIsRefusedBeforeTheBody)
{
    constexpr std::uint64_t limit = 4096;

    // Each would fail otherwise: with a partial body, a stall until the time limit, or not at
    // all within the limit's reach.
    for (const std::string path : { "/test/declared/4097/0", "/test/declared/1000000000000/5000", "/test/stall/60" })
    {
        SCOPED_TRACE (path);
        EXPECT_EQ (expectRefused (path, limitedTo (limit)), 0u);
    }
}

// libcurl ends a body at its Content-Length; the bytes sent after it are no part of the
// response and never reach the caller, whatever the limit.
TEST_F (ReleaseFetcherLimits, BytesSentPastTheDeclaredLengthAreDropped)
{
    const std::string path = "/test/declared/1000/500000";

    const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, limitedTo (2000));
    ASSERT_TRUE (fetched.ok) << fetched.error;
    EXPECT_EQ (fetched.body, serviceBytes (1000));

    const auto file = temp / "declared.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (path), file, 30, limitedTo (2000));
    ASSERT_TRUE (downloaded.ok) << downloaded.error;
    EXPECT_EQ (downloaded.bytesWritten, 1000u);
    EXPECT_EQ (zorvatest::readFile (file), serviceBytes (1000));

    // The same without a limit, then a plain transfer: the surplus on the old connection
    // must not turn up at the start of the next body.
    const auto unlimited = ReleaseFetcher::fetchHttps (url (path), 30);
    ASSERT_TRUE (unlimited.ok) << unlimited.error;
    EXPECT_EQ (unlimited.body, serviceBytes (1000));
    const auto next = ReleaseFetcher::fetchHttps (url ("/test/bytes/3000"), 30);
    ASSERT_TRUE (next.ok) << next.error;
    EXPECT_EQ (next.body, serviceBytes (3000));
}

TEST_F (ReleaseFetcherLimits, BodyShorterThanDeclaredIsAPartialFailure)
{
    const std::string path = "/test/declared/5000/1000";

    const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, limitedTo (10000));
    EXPECT_FALSE (fetched.ok);
    EXPECT_EQ (fetched.error, partialText);
    EXPECT_TRUE (fetched.body.empty());

    const auto file = temp / "short.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (path), file, 30, limitedTo (10000));
    EXPECT_FALSE (downloaded.ok);
    EXPECT_EQ (downloaded.error, partialText);
    EXPECT_FALSE (fs::exists (file));
}

TEST_F (ReleaseFetcherLimits, EmptyBodiesPassAnyLimit)
{
    for (const auto* path : { "/test/204", "/test/bytes/0", "/test/chunked/0" })
    {
        SCOPED_TRACE (path);

        const auto fetched = ReleaseFetcher::fetchHttps (url (path), 30, limitedTo (1));
        EXPECT_TRUE (fetched.ok) << fetched.error;
        EXPECT_TRUE (fetched.body.empty());

        const auto file = temp / "empty.bin";
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (path), file, 30, limitedTo (1));
        EXPECT_TRUE (downloaded.ok) << downloaded.error;
        EXPECT_EQ (downloaded.bytesWritten, 0u);
        EXPECT_TRUE (fs::exists (file));
    }
}

} // namespace
