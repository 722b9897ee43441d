#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace zorvaplugins::zorvamanager::network
{

// The outcome of a transfer into memory.
struct FetchResult
{
    bool ok = false;
    std::int64_t httpStatus = 0; // status of the last response; 0 when none was received
    std::string body;            // the whole body when ok, empty otherwise
    std::string error;
};

// The outcome of a transfer into a file.
struct DownloadResult
{
    bool ok = false;
    std::int64_t httpStatus = 0;
    std::uint64_t bytesWritten = 0; // body bytes written to the file
    std::string error;
};

// Plain HTTPS GET transfers with libcurl: HTTPS only (also at the transfer level), no
// redirects, user agent "ZorvaManager/1.0", a whole-transfer time limit, 2xx only, and
// libcurl's default certificate and host-name verification. Blocking; any thread, several
// calls may run at once. Never throws.
class ReleaseFetcher
{
public:
    ReleaseFetcher() = delete;

    // Keeps the response body in memory (catalogue, product pages).
    static FetchResult fetchHttps (const std::string& url, std::int64_t timeoutSeconds) noexcept;

    // Streams the response body into `destination`, created or truncated. On success the file
    // holds exactly the body; on every failure after it was created it has been removed again.
    static DownloadResult downloadHttpsToFile (const std::string& url,
                                               const std::filesystem::path& destination,
                                               std::int64_t timeoutSeconds) noexcept;
};

} // namespace zorvaplugins::zorvamanager::network
