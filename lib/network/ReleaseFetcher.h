#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
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

// Optional bounds and hooks of one transfer.
struct TransferControl
{
    // 0: unbounded; a longer body fails the transfer.
    std::uint64_t maxBodyBytes = 0;

    // When it becomes true the transfer stops within about a second.
    const std::atomic<bool>* cancel = nullptr;

    // On the transfer's thread; declaredTotal 0 when unknown.
    std::function<void (std::uint64_t received, std::uint64_t declaredTotal)> onProgress;
};

// Plain HTTPS GET transfers with libcurl: HTTPS only (also at the transfer level), no
// redirects, user agent "ZorvaManager/1.0", a whole-transfer time limit, 2xx only, and
// libcurl's certificate and host-name verification. The server's CA is looked up in the
// system's hashed CA folder where libcurl has one; a server that the folder cannot verify is
// tried once more with libcurl's default CA file and folder (with the system's own bundle
// where libcurl's default file does not exist). See CaBundle. Blocking; any thread, several
// calls may run at once. Never throws.
//
// Each thread keeps one libcurl handle from one of its transfers to the next, until the
// thread ends. Before every transfer the handle goes back to libcurl's defaults and is given
// the whole option table again, so no option, callback, limit or cancel flag of one transfer
// reaches the next. What it does keep are libcurl's caches: open connections (a following
// transfer to the same host skips the TLS handshake and the lookup of its CA), TLS sessions
// and resolved host names. A connection is only reused for the same host and port under the
// same verification settings, so reuse never weakens verification. Threads never share a
// handle.
// A transfer whose answer on a reused connection is garbled from its first byte (what a
// server sent past the end of its previous response) is repeated once on a new handle.
//
// Bounds and hooks (TransferControl):
// - maxBodyBytes counts the body bytes actually received, whatever the server declares; a
//   declared length above it fails at once, before any body byte. The failure text is
//   "response body larger than <maxBodyBytes> bytes"; fetchHttps never holds more than the
//   limit and downloadHttpsToFile never writes more.
// - cancel is polled on the transfer's thread about once a second while connecting,
//   resolving or waiting for data, and more often while data flows; the failure text is
//   "transfer cancelled". A flag that is already true fails the call at once, without
//   connecting and without touching the destination file.
// - onProgress runs on the transfer's thread, often and with repeated values (the caller
//   throttles). An exception thrown from it cancels the transfer. It may start another
//   transfer; that one then uses a handle of its own.
class ReleaseFetcher
{
public:
    ReleaseFetcher() = delete;

    // Keeps the response body in memory (catalogue, product pages).
    static FetchResult fetchHttps (const std::string& url, std::int64_t timeoutSeconds, const TransferControl& control = {}) noexcept;

    // Streams the response body into `destination`, created or truncated. On success the file
    // holds exactly the body; on every failure after it was created it has been removed again.
    static DownloadResult downloadHttpsToFile (const std::string& url,
                                               const std::filesystem::path& destination,
                                               std::int64_t timeoutSeconds,
                                               const TransferControl& control = {}) noexcept;
};

} // namespace zorvaplugins::zorvamanager::network
