// Runs one library operation as a whole process, so that bench/compare can time it (and
// measure its peak memory) side by side with the standard tools that do the same job.
//
//   PackageTool verify FILE HEX SIZE
//   PackageTool extract ARCHIVE DEST
//   PackageTool extract-isolated ARCHIVE DEST   (in the package unpacking helper, as installs do)
//   PackageTool helper-cost ARCHIVE ROUNDS      (median time of one extraction of a small archive
//                                                in-process and in the helper, and their difference)
//   PackageTool install ROOT VST3DIR CLAPDIR
//   PackageTool scan DIR
//
// Exit status 0 on success; 1 with the library's message on standard error otherwise.

#include "crypto/Sha256.h"
#include "install/PackageInstaller.h"
#include "package/ArchiveExtractor.h"
#include "package/IsolatedExtractor.h"
#include "scan/PluginScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

using namespace zorvaplugins::zorvamanager;

int usage()
{
    std::cerr << "usage: PackageTool verify FILE HEX SIZE | extract ARCHIVE DEST | extract-isolated ARCHIVE DEST"
                 " | helper-cost ARCHIVE ROUNDS | install ROOT VST3DIR CLAPDIR | scan DIR\n";
    return 2;
}

int report (bool ok, const std::string& error)
{
    if (ok)
        return 0;

    std::cerr << error << '\n';
    return 1;
}

// Median milliseconds of `rounds` extractions of the archive into fresh folders below `scratch`.
template <typename Extract>
double medianExtractionMs (const std::filesystem::path& scratch, int rounds, Extract&& extract)
{
    std::vector<double> times;

    for (int i = 0; i < rounds; ++i)
    {
        const auto destination = scratch / std::to_string (i);
        const auto start = std::chrono::steady_clock::now();
        const auto result = extract (destination);
        times.push_back (std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count());
        std::filesystem::remove_all (destination);

        if (! result.ok)
            throw std::runtime_error (result.error);
    }

    std::sort (times.begin(), times.end());
    return times[times.size() / 2];
}

int helperCost (const std::filesystem::path& archive, int rounds)
{
    const auto scratch = std::filesystem::temp_directory_path() / ("zorvamanager-helper-cost-" + std::to_string (::getpid()));
    const auto inProcess = medianExtractionMs (
        scratch, rounds, [&] (const auto& destination) { return package::ArchiveExtractor::extractToDirectory (archive, destination); });
    const auto isolated = medianExtractionMs (scratch, rounds, [&] (const auto& destination) {
        return package::IsolatedExtractor::extractToDirectory (ZORVAMANAGER_UNPACK_HELPER, archive, destination, nullptr);
    });
    std::filesystem::remove_all (scratch);
    std::printf ("in-process %.3f ms, in the helper %.3f ms, helper start-up cost %.3f ms\n", inProcess, isolated, isolated - inProcess);
    return 0;
}

int run (int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";

    if (command == "verify" && argc == 5)
    {
        const auto result = crypto::Sha256::verifyFile (argv[2], argv[3], std::strtoull (argv[4], nullptr, 10));
        return report (result.ok, result.error);
    }

    if (command == "extract" && argc == 4)
    {
        const auto result = package::ArchiveExtractor::extractToDirectory (argv[2], argv[3]);
        return report (result.ok, result.error);
    }

    if (command == "extract-isolated" && argc == 4)
    {
        const auto result = package::IsolatedExtractor::extractToDirectory (ZORVAMANAGER_UNPACK_HELPER, argv[2], argv[3], nullptr);
        return report (result.ok, result.error);
    }

    if (command == "helper-cost" && argc == 4)
        return helperCost (argv[2], std::max (1, std::atoi (argv[3])));

    if (command == "install" && argc == 5)
    {
        const install::PackageInstallRequest request { { { true, argv[3] }, { true, argv[4] } } };
        const auto result = install::PackageInstaller::installDirectory (argv[2], request);
        return report (result.ok, result.error);
    }

    if (command == "scan" && argc == 3)
    {
        const auto found = scan::PluginScanner::scanPaths ({ argv[2] }, install::PluginFormat::Vst3);

        if (! found.ok)
            return report (false, found.error);

        std::cout << found.plugins.size() << '\n';
        return 0;
    }

    return usage();
}

} // namespace

int main (int argc, char** argv)
{
    try
    {
        return run (argc, argv);
    }
    catch (const std::exception& e)
    {
        std::cerr << e.what() << '\n';
        return 1;
    }
}
