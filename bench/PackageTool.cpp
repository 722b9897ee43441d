// Runs one library operation as a whole process, so that bench/compare can time it (and
// measure its peak memory) side by side with the standard tools that do the same job.
//
//   PackageTool verify FILE HEX SIZE
//   PackageTool extract ARCHIVE DEST
//   PackageTool install ROOT VST3DIR CLAPDIR
//   PackageTool scan DIR
//
// Exit status 0 on success; 1 with the library's message on standard error otherwise.

#include "crypto/Sha256.h"
#include "install/PackageInstaller.h"
#include "package/ArchiveExtractor.h"
#include "scan/PluginScanner.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

namespace
{

using namespace zorvaplugins::zorvamanager;

int usage()
{
    std::cerr << "usage: PackageTool verify FILE HEX SIZE | extract ARCHIVE DEST | install ROOT VST3DIR CLAPDIR | scan DIR\n";
    return 2;
}

int report (bool ok, const std::string& error)
{
    if (ok)
        return 0;

    std::cerr << error << '\n';
    return 1;
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
