#include "network/ReleaseFetcher.h"

#include "core/Failure.h"
#include "core/HttpsUrl.h"
#include "network/CaBundle.h"

#include <curl/curl.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <memory>
#include <system_error>
#include <utility>

namespace zorvaplugins::zorvamanager::network
{

namespace
{

namespace fs = std::filesystem;

const char* const cancelledText = "transfer cancelled";

bool isCancelled (const TransferControl& control)
{
    return control.cancel != nullptr && control.cancel->load();
}

std::string tooLargeText (std::uint64_t maxBodyBytes)
{
    return "response body larger than " + std::to_string (maxBodyBytes) + " bytes";
}

// curl_global_init is not thread-safe; transfers run on several worker threads, so the first
// transfer of the process does it once for everybody. Nothing calls the global cleanup.
void initialiseCurl()
{
    static const auto initialised = curl_global_init (CURL_GLOBAL_ALL);
    static_cast<void> (initialised);
}

struct EasyHandleDeleter
{
    void operator() (CURL* handle) const noexcept { curl_easy_cleanup (handle); }
};

using EasyHandle = std::unique_ptr<CURL, EasyHandleDeleter>;

// The handle that one thread keeps between its transfers, with the connections, TLS sessions
// and host names that libcurl caches in it. Closed when the thread ends.
class ThreadHandle
{
public:
    ThreadHandle() = default;

    ~ThreadHandle()
    {
        // A child process made with fork() shares the parent's sockets and TLS states: closing
        // them here would read from and send TLS alerts on the parent's connections. The
        // child leaves them alone and lets its exit release the memory.
        if (process != ::getpid())
            static_cast<void> (handle.release());
    }

    ThreadHandle (const ThreadHandle&) = delete;
    ThreadHandle& operator= (const ThreadHandle&) = delete;

    // This thread's handle back at libcurl's defaults, or nullptr when it is busy (a transfer
    // started from inside another one's callback) or cannot be created.
    CURL* borrow()
    {
        if (busy)
            return nullptr;

        if (handle != nullptr && process != ::getpid())
            static_cast<void> (handle.release());

        if (handle == nullptr)
        {
            handle.reset (curl_easy_init());
            process = ::getpid();
        }
        else
        {
            curl_easy_reset (handle.get());
        }

        busy = handle != nullptr;
        return handle.get();
    }

    // Replaces the borrowed handle, and with it every connection it kept, by a new one.
    CURL* renew()
    {
        handle.reset (curl_easy_init());
        busy = handle != nullptr;
        return handle.get();
    }

    void giveBack() noexcept
    {
        // Nothing of the finished transfer stays set, not even pointers into its stack frame.
        if (handle != nullptr)
            curl_easy_reset (handle.get());

        busy = false;
    }

private:
    EasyHandle handle;
    pid_t process = 0;
    bool busy = false;
};

// The handle of one transfer: this thread's own one when it is free, else a new one of its own
// that goes away with the transfer.
class TransferHandle
{
public:
    TransferHandle()
    {
        thread_local ThreadHandle threadHandle;
        handle = threadHandle.borrow();

        if (handle != nullptr)
        {
            borrowedFrom = &threadHandle;
        }
        else
        {
            ownHandle.reset (curl_easy_init());
            handle = ownHandle.get();
        }
    }

    ~TransferHandle()
    {
        if (borrowedFrom != nullptr)
            borrowedFrom->giveBack();
    }

    TransferHandle (const TransferHandle&) = delete;
    TransferHandle& operator= (const TransferHandle&) = delete;

    CURL* get() const { return handle; }

    // A new handle in place of this one, without any of its kept connections.
    CURL* renew()
    {
        if (borrowedFrom != nullptr)
        {
            handle = borrowedFrom->renew();

            if (handle == nullptr)
                borrowedFrom = nullptr;
        }
        else
        {
            ownHandle.reset (curl_easy_init());
            handle = ownHandle.get();
        }

        return handle;
    }

private:
    CURL* handle = nullptr;
    ThreadHandle* borrowedFrom = nullptr;
    EasyHandle ownHandle;
};

// Counts the body bytes that the write callbacks accept, against the caller's limit.
struct BodyLimit
{
    std::uint64_t maxBytes = 0; // 0: unbounded
    std::uint64_t received = 0;
    bool exceeded = false;

