// A package archive as the download gives it: any bytes in any container and compression
// libarchive reads. Whatever it holds, extraction writes nothing outside the destination and
// nothing there but folders and regular files, keeps no descriptor open, and throws nothing
// but the file system errors its contract names; the layout check over the result likewise.
#include "FuzzSupport.h"

#include "package/ArchiveExtractor.h"
#include "package/PackageLayout.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace zorvaplugins::zorvamanager::package;

// The destination sits three folders deep in the scratch folder, so that an entry climbing
// out of it lands where the listing of the scratch folder sees it.
constexpr const char* destinationName = "outer/middle/destination";

std::vector<std::string> outsideDestination (const std::vector<std::string>& listing)
{
    const std::string inside = std::string (destinationName) + "/";
    const std::string itself = std::string (destinationName) + " (folder)";
    std::vector<std::string> outside;

    for (const auto& entry : listing)
        if (entry.rfind (inside, 0) != 0 && entry != itself)
            outside.push_back (entry);

    return outside;
}

bool endsWith (const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare (text.size() - end.size(), end.size(), end) == 0;
}

std::string readFile (const fs::path& file)
{
    std::ifstream in (file, std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
}

std::string joined (const std::vector<std::string>& lines)
{
    std::string text;

    for (const auto& line : lines)
        text += line + "; ";

    return text;
}

struct ReaderDeleter
{
    void operator() (archive* reader) const { archive_read_free (reader); }
};

// The size each regular file's last entry declares, by normalised path, as libarchive reads
// the headers (names as UTF-8, like the extractor); -1 where the archive declares none.
std::map<std::string, la_int64_t> declaredSizes (const fs::path& file)
{
    const auto utf8 = ::newlocale (LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t> (nullptr));
    const auto previous = ::uselocale (utf8);
    std::map<std::string, la_int64_t> sizes;

    std::unique_ptr<archive, ReaderDeleter> reader (archive_read_new());
    archive_read_support_filter_all (reader.get());
    archive_read_support_format_all (reader.get());

    if (archive_read_open_filename (reader.get(), file.c_str(), 65536) == ARCHIVE_OK)
    {
        archive_entry* entry = nullptr;

        while (archive_read_next_header (reader.get(), &entry) == ARCHIVE_OK)
            if (archive_entry_filetype (entry) == AE_IFREG && archive_entry_pathname (entry) != nullptr)
                sizes[fs::path (archive_entry_pathname (entry)).lexically_normal().string()] =
                    archive_entry_size_is_set (entry) ? archive_entry_size (entry) : -1;
    }

    reader.reset();
    ::uselocale (previous);
    ::freelocale (utf8);
    return sizes;
}

void checkExtraction (const fs::path& archive, const fs::path& destination)
{
    try
    {
        const auto result = ArchiveExtractor::extractToDirectory (archive, destination);
        zorvafuzz::check (result.ok == result.error.empty(), "an extraction error that does not match the outcome", result.error);
        zorvafuzz::check (result.error.find ('\n') == std::string::npos, "an extraction error of more than one line", result.error);

        if (! result.ok)
            return;

        // Every file has the length its archive declares, holes of sparse entries included.
        for (const auto& [name, size] : declaredSizes (archive))
        {
            std::error_code ec;
            const auto length = fs::file_size (destination / name, ec);
            zorvafuzz::check (size < 0 || (! ec && length == static_cast<std::uintmax_t> (size)),
                              "an extracted file of another length than declared",
                              name);
        }
    }
    catch (const std::exception& e)
    {
        zorvafuzz::check (false, "extraction threw", e.what());
    }
}

void checkLayout (const fs::path& destination)
{
    try
    {
        const auto result = PackageLayout::validateDirectory (destination);
        zorvafuzz::check (result.ok == result.error.empty(), "a layout error that does not match the outcome", result.error);

        if (! result.ok)
        {
            zorvafuzz::check (result.plugins.empty(), "a refused layout lists plug-ins", result.error);
            return;
        }

        const auto has = [&result] (const char* format) {
            return std::any_of (
                result.plugins.begin(), result.plugins.end(), [format] (const auto& plugin) { return plugin.format == format; });
        };

        zorvafuzz::check (has ("vst3") && has ("clap"), "an accepted layout without both formats");

        for (const auto& plugin : result.plugins)
        {
            const auto& relative = plugin.relativePath;
            zorvafuzz::check (relative.is_relative() && ! relative.empty(), "a plug-in path that is not relative", relative.string());
            zorvafuzz::check (std::find (relative.begin(), relative.end(), fs::path ("..")) == relative.end(),
                              "a plug-in path that climbs",
                              relative.string());
            zorvafuzz::check (plugin.name == relative.stem().string(), "a plug-in named other than its bundle", plugin.name);
        }

        zorvafuzz::check (std::is_sorted (result.plugins.begin(),
                                          result.plugins.end(),
                                          [] (const auto& a, const auto& b) {
                                              return a.relativePath.generic_string() < b.relativePath.generic_string();
                                          }),
                          "plug-ins not sorted by path");
    }
    catch (const std::exception& e)
    {
        zorvafuzz::check (false, "layout validation threw", e.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto& scratch = zorvafuzz::scratchFolder();
    const auto archive = scratch / "package.archive";
    const auto destination = scratch / destinationName;

    zorvafuzz::writeFile (archive, data, size);
    fs::create_directories (destination.parent_path());

    const auto before = zorvafuzz::listTree (scratch);
    const auto descriptors = zorvafuzz::openDescriptorCount();

    checkExtraction (archive, destination);

    const auto after = zorvafuzz::listTree (scratch);
    zorvafuzz::check (outsideDestination (after) == before, "extraction changed something outside the destination", joined (after));

    zorvafuzz::check (readFile (archive) == std::string_view (reinterpret_cast<const char*> (data), size),
                      "extraction wrote over the archive");

    for (const auto& entry : zorvafuzz::listTree (destination))
        zorvafuzz::check (endsWith (entry, " (folder)") || endsWith (entry, " (file)"),
                          "extraction made something other than a folder or a regular file",
                          entry);

    zorvafuzz::check (zorvafuzz::openDescriptorCount() == descriptors, "extraction left a descriptor open");

    checkLayout (destination);
    zorvafuzz::check (zorvafuzz::openDescriptorCount() == descriptors, "layout validation left a descriptor open");

    std::error_code ec;
    fs::remove_all (destination, ec);
    zorvafuzz::check (! ec && ! fs::exists (destination), "the destination could not be removed", destination.string());

    return 0;
}
