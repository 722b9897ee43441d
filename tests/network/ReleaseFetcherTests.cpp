#include "FetcherTestSupport.h"

#include <sys/statvfs.h>

#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace fetchertest;

// Transfers that need nothing but the fetcher itself: they fail before or at the connection.
class ReleaseFetcherNoService : public ::testing::Test
{
protected:
    zorvatest::TempDir temp;
};

TEST_F (ReleaseFetcherNoService, RefusesAnythingButHttpsBeforeAnyTransfer)
{
    const std::vector<std::string> urls {
        "http://localhost/",   "HTTPS://localhost/",   "Https://localhost/", "", "https:/", "https:",
        " https://localhost/", "ftp://localhost/file", "file:///etc/passwd",
    };

    for (const auto& url : urls)
    {
        SCOPED_TRACE ("url: '" + url + "'");

        const auto fetched = ReleaseFetcher::fetchHttps (url, 5);
        EXPECT_FALSE (fetched.ok);
        EXPECT_EQ (fetched.httpStatus, 0);
        EXPECT_TRUE (fetched.body.empty());
        EXPECT_EQ (fetched.error, "release catalogue URL must be HTTPS");

        const auto fresh = temp / "fresh.bin";
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url, fresh, 5);
        EXPECT_FALSE (downloaded.ok);
        EXPECT_EQ (downloaded.httpStatus, 0);
        EXPECT_EQ (downloaded.bytesWritten, 0u);
        EXPECT_EQ (downloaded.error, "download URL must be HTTPS");
        EXPECT_FALSE (fs::exists (fresh));

        // An existing file at the destination is not even truncated.
        const auto existing = temp / "existing.bin";
        zorvatest::writeFile (existing, "keep me");
        EXPECT_FALSE (ReleaseFetcher::downloadHttpsToFile (url, existing, 5).ok);
        EXPECT_EQ (zorvatest::readFile (existing), "keep me");
    }
}

TEST_F (ReleaseFetcherNoService, UnreachableHostGivesTheConnectionError)
{
    const auto url = "https://127.0.0.1:" + std::to_string (unusedPort()) + "/file";

    const auto fetched = ReleaseFetcher::fetchHttps (url, 10);
    EXPECT_FALSE (fetched.ok);
    EXPECT_EQ (fetched.httpStatus, 0);
    EXPECT_EQ (fetched.error, connectText);

    const auto file = temp / "file.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url, file, 10);
    EXPECT_FALSE (downloaded.ok);
    EXPECT_EQ (downloaded.httpStatus, 0);
    EXPECT_EQ (downloaded.bytesWritten, 0u);
    EXPECT_EQ (downloaded.error, connectText);
    EXPECT_FALSE (fs::exists (file));
}

// libcurl refuses a negative time limit; going ahead without it would mean no limit at all.
TEST_F (ReleaseFetcherNoService, NegativeTimeLimitIsRefusedBeforeConnecting)
{
    const auto url = "https://127.0.0.1:" + std::to_string (unusedPort()) + "/file";
    const std::string badArgument = "A libcurl function was given a bad argument";

    const auto fetched = ReleaseFetcher::fetchHttps (url, -1);
    EXPECT_FALSE (fetched.ok);
    EXPECT_EQ (fetched.error, badArgument);

    const auto file = temp / "file.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url, file, -1);
    EXPECT_FALSE (downloaded.ok);
    EXPECT_EQ (downloaded.error, badArgument);
    EXPECT_FALSE (fs::exists (file));
}

TEST_F (ReleaseFetcherNoService, MissingDestinationFolderFailsWithoutCreatingIt)
{
    const auto file = temp / "missing" / "package.tar.gz";

    // No transfer is attempted, so no service is needed to see this.
    const auto result = ReleaseFetcher::downloadHttpsToFile ("https://127.0.0.1:9/x", file, 5);

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.httpStatus, 0);
    EXPECT_EQ (result.bytesWritten, 0u);
    EXPECT_EQ (result.error, "cannot create download file: " + file.string());
    EXPECT_FALSE (fs::exists (temp / "missing"));
}

TEST_F (ReleaseFetcherService, FetchKeepsTheWholeBody)
{
    const auto result = ReleaseFetcher::fetchHttps (url ("/test/bytes/200000"), 20);

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.httpStatus, 200);
    EXPECT_TRUE (result.error.empty());
    EXPECT_EQ (result.body, serviceBytes (200000));
}

TEST_F (ReleaseFetcherService, FetchesServedFilesByteForByte)
{
    const auto data = fs::path (environment ("ZORVAMANAGER_TEST_SERVICE_DATA"));
    ASSERT_FALSE (data.empty());
    const auto name = uniqueToken ("fetcher") + ".json";
    const auto content = zorvatest::patternBytes (70000, 7) + std::string ("\0\r\n", 3);
    zorvatest::writeFile (data / name, content);

    const auto result = ReleaseFetcher::fetchHttps (url ("/" + name), 20);
    std::error_code ignored;
    fs::remove (data / name, ignored);

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.body, content);
}

