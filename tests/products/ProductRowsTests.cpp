#include "products/ProductRows.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager;
using products::ProductRow;
using scan::InstalledPlugin;
using Format = install::PluginFormat;
namespace fs = std::filesystem;

api::ArtifactInfo artifact (const std::string& platform, const std::string& format)
{
    api::ArtifactInfo a;
    a.platform = platform;
    a.format = format;
    return a;
}

// A catalogue product with a Linux VST3 artifact unless told otherwise.
api::ProductReleaseInfo product (const std::string& slug, const std::string& name, const std::string& latest = "1.2.0")
{
    api::ProductReleaseInfo p;
    p.slug = slug;
    p.name = name;
    p.latestVersion = latest;
    p.tagline = "tagline of " + name;
    p.releases.push_back ({ latest, "stable", "", "", "", "", { artifact ("linux-x64", "vst3") } });
    return p;
}

InstalledPlugin vst3 (const std::string& stem, const std::string& version, const std::string& folder = "/p/vst3")
{
    return { Format::Vst3, stem, fs::path (folder) / (stem + ".vst3"), version };
}

InstalledPlugin clap (const std::string& stem, const std::string& folder = "/p/clap")
{
    return { Format::Clap, stem, fs::path (folder) / (stem + ".clap"), "" };
}

products::Catalogue catalogueOf (std::vector<api::ProductReleaseInfo> items)
{
    return std::make_shared<const std::vector<api::ProductReleaseInfo>> (std::move (items));
}

ProductRow onlyRow (const api::ProductReleaseInfo& p,
                    const std::vector<InstalledPlugin>& scanned,
                    const install::InstallReceipts& receipts = {},
                    const std::map<std::string, std::string>& activities = {})
{
    const auto rows = products::buildRows (catalogueOf ({ p }), scanned, receipts, activities);
    EXPECT_EQ (rows.size(), 1u);
    return rows.at (0);
}

// What a row says about its installed state, in one comparable line.
struct Installed
{
    bool installed;
    std::string version;
    bool update;
    std::vector<fs::path> paths;

    bool operator== (const Installed& other) const
    {
        return installed == other.installed && version == other.version && update == other.update && paths == other.paths;
    }
};

std::ostream& operator<< (std::ostream& stream, const Installed& state)
{
    stream << (state.installed ? "installed" : "not installed") << " '" << state.version << "'" << (state.update ? " update" : "") << " [";

    for (const auto& path : state.paths)
        stream << path << " ";

    return stream << "]";
}

Installed stateOf (const ProductRow& row)
{
    return { row.installed, row.installedVersion, row.updateAvailable, row.installedPaths };
}

