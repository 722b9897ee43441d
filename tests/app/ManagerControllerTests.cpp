#include "AppFixtures.h"
#include "MakerServiceFixture.h"
#include "ManagerController.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

namespace
{

using namespace zorvaplugins::zorvamanager;
using products::ProductFilter;
using ActionMode = products::ActionMode;
namespace fs = std::filesystem;

// Hands out prepared catalogue loads, one per refresh, from the pool thread.
class ScriptedCatalogue
{
public:
    void push (std::shared_ptr<const WindowCatalogue> load)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        loads.push_back (std::move (load));
    }

    ManagerController::CatalogueLoader loader()
    {
        return [this] (const std::atomic<bool>*) {
            const std::lock_guard<std::mutex> lock (mutex);

            if (loads.empty())
                return apptest::failed ("Catalogue fetch failed: nothing scripted");

            auto next = loads.front();
            loads.pop_front();
            return next;
        };
    }

private:
    std::mutex mutex;
    std::deque<std::shared_ptr<const WindowCatalogue>> loads;
};

// The catalogue state of the controller, as the window's buttons and rows show it.
struct State
{
    bool loading, loaded, refreshAvailable, bulkActions, rowActions;

    bool operator== (const State& other) const
    {
        return loading == other.loading && loaded == other.loaded && refreshAvailable == other.refreshAvailable &&
            bulkActions == other.bulkActions && rowActions == other.rowActions;
    }
};

std::ostream& operator<< (std::ostream& stream, const State& s)
{
    return stream << "loading " << s.loading << " loaded " << s.loaded << " refresh " << s.refreshAvailable << " bulk " << s.bulkActions
                  << " rows " << s.rowActions;
}

// A controller without a window, its log lines collected.
class Controller : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller.onLog = [this] (LogLevel level, const juce::String& message) { lines.add (logLevelText (level) + " " + message); };
    }

    void refreshAndWait()
    {
        controller.refreshCatalogue();
        ASSERT_TRUE (pumpUntil ([this] { return ! controller.isLoading(); }, 10000));
    }

    State state() const
    {
        return { controller.isLoading(),
                 controller.isCatalogueLoaded(),
                 ! controller.isLoading(),
                 controller.bulkActionsEnabled(),
                 controller.productList().actionsEnabled() };
    }

    std::vector<std::string> visibleSlugs()
    {
        std::vector<std::string> slugs;

        for (const auto index : controller.productList().visibleRows())
            slugs.push_back (controller.productList().rows()[index].slug);

        return slugs;
    }

    std::string selectedSlug()
    {
        const auto index = controller.productList().selectedIndex();
        return index < 0 ? std::string ("(none)") : controller.productList().rows()[static_cast<std::size_t> (index)].slug;
    }

    apptest::ScopedHome home;
    ScriptedCatalogue script;
    ManagerController controller { script.loader() };
    juce::StringArray lines;
};

TEST_F (Controller, CatalogueRefreshFollowsItsStateTable)
{
    EXPECT_EQ (state(), (State { false, false, true, false, false })) << "before the first load";

    script.push (apptest::failed ("Catalogue fetch failed: Couldn't connect to server"));
    controller.refreshCatalogue();
    controller.refreshCatalogue(); // refused while the first runs
    EXPECT_EQ (state(), (State { true, false, false, false, false })) << "first load running";
    EXPECT_EQ (controller.statusText(), "Loading products...");

    ASSERT_TRUE (pumpUntil ([this] { return ! controller.isLoading(); }, 10000));
    EXPECT_EQ (state(), (State { false, false, true, false, false })) << "first load failed";
    EXPECT_EQ (controller.productList().failure(), "Catalogue fetch failed: Couldn't connect to server");
    EXPECT_EQ (lines, juce::StringArray ({ "INFO Loading products...", "ERROR Catalogue fetch failed: Couldn't connect to server" }));

    script.push (apptest::loaded ({ apptest::product ("a", "Alpha"), apptest::product ("b", "Beta") }));
    refreshAndWait();
    EXPECT_EQ (state(), (State { false, true, true, true, true })) << "loaded";
    EXPECT_TRUE (controller.productList().failure().isEmpty());
    EXPECT_EQ (controller.statusText(), "Catalogue loaded: 2 product(s).");
    EXPECT_EQ (lines[lines.size() - 2], "INFO Installed scan: 0 plugin(s) found.");
    EXPECT_EQ (lines[lines.size() - 1], "INFO Catalogue loaded: 2 product(s).");

    script.push (apptest::failed ("Invalid catalogue: missing products"));
    controller.refreshCatalogue();
    EXPECT_EQ (state(), (State { true, true, false, false, false })) << "reload running";

    ASSERT_TRUE (pumpUntil ([this] { return ! controller.isLoading(); }, 10000));
    EXPECT_EQ (state(), (State { false, true, true, true, true })) << "reload failed";
    EXPECT_EQ (controller.catalogue()->size(), 2u);
    EXPECT_EQ (controller.productList().rows().size(), 2u);
    EXPECT_TRUE (controller.productList().failure().isEmpty()) << "an earlier catalogue is still shown";
    EXPECT_EQ (lines.size(), 7);
    EXPECT_EQ (lines[5], "INFO Loading products...");
    EXPECT_EQ (lines[6], "ERROR Invalid catalogue: missing products");
}

