#include "scan/PluginScanner.h"

#include "core/Failure.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <string_view>
#include <system_error>

namespace zorvaplugins::zorvamanager::scan
{

namespace fs = std::filesystem;

namespace
{

// The longest text one Version entry may span, from its key to the closing quote of its
// value. std::regex matches by recursion, one level per character, so an unbounded entry
// (say a value of 50,000 characters in a damaged file) would exhaust the stack; any real
// version is far shorter.
constexpr std::size_t maxEntryLength = 1024;

constexpr std::string_view versionPatternText = R"re("Version"\s*:\s*"([^"]*)")re";
static_assert (versionPatternText.size() == 25);

const std::regex& versionPattern()
{
    static const std::regex pattern (versionPatternText.data(), versionPatternText.size(), std::regex::ECMAScript);
    return pattern;
}

bool readWholeFile (const fs::path& file, std::string& content)
{
    std::ifstream in (file, std::ios::in | std::ios::binary);

    if (! in.is_open())
        return false;

    char chunk[16384];

    // istream::read turns read errors into a failed state instead of an exception.
    while (in.read (chunk, sizeof (chunk)) || in.gcount() > 0)
        content.append (chunk, static_cast<std::size_t> (in.gcount()));

    return ! in.bad();
}

std::string firstVersionValue (const std::string& text)
{
    // A match can only begin where the key's literal text stands, so trying each occurrence
    // in order finds the same first match as a search of the whole text would.
    static constexpr std::string_view key = "\"Version\"";

    for (auto start = text.find (key); start != std::string::npos; start = text.find (key, start + 1))
    {
        const auto first = text.begin() + static_cast<std::ptrdiff_t> (start);
        const auto last = first + static_cast<std::ptrdiff_t> (std::min (maxEntryLength, text.size() - start));
        std::smatch match;

        if (std::regex_search (first, last, match, versionPattern(), std::regex_constants::match_continuous))
            return match[1].matched ? match[1].str() : std::string();
    }

    return {};
}

bool hasWantedKind (const fs::directory_entry& entry, bool isVst3)
{
    std::error_code ec;
    const auto status = entry.status (ec); // follows links

    if (ec)
        return false;

    if (isVst3)
        return fs::is_directory (status);

    return fs::is_regular_file (status) || fs::is_directory (status);
}

} // namespace

std::string readVst3Version (const fs::path& bundle)
{
    const auto file = bundle / "Contents" / "Resources" / "moduleinfo.json";

    std::error_code ec;
    const auto status = fs::status (file, ec);

    if (ec || ! fs::is_regular_file (status))
        return {};

    std::string content;

    if (! readWholeFile (file, content))
        return {};

    return firstVersionValue (content);
}

namespace
{

// The scan. Advancing uses the throwing increment, whose filesystem_error scanPaths turns into
// its result.
std::vector<InstalledPlugin> scan (const std::vector<fs::path>& folders, install::PluginFormat format)
{
    const auto isVst3 = format == install::PluginFormat::Vst3;
    const std::string wantedExtension = isVst3 ? ".vst3" : ".clap";

    std::vector<InstalledPlugin> found;

    for (const auto& folder : folders)
    {
        std::error_code ec;
        const auto folderStatus = fs::status (folder, ec);

        if (ec || ! fs::is_directory (folderStatus))
            continue;

        fs::directory_iterator it (folder, fs::directory_options::skip_permission_denied, ec);

        if (ec)
            continue;

        // The throwing increment: a failure in the middle of a listing is not a plain
        // "nothing here" (see the declaration).
        for (; it != fs::directory_iterator(); ++it)
        {
            const auto& entry = *it;

            if (entry.path().extension().native() != wantedExtension || ! hasWantedKind (entry, isVst3))
                continue;

            found.push_back (
                { format, entry.path().stem().string(), entry.path(), isVst3 ? readVst3Version (entry.path()) : std::string() });
        }
    }

    std::stable_sort (
        found.begin(), found.end(), [] (const InstalledPlugin& a, const InstalledPlugin& b) { return a.path.native() < b.path.native(); });

    return found;
}

} // namespace

ScanResult PluginScanner::scanPaths (const std::vector<fs::path>& folders, install::PluginFormat format)
{
    try
    {
        return { true, {}, scan (folders, format) };
    }
    catch (const fs::filesystem_error& error)
    {
        return core::failure<ScanResult> (error.what());
    }
}

} // namespace zorvaplugins::zorvamanager::scan