TEST_F (ReleaseFetcherService, SendsTheUserAgent)
{
    const auto result = ReleaseFetcher::fetchHttps (url ("/test/echo-agent"), 20);

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.body, "ZorvaManager/1.0");
}

TEST_F (ReleaseFetcherService, DownloadWritesExactlyTheBody)
{
    const auto file = temp / "package.tar.gz";
    zorvatest::writeFile (file, std::string (500000, 'x')); // longer than the body: truncated

    const auto result = ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/300001"), file, 20);

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.httpStatus, 200);
    EXPECT_EQ (result.bytesWritten, 300001u);
    EXPECT_TRUE (result.error.empty());
    EXPECT_EQ (zorvatest::readFile (file), serviceBytes (300001));
}

TEST_F (ReleaseFetcherService, NoContentIsAnEmptySuccess)
{
    const auto fetched = ReleaseFetcher::fetchHttps (url ("/test/204"), 20);
    EXPECT_TRUE (fetched.ok) << fetched.error;
    EXPECT_EQ (fetched.httpStatus, 204);
    EXPECT_TRUE (fetched.body.empty());

    const auto file = temp / "empty.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url ("/test/204"), file, 20);
    EXPECT_TRUE (downloaded.ok) << downloaded.error;
    EXPECT_EQ (downloaded.httpStatus, 204);
    EXPECT_EQ (downloaded.bytesWritten, 0u);
    ASSERT_TRUE (fs::exists (file));
    EXPECT_EQ (fs::file_size (file), 0u);
}

TEST_F (ReleaseFetcherService, StatusOutside2xxFailsAndLeavesNothing)
{
    // Redirects are not followed: the target must never see a request.
    struct Case
    {
        std::string path;
        std::int64_t status;
        std::string token;
    };

    const auto token301 = uniqueToken ("r301");
    const auto token302 = uniqueToken ("r302");
    const std::vector<Case> cases {
        { "/test/redirect/301/" + token301, 301, token301 },
        { "/test/redirect/302/" + token302, 302, token302 },
        { "/test/status/404", 404, "" },
        { "/test/status/500", 500, "" },
        { "/no/such/file.tar.gz", 404, "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.path);

        const auto fetched = ReleaseFetcher::fetchHttps (url (c.path), 20);
        EXPECT_FALSE (fetched.ok);
        EXPECT_EQ (fetched.httpStatus, c.status);
        EXPECT_TRUE (fetched.body.empty()); // the server did send one
        EXPECT_EQ (fetched.error, "HTTP request failed");

        const auto file = temp / "download.bin";
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url (c.path), file, 20);
        EXPECT_FALSE (downloaded.ok);
        EXPECT_EQ (downloaded.httpStatus, c.status);
        EXPECT_EQ (downloaded.error, "HTTP request failed");
        EXPECT_FALSE (fs::exists (file));

        if (! c.token.empty())
        {
            EXPECT_FALSE (wasContacted (c.token));
        }
    }

    // The probe itself works: a direct request is recorded.
    const auto direct = uniqueToken ("direct");
    ASSERT_TRUE (ReleaseFetcher::fetchHttps (url ("/test/redirect-target/" + direct), 20).ok);
    EXPECT_TRUE (wasContacted (direct));
}

TEST_F (ReleaseFetcherService, TimeLimitCoversTheWholeTransfer)
{
    // The service sends headers and a first part of the body at once, then stalls.
    const auto fetched = ReleaseFetcher::fetchHttps (url ("/test/stall/5"), 1);
    EXPECT_FALSE (fetched.ok);
    EXPECT_EQ (fetched.error, timeoutText);
    EXPECT_TRUE (fetched.body.empty());

    const auto file = temp / "partial.bin";
    const auto downloaded = ReleaseFetcher::downloadHttpsToFile (url ("/test/stall/5"), file, 1);
    EXPECT_FALSE (downloaded.ok);
    EXPECT_EQ (downloaded.httpStatus, 200);
    EXPECT_EQ (downloaded.error, timeoutText);
    EXPECT_GT (downloaded.bytesWritten, 0u);
    EXPECT_FALSE (fs::exists (file));
}

TEST_F (ReleaseFetcherService, CertificateThatDoesNotVerifyIsRefused)
{
    for (const auto* variable : { "ZORVAMANAGER_TEST_WRONG_HOST_URL", "ZORVAMANAGER_TEST_UNTRUSTED_URL" })
    {
        SCOPED_TRACE (variable);
        const auto base = environment (variable);
        ASSERT_FALSE (base.empty());

        const auto fetched = ReleaseFetcher::fetchHttps (base + "/test/bytes/10", 20);
        EXPECT_FALSE (fetched.ok);
        EXPECT_EQ (fetched.httpStatus, 0);
        EXPECT_EQ (fetched.error, certificateText);

        const auto file = temp / "untrusted.bin";
        const auto downloaded = ReleaseFetcher::downloadHttpsToFile (base + "/test/bytes/10", file, 20);
        EXPECT_FALSE (downloaded.ok);
        EXPECT_EQ (downloaded.bytesWritten, 0u);
        EXPECT_EQ (downloaded.error, certificateText);
        EXPECT_FALSE (fs::exists (file));
    }
}