    // False, and the transfer must stop, when `bytes` more would go past the limit.
    bool admit (std::size_t bytes)
    {
        if (maxBytes != 0 && bytes > maxBytes - received)
        {
            exceeded = true;
            return false;
        }

        received += bytes;
        return true;
    }
};

struct MemorySink
{
    std::string& body;
    BodyLimit limit;
};

// The write callbacks run inside libcurl (C code): nothing may be thrown through it, so a
// failure becomes a short count, which aborts the transfer with libcurl's write error.
std::size_t writeBody (char* data, std::size_t size, std::size_t count, void* userData) noexcept
{
    auto& sink = *static_cast<MemorySink*> (userData);
    const auto bytes = size * count;

    // Checked before appending, so the body never holds more than the limit.
    if (! sink.limit.admit (bytes))
        return 0;

    try
    {
        sink.body.append (data, bytes);
    }
    catch (...)
    {
        return 0;
    }

    return bytes;
}

struct FileSink
{
    std::ofstream& stream;
    BodyLimit limit;
    std::uint64_t bytesWritten = 0;
};

std::size_t writeFile (char* data, std::size_t size, std::size_t count, void* userData) noexcept
{
    auto& sink = *static_cast<FileSink*> (userData);
    const auto bytes = size * count;

    if (! sink.limit.admit (bytes))
        return 0;

    try
    {
        sink.stream.write (data, static_cast<std::streamsize> (bytes));
    }
    catch (...)
    {
        return 0;
    }

    if (! sink.stream)
        return 0;

    sink.bytesWritten += bytes;
    return bytes;
}

// What the transfer-info callback needs, and what it decided.
struct ProgressHooks
{
    const TransferControl& control;
    bool cancelled = false;
};

std::uint64_t toCount (curl_off_t value)
{
    return value > 0 ? static_cast<std::uint64_t> (value) : 0;
}

// libcurl calls this often while data flows and about once a second otherwise, in every
// phase of the transfer; a non-zero result aborts it.
int onTransferInfo (void* userData, curl_off_t downloadTotal, curl_off_t downloaded, curl_off_t, curl_off_t) noexcept
{
    auto& hooks = *static_cast<ProgressHooks*> (userData);

    if (isCancelled (hooks.control))
    {
        hooks.cancelled = true;
        return 1;
    }

    if (hooks.control.onProgress)
    {
        // An exception must not unwind through libcurl; the caller's hook failing means the
        // caller cannot follow the transfer any more, so it stops.
        try
        {
            hooks.control.onProgress (toCount (downloaded), toCount (downloadTotal));
        }
        catch (...)
        {
            hooks.cancelled = true;
            return 1;
        }
    }

    return 0;
}

// Where a transfer's CA certificates come from (see CaBundle).
enum class TrustLookup
{
    hashedFolder, // the system's hashed folder alone
    bundle        // libcurl's default (its bundle, and its folder where it has one)
};

// Sets the transfer options (always the table below, in this order, then the trust lookup and
// only what the caller's control asks for) and performs the transfer once. A refused option
// stops before any connection: without it the HTTPS-only and no-redirect guarantees would not
// hold.
CURLcode performOnce (CURL* handle,
                      const std::string& url,
                      std::int64_t timeoutSeconds,
                      TrustLookup trust,
                      curl_write_callback writeFunction,
                      void* writeData,
                      ProgressHooks& hooks,
                      long& responseCode)
{
    responseCode = 0;

    for (const auto code : { curl_easy_setopt (handle, CURLOPT_URL, url.c_str()),
                             curl_easy_setopt (handle, CURLOPT_FOLLOWLOCATION, 0L),
                             curl_easy_setopt (handle, CURLOPT_TIMEOUT, static_cast<long> (timeoutSeconds)),
                             curl_easy_setopt (handle, CURLOPT_WRITEFUNCTION, writeFunction),
                             curl_easy_setopt (handle, CURLOPT_WRITEDATA, writeData),
                             curl_easy_setopt (handle, CURLOPT_USERAGENT, "ZorvaManager/1.0"),
                             curl_easy_setopt (handle, CURLOPT_PROTOCOLS_STR, "https"),
                             curl_easy_setopt (handle, CURLOPT_REDIR_PROTOCOLS_STR, "https") })
    {
        if (code != CURLE_OK)
            return code;
    }

    if (trust == TrustLookup::hashedFolder)
    {
        // The folder alone: without a CA file, no bundle is parsed.
        for (const auto code : { curl_easy_setopt (handle, CURLOPT_CAINFO, nullptr),
                                 curl_easy_setopt (handle, CURLOPT_CAPATH, CaBundle::hashedFolderForThisSystem().c_str()) })
        {
            if (code != CURLE_OK)
                return code;
        }
    }
    else if (const auto& caFile = CaBundle::replacementForThisSystem(); ! caFile.empty())
    {
        // On a system without the CA file libcurl was built with, the system's own bundle.
        const auto code = curl_easy_setopt (handle, CURLOPT_CAINFO, caFile.c_str());

        if (code != CURLE_OK)
            return code;
    }

    const auto& control = hooks.control;

    // libcurl compares a declared Content-Length with this before the first body byte; the
    // bytes actually received are counted by the write callbacks. A limit beyond what
    // curl_off_t holds is no limit on declared lengths.
    const auto largestDeclarable = static_cast<std::uint64_t> (std::numeric_limits<curl_off_t>::max());

    if (control.maxBodyBytes != 0 && control.maxBodyBytes <= largestDeclarable)
    {
        const auto code = curl_easy_setopt (handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t> (control.maxBodyBytes));

        if (code != CURLE_OK)
            return code;
    }

    if (control.cancel != nullptr || control.onProgress)
    {
        for (const auto code : { curl_easy_setopt (handle, CURLOPT_NOPROGRESS, 0L),
                                 curl_easy_setopt (handle, CURLOPT_XFERINFOFUNCTION, onTransferInfo),
                                 curl_easy_setopt (handle, CURLOPT_XFERINFODATA, &hooks) })
        {
            if (code != CURLE_OK)
                return code;
        }
    }

    // Aborting while the threaded resolver is still busy otherwise waits for the system's
    // host lookup to give up, which can take much longer than a second. With this option the
    // lookup thread is left to finish (and free itself) on its own.
    if (control.cancel != nullptr)
    {
        const auto code = curl_easy_setopt (handle, CURLOPT_QUICK_EXIT, 1L);

        if (code != CURLE_OK)
            return code;
    }

    const auto result = curl_easy_perform (handle);

    if (curl_easy_getinfo (handle, CURLINFO_RESPONSE_CODE, &responseCode) != CURLE_OK)
        responseCode = 0;

    return result;
}

// True when a transfer failed on a kept connection because the server's answer did not start
// like one, before any body byte reached the caller. libcurl 7.88 reads a body only up to its
// Content-Length and reuses a connection for as long as it is open, so bytes that a server
// sent past the end of one response are read as the start of the next; they may be in the
// TLS layer's buffer already, where no look at the socket beforehand would see them.
bool failedOnAStaleConnection (CURL* handle, CURLcode code, const BodyLimit& limit)
{
    if ((code != CURLE_UNSUPPORTED_PROTOCOL && code != CURLE_WEIRD_SERVER_REPLY) || limit.received != 0)
        return false;

    long newConnections = -1;
    long requestBytes = 0;

    if (curl_easy_getinfo (handle, CURLINFO_NUM_CONNECTS, &newConnections) != CURLE_OK)
        return false;

    if (curl_easy_getinfo (handle, CURLINFO_REQUEST_SIZE, &requestBytes) != CURLE_OK)
        return false;

    // A request went out, but not on a connection of its own.
    return newConnections == 0 && requestBytes > 0;
}

// Performs the transfer, looking the server's CA up in the system's hashed folder where there is
// one. Each repeat has the time limit anew; the failed attempt ended before any body byte.
// - One that failed on a stale kept connection is repeated once on a new handle, which closes
//   every connection of the old one (as libcurl itself repeats a transfer whose kept
//   connection turns out to be closed).
// - One whose server the folder could not verify is repeated once with libcurl's default
//   lookup: a folder can lag behind its bundle (a CA added by hand to one of them), and the
//   bundle must still be enough. Its trust is the default's, never wider.
CURLcode perform (TransferHandle& handle,
                  const std::string& url,
                  std::int64_t timeoutSeconds,
                  curl_write_callback writeFunction,
                  void* writeData,
                  const BodyLimit& limit,
                  ProgressHooks& hooks,
                  long& responseCode)
{
    const auto trust = CaBundle::hashedFolderForThisSystem().empty() ? TrustLookup::bundle : TrustLookup::hashedFolder;
    auto code = performOnce (handle.get(), url, timeoutSeconds, trust, writeFunction, writeData, hooks, responseCode);

    if (failedOnAStaleConnection (handle.get(), code, limit))
    {
        if (handle.renew() == nullptr)
            return CURLE_FAILED_INIT;

        code = performOnce (handle.get(), url, timeoutSeconds, trust, writeFunction, writeData, hooks, responseCode);
    }

    if (code == CURLE_PEER_FAILED_VERIFICATION && trust == TrustLookup::hashedFolder && limit.received == 0)
    {
        curl_easy_reset (handle.get());
        code = performOnce (handle.get(), url, timeoutSeconds, TrustLookup::bundle, writeFunction, writeData, hooks, responseCode);
    }

    return code;
}

// The error text of a failed transfer: the caller's own bounds by name, libcurl's text for
// everything else.
std::string transferError (CURLcode code, const ProgressHooks& hooks, const BodyLimit& limit)
{
    if (code == CURLE_ABORTED_BY_CALLBACK && hooks.cancelled)
        return cancelledText;

    if ((code == CURLE_WRITE_ERROR && limit.exceeded) || (code == CURLE_FILESIZE_EXCEEDED && limit.maxBytes != 0))
        return tooLargeText (limit.maxBytes);

    return curl_easy_strerror (code);
}

bool isSuccessStatus (long status)
{
    return status >= 200 && status <= 299;
}

// Removes the download file when the call leaves without success, exceptions included.
class PartialFileRemover
{
public:
    explicit PartialFileRemover (fs::path fileToRemove)
        : file (std::move (fileToRemove))
    {}

