#pragma once

#include "network/ReleaseFetcher.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

// Helpers shared by the transfer suites. Test thread unless stated otherwise.
namespace fetchertest
{

namespace fs = std::filesystem;
using namespace zorvaplugins::zorvamanager::network;
using zorvatest::environment;

// libcurl's own texts for the failures provoked in the suites.
inline const std::string timeoutText = "Timeout was reached";
inline const std::string connectText = "Couldn't connect to server";
inline const std::string writeErrorText = "Failed writing received data to disk/application";
inline const std::string certificateText = "SSL peer certificate or SSH remote key was not OK";
inline const std::string partialText = "Transferred a partial file";

// The fetcher's own texts for the caller's bounds.
inline const std::string cancelledText = "transfer cancelled";

inline std::string tooLargeText (std::uint64_t limit)
{
    return "response body larger than " + std::to_string (limit) + " bytes";
}

// The bytes that the test service sends for /test/bytes/<n> and its other generated bodies:
// byte i is i modulo 251.
inline std::string serviceBytes (std::size_t count)
{
    std::string bytes (count, '\0');

    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char> (i % 251);

    return bytes;
}

inline std::string uniqueToken (const std::string& prefix)
{
    static std::atomic<int> counter { 0 };
    return prefix + "-" + std::to_string (::getpid()) + "-" + std::to_string (counter++);
}

// A TCP port on 127.0.0.1 where nothing listens (free a moment ago).
inline int unusedPort()
{
    const int fd = ::socket (AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
    socklen_t length = sizeof (address);
    ::bind (fd, reinterpret_cast<sockaddr*> (&address), sizeof (address));
    ::getsockname (fd, reinterpret_cast<sockaddr*> (&address), &length);
    ::close (fd);
    return ntohs (address.sin_port);
}

// A port on 127.0.0.1 that takes connections (the kernel completes them) but never reads or
// answers: a TLS handshake there waits forever.
class SilentListener
{
public:
    SilentListener()
        : fd (::socket (AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
        socklen_t length = sizeof (address);
        ::bind (fd, reinterpret_cast<sockaddr*> (&address), sizeof (address));
        ::listen (fd, 16);
        ::getsockname (fd, reinterpret_cast<sockaddr*> (&address), &length);
        port = ntohs (address.sin_port);
    }

    ~SilentListener() { ::close (fd); }

    SilentListener (const SilentListener&) = delete;
    SilentListener& operator= (const SilentListener&) = delete;

    std::string url() const { return "https://localhost:" + std::to_string (port) + "/file"; }

private:
    int fd;
    int port = 0;
};

// Sets a cancel flag from a thread of its own once `armed` becomes true, as a Cancel button
// on the message thread would; gives up when it goes away unarmed.
class Canceller
{
public:
    Canceller()
        : thread ([this] {
            while (! armed.load() && ! finished.load())
                std::this_thread::sleep_for (std::chrono::milliseconds (5));

            cancel = armed.load();
        })
    {}

    ~Canceller()
    {
        finished = true;
        thread.join();
    }

    Canceller (const Canceller&) = delete;
    Canceller& operator= (const Canceller&) = delete;

    std::atomic<bool> cancel { false };
    std::atomic<bool> armed { false };

private:
    std::atomic<bool> finished { false };
    std::thread thread;
};

// Runs a call on a new thread, which has no transfer history, and returns its result.
template <typename Call>
auto onFreshThread (Call&& call)
{
    return std::async (std::launch::async, std::forward<Call> (call)).get();
}

// Runs a call on a new thread and waits for it, flagging a failure when it is still running
// after a generous bound: a transfer that should stop at once must not wait for its time limit.
template <typename Call>
auto returnsPromptly (Call&& call)
{
    auto pending = std::async (std::launch::async, std::forward<Call> (call));
    EXPECT_EQ (pending.wait_for (std::chrono::seconds (10)), std::future_status::ready) << "the transfer was still running after 10 s";
    return pending.get();
}

// Transfers against the local HTTPS maker service that tests/service/with_service starts.
class ReleaseFetcherService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service = environment ("ZORVAMANAGER_TEST_SERVICE");

        if (service.empty())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";
    }

    std::string url (const std::string& path) const { return service + path; }

    bool wasContacted (const std::string& token) const
    {
        const auto answer = ReleaseFetcher::fetchHttps (url ("/test/contacted/" + token), 10);
        EXPECT_TRUE (answer.ok) << answer.error;
        return answer.body != "no";
    }

    std::string service;
    zorvatest::TempDir temp;
};

// A file in the service's data folder for the length of a test; removed again afterwards.
class ServedFile
{
public:
    ServedFile (const std::string& prefix, std::string bytes)
        : name (uniqueToken (prefix) + ".tar.gz")
        , file (fs::path (environment ("ZORVAMANAGER_TEST_SERVICE_DATA")) / name)
        , content (std::move (bytes))
    {
        if (file.parent_path().empty())
            throw std::runtime_error ("no service data folder");

        zorvatest::writeFile (file, content);
    }

    ~ServedFile()
    {
        std::error_code ignored;
        fs::remove (file, ignored);
    }

    ServedFile (const ServedFile&) = delete;
    ServedFile& operator= (const ServedFile&) = delete;

    const std::string name;
    const fs::path file;
    const std::string content;
};

} // namespace fetchertest