TEST (ProductRows, InstalledStateFromScanAndReceipts)
{
    const auto echo = product ("echo-delay", "Echo Delay", "1.10.0");
    const install::InstallReceipt receipt1 { "Echo Delay", "1.0.0" };
    const install::InstallReceipt receipt2 { "Echo Delay", "1.9.0" };

    struct Case
    {
        const char* what;
        api::ProductReleaseInfo product;
        std::vector<InstalledPlugin> scanned;
        install::InstallReceipts receipts;
        Installed expected;
    };

    const Case cases[] = {
        { "nothing anywhere", echo, {}, {}, { false, "", false, {} } },
        { "receipt under the name key, nothing scanned", echo, {}, { { "echodelay", receipt1 } }, { false, "1.0.0", false, {} } },
        { "a receipt under the slug key is found when the name key has none",
          product ("ed-pro", "Echo Delay"),
          {},
          { { "edpro", receipt2 } },
          { false, "1.9.0", false, {} } },
        { "the name key wins over the slug key",
          product ("ed-pro", "Echo Delay", "2.0"),
          { clap ("EchoDelay") },
          { { "edpro", receipt1 }, { "echodelay", receipt2 } },
          { true, "1.9.0", true, { "/p/clap/EchoDelay.clap" } } },
        { "a scanned version replaces the receipt's",
          echo,
          { vst3 ("Echo-Delay", "1.10.0") },
          { { "echodelay", receipt1 } },
          { true, "1.10.0", false, { "/p/vst3/Echo-Delay.vst3" } } },
        { "CLAP only, with a receipt: the receipt's version flags the update",
          echo,
          { clap ("Echo Delay") },
          { { "echodelay", receipt1 } },
          { true, "1.0.0", true, { "/p/clap/Echo Delay.clap" } } },
        { "CLAP only, without a receipt: no version, never an update",
          echo,
          { clap ("echo_delay") },
          {},
          { true, "", false, { "/p/clap/echo_delay.clap" } } },
        { "1.2.0 against 1.10.0 is older",
          product ("x", "X", "1.10.0"),
          { vst3 ("X", "1.2.0") },
          {},
          { true, "1.2.0", true, { "/p/vst3/X.vst3" } } },
        { "1.2.0 against 1.2 is the same",
          product ("x", "X", "1.2"),
          { vst3 ("X", "1.2.0") },
          {},
          { true, "1.2.0", false, { "/p/vst3/X.vst3" } } },
        { "a newer installed version is no update",
          product ("x", "X", "1.2"),
          { vst3 ("X", "1.3") },
          {},
          { true, "1.3", false, { "/p/vst3/X.vst3" } } },
        { "\"unknown\" never flags an update",
          product ("x", "X", "9.0"),
          { vst3 ("X", "unknown") },
          {},
          { true, "unknown", false, { "/p/vst3/X.vst3" } } },
        { "an empty latest version never flags an update",
          product ("x", "X", ""),
          { vst3 ("X", "1.0") },
          {},
          { true, "1.0", false, { "/p/vst3/X.vst3" } } },
        { "both formats and several folders: every path in scan order, the first non-empty version",
          echo,
          { vst3 ("EchoDelay", "", "/a"), vst3 ("echo-delay", "1.3.0", "/b"), vst3 ("Echo Delay", "1.4.0", "/c"), clap ("EchoDelay") },
          {},
          { true, "1.3.0", true, { "/a/EchoDelay.vst3", "/b/echo-delay.vst3", "/c/Echo Delay.vst3", "/p/clap/EchoDelay.clap" } } },
        { "bundles matched by name and by slug merge in scan order",
          product ("tape-pro", "Tape"),
          { vst3 ("TapePro", "1.0", "/a"), vst3 ("Tape", "1.1", "/b"), clap ("tape-pro") },
          {},
          { true, "1.0", true, { "/a/TapePro.vst3", "/b/Tape.vst3", "/p/clap/tape-pro.clap" } } },
        { "an unrelated bundle belongs to no one", echo, { vst3 ("EchoDelay2", "1.0") }, {}, { false, "", false, {} } },
    };

    for (const auto& c : cases)
        EXPECT_EQ (stateOf (onlyRow (c.product, c.scanned, c.receipts)), c.expected) << c.what;
}

TEST (ProductRows, CatalogueFieldsDescriptionFreedomAndFormats)
{
    auto plain = product ("plain", "Plain");
    plain.tagline.clear();

    auto subtitled = product ("sub", "Sub");
    subtitled.subtitle = "The subtitle";

    auto flagged = product ("gift", "Gift");
    flagged.isFree = true;

    auto capable = product ("cap", "Cap");
    capable.capabilities = { "free", "clap" };

    auto shouting = product ("loud", "Loud");
    shouting.capabilities = { "Free", "VST3" };

    auto windowsOnly = product ("win", "Win");
    windowsOnly.releases = { { "1.0", "stable", "", "", "", "", { artifact ("windows-x64", "clap") } } };

    auto none = product ("none", "None");
    none.releases.clear();

    const auto rows = products::buildRows (catalogueOf ({ plain, subtitled, flagged, capable, shouting, windowsOnly, none }), {}, {}, {});
    ASSERT_EQ (rows.size(), 7u);

    EXPECT_EQ (rows[0].description, "ZorvaPlugins audio plugin");
    EXPECT_EQ (rows[1].description, "The subtitle");
    EXPECT_EQ (rows[2].description, "tagline of Gift");

    const bool free[] = { false, false, true, true, false, false, false };
    const std::set<std::string> formats[] = { { "vst3" }, { "vst3" }, { "vst3" }, { "clap", "vst3" }, { "vst3" }, { "clap" }, {} };

    for (std::size_t i = 0; i < rows.size(); ++i)
    {
        EXPECT_EQ (rows[i].isFree, free[i]) << rows[i].name;
        EXPECT_EQ (rows[i].formats, formats[i]) << rows[i].name;
        EXPECT_TRUE (rows[i].inCatalogue);
        EXPECT_EQ (rows[i].latestVersion, "1.2.0");
    }

    EXPECT_EQ (rows[3].pictureKey, "cap");
}