    ~PartialFileRemover()
    {
        if (armed)
        {
            std::error_code ignored;
            fs::remove (file, ignored);
        }
    }

    PartialFileRemover (const PartialFileRemover&) = delete;
    PartialFileRemover& operator= (const PartialFileRemover&) = delete;

    void arm() { armed = true; }
    void keep() { armed = false; }

private:
    fs::path file;
    bool armed = false;
};

FetchResult fetch (const std::string& url, std::int64_t timeoutSeconds, const TransferControl& control)
{
    FetchResult result;

    if (! core::beginsWithHttps (url))
    {
        result.error = "release catalogue URL must be HTTPS";
        return result;
    }

    if (isCancelled (control))
    {
        result.error = cancelledText;
        return result;
    }

    initialiseCurl();
    TransferHandle handle;

    if (handle.get() == nullptr)
    {
        result.error = "cannot initialize CURL";
        return result;
    }

    std::string body;
    MemorySink sink { body, { control.maxBodyBytes } };
    ProgressHooks hooks { control };
    long status = 0;
    const auto code = perform (handle, url, timeoutSeconds, writeBody, &sink, sink.limit, hooks, status);
    result.httpStatus = status;

    if (code != CURLE_OK)
        result.error = transferError (code, hooks, sink.limit);
    else if (! isSuccessStatus (status))
        result.error = "HTTP request failed";
    else
    {
        result.ok = true;
        result.body = std::move (body);
    }

    return result;
}

DownloadResult download (const std::string& url, const fs::path& destination, std::int64_t timeoutSeconds, const TransferControl& control)
{
    DownloadResult result;

    if (! core::beginsWithHttps (url))
    {
        result.error = "download URL must be HTTPS";
        return result;
    }

    if (isCancelled (control))
    {
        result.error = cancelledText;
        return result;
    }

    // Declared before the stream so that the stream is closed before the file is removed.
    PartialFileRemover remover (destination);
    std::ofstream stream (destination, std::ios::binary | std::ios::trunc);

    if (! stream.is_open())
    {
        result.error = "cannot create download file: " + destination.string();
        return result;
    }

    remover.arm();
    initialiseCurl();
    TransferHandle handle;

    if (handle.get() == nullptr)
    {
        result.error = "cannot initialize CURL";
        return result;
    }

    FileSink sink { stream, { control.maxBodyBytes } };
    ProgressHooks hooks { control };
    long status = 0;
    const auto code = perform (handle, url, timeoutSeconds, writeFile, &sink, sink.limit, hooks, status);
    stream.close();

    result.httpStatus = status;
    result.bytesWritten = sink.bytesWritten;

    if (code != CURLE_OK)
        result.error = transferError (code, hooks, sink.limit);
    else if (! isSuccessStatus (status))
        result.error = "HTTP request failed";
    else if (stream.fail())
        // The last buffered bytes only reach the disk on close; a full disk shows up here.
        result.error = "cannot write download file: " + destination.string();
    else
    {
        result.ok = true;
        remover.keep();
    }

    return result;
}

} // namespace

FetchResult ReleaseFetcher::fetchHttps (const std::string& url, std::int64_t timeoutSeconds, const TransferControl& control) noexcept
{
    try
    {
        return fetch (url, timeoutSeconds, control);
    }
    catch (const std::exception& e)
    {
        return core::failure<FetchResult> (e.what());
    }
    catch (...)
    {
        return core::failure<FetchResult> ("unknown error");
    }
}

DownloadResult ReleaseFetcher::downloadHttpsToFile (const std::string& url,
                                                    const fs::path& destination,
                                                    std::int64_t timeoutSeconds,
                                                    const TransferControl& control) noexcept
{
    try
    {
        return download (url, destination, timeoutSeconds, control);
    }
    catch (const std::exception& e)
    {
        return core::failure<DownloadResult> (e.what());
    }
    catch (...)
    {
        return core::failure<DownloadResult> ("unknown error");
    }
}

} // namespace zorvaplugins::zorvamanager::network
