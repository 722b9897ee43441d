#pragma once

#include "package/ArchiveFixtures.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Plug-in packages made at test time: a tar.gz holding a VST3 bundle and a CLAP plug-in the
// way the maker ships them, with their size and SHA-256 for a catalogue. Test thread only.
namespace zorvatest
{

struct PackageRecipe
{
    PackageRecipe (std::string bundleName, std::string versionText = "1.0.0")
        : bundle (std::move (bundleName))
        , version (std::move (versionText))
    {}

    std::string bundle; // "Tape Echo" gives Tape Echo.vst3 and Tape Echo.clap
    std::string version = "1.0.0";
    bool withVst3 = true;
    bool withClap = true;
    std::size_t payloadBytes = 4096; // the size of each plug-in binary
    std::vector<ArchiveEntry> extra; // more entries, hostile ones included
};

struct BuiltPackage
{
    std::filesystem::path file;
    std::string sha256;
    std::uint64_t sizeBytes = 0;
};

BuiltPackage writePackage (const std::filesystem::path& file, const PackageRecipe& recipe, Container container = Container::TarGz);

// The files an installed VST3 bundle holds, by path inside the bundle.
std::map<std::string, std::string> vst3BundleFiles (const PackageRecipe& recipe);

// The bytes of the installed CLAP plug-in.
std::string clapFile (const PackageRecipe& recipe);

// Every regular file below a folder, by relative path, with its contents.
std::map<std::string, std::string> readTree (const std::filesystem::path& root);

} // namespace zorvatest