TEST_F (Controller, EmptyCatalogueLoadsAndEnablesTheActions)
{
    script.push (apptest::loaded ({}));
    refreshAndWait();

    EXPECT_EQ (state(), (State { false, true, true, true, true }));
    EXPECT_EQ (controller.statusText(), "Catalogue loaded: 0 product(s).");
    EXPECT_EQ (controller.productList().selectedIndex(), -1);
}

TEST_F (Controller, FiltersSearchAndSelection)
{
    apptest::installVst3 (home.vst3(), "Tape Echo", "1.0.0"); // older than 1.2.0: update
    apptest::installVst3 (home.vst3(), "RoomVerb", "1.2.0");  // current
    auto gift = apptest::product ("gift", "Gift Box");
    gift.isFree = true;
    auto clapOnly = apptest::product ("claptrap", "Clap Trap");
    clapOnly.capabilities = { "clap" };
    clapOnly.releases[0].artifacts.erase (clapOnly.releases[0].artifacts.begin());

    script.push (
        apptest::loaded ({ apptest::product ("tape-echo", "Tape Echo"), apptest::product ("room-verb", "Room Verb"), gift, clapOnly }));
    refreshAndWait();

    EXPECT_EQ (controller.productList().counts(), (products::RowCounts { 4, 2, 1 }));

    struct Case
    {
        FilterSettings settings;
        std::vector<std::string> visible;
    };

    const auto settings = [] (juce::String search, bool vst3, bool clap, ProductFilter filter) {
        return FilterSettings { std::move (search), vst3, clap, filter, ActionMode::installOrUpdate };
    };

    const Case cases[] = {
        { settings ("", true, true, ProductFilter::allProducts), { "tape-echo", "room-verb", "gift", "claptrap" } },
        { settings ("", true, true, ProductFilter::myProducts), { "tape-echo", "room-verb" } },
        { settings ("", true, true, ProductFilter::freeProducts), { "gift" } },
        { settings ("", true, true, ProductFilter::myUpdates), { "tape-echo" } },
        { settings ("", true, false, ProductFilter::allProducts), { "tape-echo", "room-verb", "gift" } },
        { settings ("", false, true, ProductFilter::allProducts), { "tape-echo", "room-verb", "gift", "claptrap" } },
        { settings ("  VERB ", true, true, ProductFilter::allProducts), { "room-verb" } },
        { settings ("for tests", true, true, ProductFilter::myProducts), { "tape-echo", "room-verb" } },
        { settings ("clap-", true, true, ProductFilter::allProducts), {} },
        { settings ("trap", true, false, ProductFilter::allProducts), {} },
    };

    for (const auto& c : cases)
    {
        // Each change starts from another row selected; the selection moves to the first visible.
        controller.selectRow (3);
        controller.updateProductFilters (c.settings);
        EXPECT_EQ (visibleSlugs(), c.visible) << c.settings.searchText;
        EXPECT_EQ (selectedSlug(), c.visible.empty() ? "(none)" : c.visible.front()) << c.settings.searchText;
        EXPECT_EQ (controller.productList().counts(), (products::RowCounts { 4, 2, 1 })) << "counters cover every row";
    }
}

