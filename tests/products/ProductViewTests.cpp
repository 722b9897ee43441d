#include "products/ProductView.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager::products;

ProductRow row (const std::string& slug,
                const std::string& name,
                std::set<std::string> formats,
                bool installed = false,
                bool update = false,
                bool free = false)
{
    ProductRow r;
    r.slug = slug;
    r.name = name;
    r.description = "A " + name + " for everyone";
    r.formats = std::move (formats);
    r.installed = installed;
    r.updateAvailable = update;
    r.isFree = free;
    r.inCatalogue = true;
    return r;
}

const std::vector<ProductRow> rows {
    row ("tape-echo", "Tape Echo", { "vst3", "clap" }, true, true),
    row ("room-verb", "R\xc3\xa9-Verb", { "vst3" }, true, false, true),
    row ("clap-only", "Only Clap", { "clap" }, false, false, true),
    row ("no-format", "Formless", {}),
    row ("gain", "Gain", { "vst3" }),
};

TEST (VisibleRows, SearchFormatAndProductFilters)
{
    struct Case
    {
        const char* what;
        RowFilter filter;
        std::vector<std::size_t> expected;
    };

    const auto filter = [] (std::string search, bool vst3, bool clap, ProductFilter product) {
        return RowFilter { std::move (search), vst3, clap, product };
    };

    const Case cases[] = {
        { "everything with a shown format", filter ("", true, true, ProductFilter::allProducts), { 0, 1, 2, 4 } },
        { "VST3 only hides the CLAP-only product", filter ("", true, false, ProductFilter::allProducts), { 0, 1, 4 } },
        { "CLAP only", filter ("", false, true, ProductFilter::allProducts), { 0, 2 } },
        { "no format shown shows nothing", filter ("", false, false, ProductFilter::allProducts), {} },
        { "my products", filter ("", true, true, ProductFilter::myProducts), { 0, 1 } },
        { "free products", filter ("", true, true, ProductFilter::freeProducts), { 1, 2 } },
        { "my updates", filter ("", true, true, ProductFilter::myUpdates), { 0 } },
        { "search in the name, any case", filter ("ECHO", true, true, ProductFilter::allProducts), { 0 } },
        { "search in the description", filter ("for every", true, true, ProductFilter::allProducts), { 0, 1, 2, 4 } },
        { "search in the slug", filter ("clap-on", true, true, ProductFilter::allProducts), { 2 } },
        { "surrounding white space is ignored", filter ("  \tgain \n", true, true, ProductFilter::allProducts), { 4 } },
        { "accented capitals match their small letters", filter ("R\xc3\x89-V", true, true, ProductFilter::allProducts), { 1 } },
        { "a search that matches nothing", filter ("zzz", true, true, ProductFilter::allProducts), {} },
        { "search and filters together", filter ("a", true, false, ProductFilter::freeProducts), { 1 } },
        { "only spaces is no search", filter ("   ", false, true, ProductFilter::allProducts), { 0, 2 } },
    };

    for (const auto& c : cases)
        EXPECT_EQ (visibleRowIndices (rows, c.filter), c.expected) << c.what;
}

TEST (VisibleRows, TextThatIsNotUtf8OnlyMatchesItself)
{
    const std::vector<ProductRow> odd { row ("odd", "Bad \xff byte", { "vst3" }), row ("other", "Good", { "vst3" }) };

    EXPECT_EQ (visibleRowIndices (odd, { "\xff", true, true, ProductFilter::allProducts }), (std::vector<std::size_t> { 0 }));
    EXPECT_EQ (visibleRowIndices (odd, { "\xc3", true, true, ProductFilter::allProducts }), (std::vector<std::size_t> {}));
}

TEST (RowButtons, OneRuleForWhatIsShownAndWhatActs)
{
    auto busy = row ("b", "B", { "vst3" });
    busy.activity = "Verifying...";
    const auto fresh = row ("f", "F", { "vst3" });
    const auto current = row ("c", "C", { "vst3" }, true);
    const auto outdated = row ("o", "O", { "vst3" }, true, true);
    auto foreign = row ("x", "X", { "vst3" });
    foreign.inCatalogue = false;

    struct Case
    {
        const ProductRow& row;
        ActionMode mode;
        bool enabled;
        RowButton expected;
    };

    const auto install = ActionMode::installOrUpdate;
    const auto remove = ActionMode::remove;

    const Case cases[] = {
        { busy, install, true, RowButton::busy },
        { busy, remove, false, RowButton::busy },
        { fresh, install, false, RowButton::unavailable },
        { current, remove, false, RowButton::unavailable },
        { fresh, install, true, RowButton::installNew },
        { outdated, install, true, RowButton::update },
        { current, install, true, RowButton::upToDate },
        { current, remove, true, RowButton::remove },
        { outdated, remove, true, RowButton::remove },
        { fresh, remove, true, RowButton::notInstalled },
        { foreign, install, true, RowButton::notInstalled },
    };

    for (const auto& c : cases)
        EXPECT_EQ (rowButton (c.row, c.mode, c.enabled), c.expected)
            << c.row.name << " " << (c.mode == remove ? "remove" : "install") << " " << c.enabled;

    const std::pair<RowButton, bool> acting[] = { { RowButton::busy, false },      { RowButton::unavailable, false },
                                                  { RowButton::remove, true },     { RowButton::notInstalled, false },
                                                  { RowButton::installNew, true }, { RowButton::update, true },
                                                  { RowButton::upToDate, false } };

    for (const auto& [button, acts] : acting)
        EXPECT_EQ (buttonActs (button), acts) << static_cast<int> (button);
}

TEST (BulkCandidates, FollowTheViewAndItsOrder)
{
    const std::vector<std::size_t> all { 0, 1, 2, 3, 4 };

    EXPECT_EQ (installCandidates (rows, all), (std::vector<std::string> { "tape-echo", "clap-only", "no-format", "gain" }));
    EXPECT_EQ (installCandidates (rows, { 4, 0 }), (std::vector<std::string> { "gain", "tape-echo" }));
    EXPECT_EQ (installCandidates (rows, { 1 }), std::vector<std::string> {});
    EXPECT_EQ (uninstallCandidates (rows, all), (std::vector<std::string> { "tape-echo", "room-verb" }));
    EXPECT_EQ (uninstallCandidates (rows, { 2, 4 }), std::vector<std::string> {});
    EXPECT_EQ (uninstallCandidates (rows, { 99 }), std::vector<std::string> {});
}

} // namespace