// Fills the tiny file system until not one more block fits; removes the filler when done.
class FullDisk
{
public:
    explicit FullDisk (fs::path folder)
        : filler (std::move (folder) / "filler")
    {
        const std::string block (4096, 'f');
        std::ofstream out (filler, std::ios::binary);

        while (out.write (block.data(), static_cast<std::streamsize> (block.size())) && out.flush())
        {}
    }

    ~FullDisk()
    {
        std::error_code ignored;
        fs::remove (filler, ignored);
    }

    FullDisk (const FullDisk&) = delete;
    FullDisk& operator= (const FullDisk&) = delete;

private:
    fs::path filler;
};

TEST_F (ReleaseFetcherService, DiskFullDuringTheTransferRemovesThePartialFile)
{
    const auto tinyfs = fs::path (environment ("ZORVAMANAGER_TEST_TINYFS"));
    ASSERT_FALSE (tinyfs.empty());
    const auto file = tinyfs / "big.bin";

    const auto result = ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/1048576"), file, 30);

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.httpStatus, 200);
    EXPECT_EQ (result.error, writeErrorText);
    EXPECT_LT (result.bytesWritten, 1048576u);
    EXPECT_FALSE (fs::exists (file));
}

// The last buffered bytes reach the disk only when the file is closed; a failure there must
// not pass as a complete download.
TEST_F (ReleaseFetcherService, DiskFullWhenClosingIsAFailureToo)
{
    const auto tinyfs = fs::path (environment ("ZORVAMANAGER_TEST_TINYFS"));
    ASSERT_FALSE (tinyfs.empty());
    const FullDisk full (tinyfs);

    struct statvfs space
    {};
    ASSERT_EQ (::statvfs (tinyfs.c_str(), &space), 0);
    ASSERT_EQ (space.f_bavail, 0u);

    const auto file = tinyfs / "small.bin";
    const auto result = ReleaseFetcher::downloadHttpsToFile (url ("/test/bytes/100"), file, 30);

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.httpStatus, 200);
    EXPECT_EQ (result.error, "cannot write download file: " + file.string());
    EXPECT_FALSE (fs::exists (file));
}

TEST_F (ReleaseFetcherService, ManyTransfersAtOnceOnSeveralThreads)
{
    constexpr int threadCount = 8;
    constexpr int transfersPerThread = 4;
    std::mutex mutex;
    std::vector<std::string> problems;

    const auto report = [&] (const std::string& problem) {
        const std::lock_guard<std::mutex> lock (mutex);
        problems.push_back (problem);
    };

    const auto work = [&] (int threadIndex) {
        for (int i = 0; i < transfersPerThread; ++i)
        {
            const auto size = static_cast<std::size_t> (1000 + 37919 * threadIndex + 5003 * i);
            const auto path = "/test/bytes/" + std::to_string (size);
            const auto name = "t" + std::to_string (threadIndex) + "-" + std::to_string (i);

            if (i % 2 == 0)
            {
                const auto file = temp / (name + ".bin");
                const auto result = ReleaseFetcher::downloadHttpsToFile (url (path), file, 60);

                if (! result.ok || result.bytesWritten != size || zorvatest::readFile (file) != serviceBytes (size))
                    report (name + ": download " + result.error);
            }
            else
            {
                const auto result = ReleaseFetcher::fetchHttps (url (path), 60);

                if (! result.ok || result.body != serviceBytes (size))
                    report (name + ": fetch " + result.error);
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

TEST_F (ReleaseFetcherService, ReleasesEveryHandleOnEveryPath)
{
    // One transfer first: libcurl and OpenSSL keep a few process-wide descriptors open.
    ASSERT_TRUE (ReleaseFetcher::fetchHttps (url ("/test/bytes/10"), 20).ok);
    const auto before = zorvatest::openDescriptorCount();

    for (const auto* path : { "/test/bytes/5000", "/test/status/404", "/test/204", "/test/redirect/302/fd" })
    {
        ReleaseFetcher::fetchHttps (url (path), 20);
        ReleaseFetcher::downloadHttpsToFile (url (path), temp / "fd.bin", 20);
    }

    ReleaseFetcher::downloadHttpsToFile (environment ("ZORVAMANAGER_TEST_UNTRUSTED_URL") + "/x", temp / "fd.bin", 20);

    EXPECT_EQ (zorvatest::openDescriptorCount(), before);
}

} // namespace