TEST_F (Controller, ARescanKeepsTheSelectedProductAndItsActivity)
{
    script.push (apptest::loaded ({ apptest::product ("a", "Alpha"), apptest::product ("b", "Beta"), apptest::product ("c", "Gamma") }));
    refreshAndWait();
    EXPECT_EQ (selectedSlug(), "a");

    controller.selectRow (2);
    controller.setRowActivity ("b", "Downloading... 10%");
    apptest::installClap (home.clap(), "Beta");
    controller.scanInstalled();

    EXPECT_EQ (selectedSlug(), "c");
    EXPECT_EQ (controller.productList().rows()[1].activity, "Downloading... 10%");
    EXPECT_TRUE (controller.productList().rows()[1].installed);

    // Filtered out of view, the selected product gives way to the first visible row.
    controller.updateProductFilters ({ "", true, true, ProductFilter::myProducts, ActionMode::installOrUpdate });
    EXPECT_EQ (selectedSlug(), "b");
    controller.updateProductFilters ({});
    controller.selectRow (2);
    fs::remove (home.clap() / "Beta.clap");
    script.push (apptest::loaded ({ apptest::product ("a", "Alpha"), apptest::product ("c", "Gamma") }));
    refreshAndWait();
    EXPECT_EQ (selectedSlug(), "a") << "a new catalogue starts at the top";
}

TEST_F (Controller, InstalledScanFindsBothFormatsInTheChosenAndDefaultFolders)
{
    const auto custom = home.path() / "custom vst3";
    apptest::installVst3 (home.vst3(), "Echo", "1.0");
    apptest::installVst3 (custom, "Reverb", "2.0");
    apptest::installClap (home.clap(), "Echo");

    controller.scanInstalled();
    EXPECT_EQ (controller.statusText(), "Installed scan: 2 plugin(s) found.");

    controller.setInstallFolder (install::PluginFormat::Vst3, custom);
    EXPECT_EQ (controller.statusText(), "Installed scan: 3 plugin(s) found.");
    // VST3 findings sorted by path, then the CLAP findings.
    std::vector<fs::path> paths;

    for (const auto& plugin : controller.installedPlugins())
        paths.push_back (plugin.path);

    EXPECT_EQ (paths, (std::vector<fs::path> { home.vst3() / "Echo.vst3", custom / "Reverb.vst3", home.clap() / "Echo.clap" }));

    // Choosing the default folder again scans nothing twice.
    controller.setInstallFolder (install::PluginFormat::Vst3, home.vst3());
    EXPECT_EQ (controller.statusText(), "Installed scan: 2 plugin(s) found.");
}

TEST_F (Controller, ChosenFoldersSurviveARestartAndResetRestoresTheDefaults)
{
    controller.setInstallFolder (install::PluginFormat::Vst3, "/opt/plugins/vst3");
    controller.setInstallFolder (install::PluginFormat::Clap, "/opt/plugins/clap");

    // The settings are written off the message thread; a restart comes after that.
    ASSERT_TRUE (pumpUntil ([this] { return controller.runningJobs() == 0; }, 10000));

    {
        ManagerController restarted { script.loader() };
        EXPECT_EQ (restarted.installFolder (install::PluginFormat::Vst3), fs::path ("/opt/plugins/vst3"));
        EXPECT_EQ (restarted.installFolder (install::PluginFormat::Clap), fs::path ("/opt/plugins/clap"));
    }

    lines.clear();
    controller.resetInstallFolders();
    EXPECT_EQ (lines[0], "INFO Default install paths restored");
    EXPECT_TRUE (lines[1].startsWith ("INFO Installed scan: "));
    EXPECT_EQ (lines.size(), 2);
    ASSERT_TRUE (pumpUntil ([this] { return controller.runningJobs() == 0; }, 10000));

    ManagerController afterReset { script.loader() };
    EXPECT_EQ (afterReset.installFolder (install::PluginFormat::Vst3), home.vst3());
    EXPECT_EQ (afterReset.installFolder (install::PluginFormat::Clap), home.clap());

    // A damaged settings file reads as the defaults.
    zorvatest::writeFile (install::installFolderSettingsPath(), "{\"vst3Folder\": [");
    ManagerController damaged { script.loader() };
    EXPECT_EQ (damaged.installFolder (install::PluginFormat::Vst3), home.vst3());
}

} // namespace

namespace
{
// Ten products, a..j; "c" installed and current.
std::vector<api::ProductReleaseInfo> tenProducts()
{
    std::vector<api::ProductReleaseInfo> products;

    for (char c = 'a'; c <= 'j'; ++c)
        products.push_back (apptest::product (std::string (1, c), std::string ("Product ") + c));

    return products;
}
} // namespace

