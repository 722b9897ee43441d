#include "cli/Console.h"
#include "cli/Listing.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

namespace
{

using namespace zorvaplugins::zorvamanager;

products::ProductRow
row (const std::string& slug, const std::string& name, const std::string& installed, const std::string& latest, bool update, bool free)
{
    products::ProductRow r;
    r.slug = slug;
    r.name = name;
    r.description = name + " for tests";
    r.installedVersion = installed;
    r.latestVersion = latest;
    r.installed = ! installed.empty();
    r.updateAvailable = update;
    r.isFree = free;
    r.formats = { "vst3", "clap" };

    if (r.installed)
        r.installedPaths = { "/home/me/.vst3/" + slug + ".vst3" };

    return r;
}

const std::vector<products::ProductRow> rows {
    row ("prism-eq", "Prism EQ", "1.9.4", "1.10.0", true, false),
    row ("room", "R\xc3\xa9-Verb", "", "2.0", false, true),
    row ("gain", "Gain", "1.1.0", "1.1.0", false, true),
};

TEST (CliListing, ProductJsonIsTheDocumentedShape)
{
    const auto document = nlohmann::ordered_json::parse (cli::productJson (rows, { 0, 1 }));
    const auto expected = nlohmann::ordered_json::parse (R"({"products": [
        {"slug": "prism-eq", "name": "Prism EQ", "description": "Prism EQ for tests", "installedVersion": "1.9.4",
         "latestVersion": "1.10.0", "installed": true, "updateAvailable": true, "free": false,
         "formats": ["clap", "vst3"], "installedPaths": ["/home/me/.vst3/prism-eq.vst3"]},
        {"slug": "room", "name": "R\u00e9-Verb", "description": "R\u00e9-Verb for tests", "installedVersion": null,
         "latestVersion": "2.0", "installed": false, "updateAvailable": false, "free": true,
         "formats": ["clap", "vst3"], "installedPaths": []}]})");
    EXPECT_EQ (document, expected);
    // Member order is part of the document, not only the members.
    EXPECT_EQ (document.dump(), expected.dump());
    EXPECT_EQ (cli::productJson (rows, {}), "{\n  \"products\": []\n}\n");
}

TEST (CliListing, TablesAlignByCharacterNotByByte)
{
    EXPECT_EQ (cli::productTable (rows, { 0, 1, 2 }),
               "NAME      SLUG      INSTALLED  LATEST  STATE             FORMATS    FREE\n"
               "Prism EQ  prism-eq  1.9.4      1.10.0  update available  clap,vst3\n"
               "R\xc3\xa9-Verb   room      -          2.0     not installed     clap,vst3  free\n"
               "Gain      gain      1.1.0      1.1.0   installed         clap,vst3  free\n");
    EXPECT_EQ (cli::productTable (rows, {}), "No products.\n");
}

TEST (CliListing, PluginsWithUnknownVersionsAndPathsThatAreNotUtf8)
{
    std::vector<scan::InstalledPlugin> plugins (2);
    plugins[0] = { install::PluginFormat::Vst3, "Gain", "/p/Gain.vst3", "1.1.0" };
    plugins[1] = { install::PluginFormat::Clap, "Bad\xff", "/p/Bad\xff.clap", "" };

    const auto document = nlohmann::json::parse (cli::pluginJson (plugins));
    ASSERT_EQ (document["plugins"].size(), 2u);
    EXPECT_EQ (document["plugins"][0],
               nlohmann::json::parse (R"({"format": "vst3", "name": "Gain", "version": "1.1.0", "path": "/p/Gain.vst3"})"));
    EXPECT_EQ (document["plugins"][1]["format"], "clap");
    EXPECT_TRUE (document["plugins"][1]["version"].is_null());
    EXPECT_EQ (document["plugins"][1]["path"], "/p/Bad\xef\xbf\xbd.clap");

    EXPECT_EQ (cli::pluginTable ({ plugins[0] }),
               "FORMAT  NAME  VERSION  PATH\n"
               "vst3    Gain  1.1.0    /p/Gain.vst3\n"
               "Installed scan: 1 plugin(s) found.\n");
    EXPECT_EQ (cli::pluginTable ({}), "Installed scan: 0 plugin(s) found.\n");
}

// What a console wrote to its two streams.
struct Captured
{
    std::unique_ptr<std::FILE, int (*) (std::FILE*)> out { std::tmpfile(), std::fclose };
    std::unique_ptr<std::FILE, int (*) (std::FILE*)> err { std::tmpfile(), std::fclose };

    static std::string read (std::FILE* file)
    {
        std::fflush (file);
        std::rewind (file);
        std::string text;

        for (int c; (c = std::fgetc (file)) != EOF;)
            text += static_cast<char> (c);

        return text;
    }
};

TEST (CliConsole, PlainLinesShowEachStepOnce)
{
    Captured captured;
    cli::Console console (captured.out.get(), captured.err.get(), false);
    console.info ("Installing Gain");
    console.activity ("Gain", "Downloading...");
    console.activity ("Gain", "Downloading... 10%");
    console.activity ("Gain", "Downloading... 90%");
    console.activity ("Gain", "Verifying...");
    console.finished ("Gain");
    console.problem ("Gain: Install failed: no space");

    EXPECT_EQ (Captured::read (captured.out.get()), "Installing Gain\nGain: Downloading...\nGain: Verifying...\n");
    EXPECT_EQ (Captured::read (captured.err.get()), "Gain: Install failed: no space\n");
}

TEST (CliConsole, LiveLinesAreRedrawnInPlaceBelowTheLog)
{
    Captured captured;
    cli::Console console (captured.out.get(), captured.err.get(), true);
    console.activity ("Gain", "Downloading... 10%");
    console.activity ("Tape", "Verifying...");
    console.activity ("Gain", "Downloading... 50%");
    console.info ("Installed /p/Tape.vst3");
    console.finished ("Tape");
    console.finished ("Gain");

    const std::string up = "\x1b[1A\x1b[2K";
    EXPECT_EQ (Captured::read (captured.out.get()), "Installed /p/Tape.vst3\n");
    EXPECT_EQ (Captured::read (captured.err.get()),
               "Gain: Downloading... 10%\n" + up + "Gain: Downloading... 10%\nTape: Verifying...\n" + up + up +
                   "Gain: Downloading... 50%\nTape: Verifying...\n" + up + up + "Gain: Downloading... 50%\nTape: Verifying...\n" + up + up +
                   "Gain: Downloading... 50%\n" + up);
}

} // namespace
