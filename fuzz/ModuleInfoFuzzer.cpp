// A VST3 bundle's moduleinfo.json as an installed plug-in carries it: any bytes, read from the
// file where the scanner finds it. The version read is text of the file, and on files small
// enough for std::regex to search whole it is the first match of the documented pattern.
#include "FuzzSupport.h"

#include "scan/PluginScanner.h"

#include <filesystem>
#include <regex>
#include <string>

namespace
{

namespace fs = std::filesystem;

// std::regex recurses once per character matched; the reader bounds one entry to 1 KiB for
// that reason, so the literal search is only run where it cannot meet the bound.
constexpr std::size_t maxReferenceSize = 1024;

const fs::path& bundle()
{
    static const auto& folder = *new fs::path (zorvafuzz::scratchFolder() / "X.vst3");
    static const bool made = fs::create_directories (folder / "Contents" / "Resources");
    (void) made;
    return folder;
}

std::string referenceVersion (const std::string& text)
{
    static const std::regex pattern (R"re("Version"\s*:\s*"([^"]*)")re", std::regex::ECMAScript);
    std::smatch match;
    return std::regex_search (text, match, pattern) ? match[1].str() : std::string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    zorvafuzz::writeFile (bundle() / "Contents" / "Resources" / "moduleinfo.json", data, size);

    const auto version = zorvaplugins::zorvamanager::scan::readVst3Version (bundle());
    const std::string text (reinterpret_cast<const char*> (data), size);

    zorvafuzz::check (version.find ('"') == std::string::npos, "a version holds a quote", version);
    zorvafuzz::check (text.find (version) != std::string::npos, "a version that is not in the file", version);

    if (size <= maxReferenceSize)
        zorvafuzz::check (version == referenceVersion (text), "differs from the first match of the pattern", version);

    return 0;
}
