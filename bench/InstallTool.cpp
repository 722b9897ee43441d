// Runs the install job of the window (products::runInstallJob: download, verification,
// extraction, installation, removal of its temporary folder) as a whole process, so that
// bench/compare_install can time it against curl, openssl, bsdtar and cp doing the same steps.
//
//   InstallTool [--steps] VST3DIR CLAPDIR URL SHA256 SIZE [URL SHA256 SIZE ...]
//
// Every URL SHA256 SIZE triple is one artifact. Several are installed at once, each on a thread
// of its own, as the window's worker pool runs as many jobs. The jobs' temporary folders go
// into TMPDIR. With --steps, the time at which each job reached each step (taken from the
// activity texts the job reports) goes to standard error. Prints the peak resident memory
// of the process (VmHWM) on standard output. Exit status 0 when every install succeeded; 1
// with the jobs' messages on standard error otherwise.

#include "products/ProductJobs.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace zorvaplugins::zorvamanager;
using Clock = std::chrono::steady_clock;

int usage()
{
    std::cerr << "usage: InstallTool [--steps] VST3DIR CLAPDIR URL SHA256 SIZE [URL SHA256 SIZE ...]\n";
    return 2;
}

// The "VmHWM:" line of /proc/self/status, e.g. "12345 kB".
std::string peakResidentMemory()
{
    std::ifstream status ("/proc/self/status");

    for (std::string line; std::getline (status, line);)
        if (line.rfind ("VmHWM:", 0) == 0)
            return line.substr (line.find_first_not_of (" \t", 6));

    return "unknown";
}

int run (int argc, char** argv)
{
    std::vector<std::string> arguments (argv + 1, argv + argc);
    const auto showSteps = ! arguments.empty() && arguments.front() == "--steps";

    if (showSteps)
        arguments.erase (arguments.begin());

    if (arguments.size() < 5 || (arguments.size() - 2) % 3 != 0)
        return usage();

    std::vector<products::InstallJobRequest> requests;

    for (std::size_t i = 2; i < arguments.size(); i += 3)
    {
        products::InstallJobRequest request;
        request.artifact.downloadUrl = arguments[i];
        request.artifact.fileName = arguments[i].substr (arguments[i].find_last_of ('/') + 1);
        request.artifact.sha256 = arguments[i + 1];
        request.artifact.sizeBytes = std::strtoull (arguments[i + 2].c_str(), nullptr, 10);
        request.targets = { { true, arguments[0] }, { true, arguments[1] } };
        request.unpackHelper = ZORVAMANAGER_UNPACK_HELPER;
        requests.push_back (std::move (request));
    }

    const auto start = Clock::now();
    std::mutex printing;
    std::vector<products::InstallOutcome> outcomes (requests.size());
    std::vector<std::thread> threads;

    for (std::size_t i = 0; i < requests.size(); ++i)
    {
        threads.emplace_back ([&, i] {
            products::JobHooks hooks;
            std::string lastStep;

            // Only the changes of step, not every progress figure of the download.
            if (showSteps)
                hooks.report = [&, i] (const std::string& activity) {
                    const auto step = activity.substr (0, activity.find ("..."));

                    if (step == lastStep)
                        return;

                    lastStep = step;
                    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - start).count();
                    const std::lock_guard<std::mutex> lock (printing);
                    std::cerr << "job " << i << ": " << step << " from " << ms << " ms\n";
                };

            outcomes[i] = products::runInstallJob (requests[i], hooks);

            if (showSteps)
            {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - start).count();
                const std::lock_guard<std::mutex> lock (printing);
                std::cerr << "job " << i << ": done at " << ms << " ms\n";
            }
        });
    }

    for (auto& thread : threads)
        thread.join();

    std::cout << "peak resident memory: " << peakResidentMemory() << '\n';
    auto status = 0;

    for (const auto& outcome : outcomes)
    {
        if (! outcome.ok)
        {
            std::cerr << outcome.error << '\n';
            status = 1;
        }
    }

    return status;
}

} // namespace

int main (int argc, char** argv)
{
    try
    {
        return run (argc, argv);
    }
    catch (const std::exception& error)
    {
        std::cerr << error.what() << '\n';
        return 1;
    }
}
