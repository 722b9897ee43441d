#include "cli/Listing.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace zorvaplugins::zorvamanager::cli
{

namespace
{

using Json = nlohmann::ordered_json;

std::size_t characterCount (const std::string& text)
{
    return static_cast<std::size_t> (
        std::count_if (text.begin(), text.end(), [] (char c) { return (static_cast<unsigned char> (c) & 0xC0) != 0x80; }));
}

// Columns separated by two spaces, each as wide as its widest cell; the last one unpadded.
std::string table (const std::vector<std::vector<std::string>>& lines)
{
    std::vector<std::size_t> widths;

    for (const auto& line : lines)
        for (std::size_t column = 0; column < line.size(); ++column)
        {
            widths.resize (std::max (widths.size(), column + 1));
            widths[column] = std::max (widths[column], characterCount (line[column]));
        }

    std::string text;

    for (const auto& line : lines)
    {
        std::string row;

        for (std::size_t column = 0; column < line.size(); ++column)
        {
            row += line[column];

            if (column + 1 < line.size())
                row += std::string (widths[column] - characterCount (line[column]) + 2, ' ');
        }

        while (! row.empty() && row.back() == ' ')
            row.pop_back();

        text += row + "\n";
    }

    return text;
}

std::string joined (const std::set<std::string>& items)
{
    std::string text;

    for (const auto& item : items)
        text += (text.empty() ? "" : ",") + item;

    return text;
}

Json optionalText (const std::string& text)
{
    return text.empty() ? Json (nullptr) : Json (text);
}

std::string dumped (const Json& document)
{
    // Paths need not be UTF-8; a stray byte becomes U+FFFD rather than failing the output.
    return document.dump (2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

std::string stateText (const products::ProductRow& row)
{
    if (row.updateAvailable)
        return "update available";

    return row.installed ? "installed" : "not installed";
}

std::string productTable (const std::vector<products::ProductRow>& rows, const std::vector<std::size_t>& shown)
{
    if (shown.empty())
        return "No products.\n";

    std::vector<std::vector<std::string>> lines { { "NAME", "SLUG", "INSTALLED", "LATEST", "STATE", "FORMATS", "FREE" } };

    for (const auto index : shown)
    {
        const auto& row = rows[index];
        lines.push_back ({ row.name,
                           row.slug,
                           row.installedVersion.empty() ? (row.installed ? "?" : "-") : row.installedVersion,
                           row.latestVersion,
                           stateText (row),
                           joined (row.formats),
                           row.isFree ? "free" : "" });
    }

    return table (lines);
}

std::string productJson (const std::vector<products::ProductRow>& rows, const std::vector<std::size_t>& shown)
{
    auto list = Json::array();

    for (const auto index : shown)
    {
        const auto& row = rows[index];
        auto paths = Json::array();

        for (const auto& path : row.installedPaths)
            paths.push_back (path.string());

        Json product;
        product["slug"] = row.slug;
        product["name"] = row.name;
        product["description"] = row.description;
        product["installedVersion"] = optionalText (row.installedVersion);
        product["latestVersion"] = row.latestVersion;
        product["installed"] = row.installed;
        product["updateAvailable"] = row.updateAvailable;
        product["free"] = row.isFree;
        product["formats"] = Json (std::vector<std::string> (row.formats.begin(), row.formats.end()));
        product["installedPaths"] = std::move (paths);
        list.push_back (std::move (product));
    }

    Json document;
    document["products"] = std::move (list);
    return dumped (document);
}

std::string pluginTable (const std::vector<scan::InstalledPlugin>& plugins)
{
    std::string text;

    if (! plugins.empty())
    {
        std::vector<std::vector<std::string>> lines { { "FORMAT", "NAME", "VERSION", "PATH" } };

        for (const auto& plugin : plugins)
            lines.push_back (
                { install::formatName (plugin.format), plugin.name, plugin.version.empty() ? "-" : plugin.version, plugin.path.string() });

        text = table (lines);
    }

    return text + "Installed scan: " + std::to_string (plugins.size()) + " plugin(s) found.\n";
}

std::string pluginJson (const std::vector<scan::InstalledPlugin>& plugins)
{
    auto list = Json::array();

    for (const auto& plugin : plugins)
    {
        Json entry;
        entry["format"] = install::formatName (plugin.format);
        entry["name"] = plugin.name;
        entry["version"] = optionalText (plugin.version);
        entry["path"] = plugin.path.string();
        list.push_back (std::move (entry));
    }

    Json document;
    document["plugins"] = std::move (list);
    return dumped (document);
}

} // namespace zorvaplugins::zorvamanager::cli