TEST (ProductRows, ActivitiesComeBackWithEveryRebuild)
{
    const auto catalogue = catalogueOf ({ product ("a", "A"), product ("b", "B") });
    const std::map<std::string, std::string> activities { { "b", "Downloading... 42%" }, { "gone", "Removing..." } };

    for (int rebuild = 0; rebuild < 2; ++rebuild)
    {
        const auto rows = products::buildRows (catalogue, {}, {}, activities);
        EXPECT_EQ (rows[0].activity, "");
        EXPECT_EQ (rows[1].activity, "Downloading... 42%");
    }
}

TEST (ProductRows, NamesThatNormaliseAlikeShareBundlesAndTheRecordOutlivesItsCatalogue)
{
    auto catalogue = catalogueOf ({ product ("one", "Twin Amp"), product ("two", "twin-amp") });
    const auto rows = products::buildRows (catalogue, { vst3 ("TwinAmp", "1.0") }, {}, {});

    EXPECT_TRUE (rows[0].installed);
    EXPECT_TRUE (rows[1].installed);
    EXPECT_EQ (rows[0].info.get(), &catalogue->at (0));

    // The catalogue is replaced; the rows still hold their records.
    catalogue = catalogueOf ({});
    EXPECT_EQ (rows[1].info->slug, "two");
}

TEST (ProductRows, CountsCoverEveryRow)
{
    EXPECT_TRUE (products::buildRows (nullptr, {}, {}, {}).empty());
    EXPECT_EQ (products::countRows ({}), (products::RowCounts { 0, 0, 0 }));

    const auto rows = products::buildRows (
        catalogueOf ({ product ("a", "A"), product ("b", "B"), product ("c", "C") }), { vst3 ("A", "1.0"), vst3 ("B", "1.2.0") }, {}, {});
    EXPECT_EQ (products::countRows (rows), (products::RowCounts { 3, 2, 1 }));
}

} // namespace

namespace
{

// A name and slug without an ASCII letter or digit give an empty key, which must match
// nothing: neither the bundles whose stems have no such character either (removing the
// product would delete them all) nor a receipt filed under the empty key.
TEST (ProductRows, AnEmptyNameKeyMatchesNothing)
{
    const std::vector<InstalledPlugin> scanned = {
        vst3 ("---", "1.0"), vst3 ("\xc3\xa9\xc3\xa9", "2.0"), clap ("!!"), vst3 ("Echo", "3.0")
    };
    const install::InstallReceipts receipts = { { "", { "Old", "9.9" } } };

    for (const auto& [slug, name] : { std::pair ("\xe9\x9f\xb3", "\xe9\x9f\xb3\xe6\xa5\xbd"), std::pair ("", "***"), std::pair ("--", "") })
    {
        const auto row = onlyRow (product (slug, name), scanned, receipts);
        EXPECT_FALSE (row.installed) << name;
        EXPECT_TRUE (row.installedPaths.empty()) << name;
        EXPECT_TRUE (row.installedVersion.empty()) << name;
    }

    // A product with a key still finds its own bundle beside them.
    EXPECT_EQ (onlyRow (product ("echo", "Echo"), scanned, receipts).installedPaths, std::vector<fs::path> { "/p/vst3/Echo.vst3" });
}

} // namespace
