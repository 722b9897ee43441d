#include "network/ReleaseFetcher.h"

#include <curl/curl.h>

#include <fstream>
#include <memory>
#include <system_error>
#include <utility>

namespace zorvaplugins::zorvamanager::network
{

namespace
{

namespace fs = std::filesystem;

bool beginsWithHttps (const std::string& url)
{
    return url.compare (0, 8, "https://") == 0;
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

// The write callbacks run inside libcurl (C code): nothing may be thrown through it, so a
// failure becomes a short count, which aborts the transfer with libcurl's write error.
std::size_t writeBody (char* data, std::size_t size, std::size_t count, void* userData) noexcept
{
    const auto bytes = size * count;

    try
    {
        static_cast<std::string*> (userData)->append (data, bytes);
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
    std::uint64_t bytesWritten = 0;
};

std::size_t writeFile (char* data, std::size_t size, std::size_t count, void* userData) noexcept
{
    auto& sink = *static_cast<FileSink*> (userData);
    const auto bytes = size * count;

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

// Sets the transfer options (always these, in this order, nothing else) and performs the
// transfer. A refused option stops before any connection: without it the HTTPS-only and
// no-redirect guarantees would not hold.
CURLcode perform (CURL* handle,
                  const std::string& url,
                  std::int64_t timeoutSeconds,
                  curl_write_callback writeFunction,
                  void* writeData,
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

    const auto result = curl_easy_perform (handle);

    if (curl_easy_getinfo (handle, CURLINFO_RESPONSE_CODE, &responseCode) != CURLE_OK)
        responseCode = 0;

    return result;
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
    {
    }

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

FetchResult fetch (const std::string& url, std::int64_t timeoutSeconds)
{
    FetchResult result;

    if (! beginsWithHttps (url))
    {
        result.error = "release catalogue URL must be HTTPS";
        return result;
    }

    initialiseCurl();
    EasyHandle handle (curl_easy_init());

    if (handle == nullptr)
    {
        result.error = "cannot initialize CURL";
        return result;
    }

    std::string body;
    long status = 0;
    const auto code = perform (handle.get(), url, timeoutSeconds, writeBody, &body, status);
    handle.reset();
    result.httpStatus = status;

    if (code != CURLE_OK)
        result.error = curl_easy_strerror (code);
    else if (! isSuccessStatus (status))
        result.error = "HTTP request failed";
    else
    {
        result.ok = true;
        result.body = std::move (body);
    }

    return result;
}

DownloadResult download (const std::string& url, const fs::path& destination, std::int64_t timeoutSeconds)
{
    DownloadResult result;

    if (! beginsWithHttps (url))
    {
        result.error = "download URL must be HTTPS";
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
    EasyHandle handle (curl_easy_init());

    if (handle == nullptr)
    {
        result.error = "cannot initialize CURL";
        return result;
    }

    FileSink sink { stream };
    long status = 0;
    const auto code = perform (handle.get(), url, timeoutSeconds, writeFile, &sink, status);
    handle.reset();
    stream.close();

    result.httpStatus = status;
    result.bytesWritten = sink.bytesWritten;

    if (code != CURLE_OK)
        result.error = curl_easy_strerror (code);
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

// Builds a failure record without risking a second exception: the fallback text is short
// enough to need no allocation.
template <typename Result>
Result failure (const char* message) noexcept
{
    Result result;

    try
    {
        result.error = message;
    }
    catch (...)
    {
        result.error = "std::bad_alloc";
    }

    return result;
}

} // namespace

FetchResult ReleaseFetcher::fetchHttps (const std::string& url, std::int64_t timeoutSeconds) noexcept
{
    try
    {
        return fetch (url, timeoutSeconds);
    }
    catch (const std::exception& e)
    {
        return failure<FetchResult> (e.what());
    }
    catch (...)
    {
        return failure<FetchResult> ("unknown error");
    }
}

DownloadResult ReleaseFetcher::downloadHttpsToFile (const std::string& url,
                                                    const fs::path& destination,
                                                    std::int64_t timeoutSeconds) noexcept
{
    try
    {
        return download (url, destination, timeoutSeconds);
    }
    catch (const std::exception& e)
    {
        return failure<DownloadResult> (e.what());
    }
    catch (...)
    {
        return failure<DownloadResult> ("unknown error");
    }
}

} // namespace zorvaplugins::zorvamanager::network