// The list's keys move the selection among the visible rows only, a page at a time as the list
// says, and stop at either end; every move tells the list to keep the selection in view.
TEST_F (Controller, KeysMoveTheSelectionAmongTheVisibleRows)
{
    using Move = ManagerController::SelectionMove;
    script.push (apptest::loaded (tenProducts()));
    refreshAndWait();

    struct Listener : ProductListModel::Listener
    {
        void productListChanged (ProductListModel::Change change) override { changes.push_back (change); }
        std::vector<ProductListModel::Change> changes;
    } listener;

    controller.productList().addListener (&listener);

    const struct
    {
        Move move;
        int rowsPerPage;
        const char* expected;
    } steps[] = {
        { Move::down, 3, "b" },     { Move::down, 3, "c" },     { Move::up, 3, "b" },     { Move::pageDown, 3, "e" },
        { Move::pageDown, 4, "i" }, { Move::pageDown, 4, "j" }, { Move::down, 3, "j" },   { Move::pageUp, 4, "f" },
        { Move::home, 3, "a" },     { Move::up, 3, "a" },       { Move::pageUp, 3, "a" }, { Move::end, 3, "j" },
        { Move::pageUp, 0, "i" }, // a page is at least one row
    };

    EXPECT_EQ (selectedSlug(), "a");

    for (const auto& step : steps)
    {
        controller.moveSelection (step.move, step.rowsPerPage);
        EXPECT_EQ (selectedSlug(), step.expected) << static_cast<int> (step.move) << " by " << step.rowsPerPage;
        ASSERT_FALSE (listener.changes.empty());
        EXPECT_EQ (listener.changes.back(), ProductListModel::Change::selectionMoved);
    }

    // Filtered: only what is shown is reached.
    controller.updateProductFilters ({ "product e", true, true, ProductFilter::allProducts, ActionMode::installOrUpdate });
    EXPECT_EQ (visibleSlugs(), std::vector<std::string> ({ "e" }));
    controller.moveSelection (Move::down, 3);
    EXPECT_EQ (selectedSlug(), "e");

    // Nothing selected: a move selects the first visible row (End the last); nothing shown: no move.
    controller.updateProductFilters ({ "", true, true, ProductFilter::allProducts, ActionMode::installOrUpdate });
    controller.selectRow (-1);
    controller.moveSelection (Move::down, 3);
    EXPECT_EQ (selectedSlug(), "a");
    controller.selectRow (-1);
    controller.moveSelection (Move::end, 3);
    EXPECT_EQ (selectedSlug(), "j");
    controller.updateProductFilters ({ "nothing like this", true, true, ProductFilter::allProducts, ActionMode::installOrUpdate });
    controller.moveSelection (Move::down, 3);
    EXPECT_EQ (selectedSlug(), "(none)");

    controller.productList().removeListener (&listener);
}

// Enter or Space acts on the selected row as a click on its button would: never while a
// catalogue loads, never on a row whose button does not act (installed and current in install
// mode, not installed in remove mode), and never without a visible selection.
TEST_F (Controller, ActivatingTheSelectionFollowsTheClickRules)
{
    apptest::installVst3 (home.vst3(), "Product c", "1.2.0");
    script.push (apptest::loaded (tenProducts()));
    refreshAndWait();

    std::vector<std::string> acted;
    const auto actOn = [&] (const std::string& slug) {
        controller.selectRow (controller.productList().indexOfSlug (slug));
        const auto before = lines.size();
        const auto result = controller.activateSelection();

        if (result)
            acted.push_back (slug);

        return result && lines.size() > before;
    };

    // Install mode: "c" is current (its button does nothing), "a" installs (its job is
    // started: a log line and a busy row).
    EXPECT_FALSE (actOn ("c"));
    EXPECT_TRUE (actOn ("a"));
    EXPECT_FALSE (controller.productList().rows()[static_cast<std::size_t> (controller.productList().indexOfSlug ("a"))].activity.empty());
    EXPECT_FALSE (actOn ("a")) << "a busy row refuses a second start";

    // Remove mode: "b" is not installed.
    controller.updateProductFilters ({ "", true, true, ProductFilter::allProducts, ActionMode::remove });
    EXPECT_FALSE (actOn ("b"));

    // While a catalogue loads, nothing acts.
    controller.updateProductFilters ({ "", true, true, ProductFilter::allProducts, ActionMode::installOrUpdate });
    script.push (apptest::loaded (tenProducts()));
    controller.refreshCatalogue();
    EXPECT_FALSE (actOn ("d"));
    ASSERT_TRUE (pumpUntil ([this] { return ! controller.isLoading(); }, 10000));

    // No selection, or one filtered out of view.
    controller.selectRow (-1);
    EXPECT_FALSE (controller.activateSelection());
    EXPECT_EQ (acted, std::vector<std::string> ({ "a" }));
    ASSERT_TRUE (pumpUntil ([this] { return controller.runningJobs() == 0 && controller.activities().empty(); }, 30000));
}
