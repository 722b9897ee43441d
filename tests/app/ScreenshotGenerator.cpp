#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"

#include "api/ReleaseCatalogueParser.h"
#include "install/InstallReceipts.h"

#include <gtest/gtest.h>

// The window's states as pictures, for people to look at: loaded (one product current, one
// with an update), scrolled, in remove mode, with a job running, while loading, after a failed
// first load, at the smallest size and at 1400 x 900. Runs only when ZORVAMANAGER_SCREENSHOT_DIR
// names a folder for the pictures and ZORVAMANAGER_SCREENSHOT_DATA the demo data to serve
// (scripts/screenshots sets both).
namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

class Screenshots : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = zorvatest::environment ("ZORVAMANAGER_SCREENSHOT_DATA");

        if (zorvatest::environment ("ZORVAMANAGER_SCREENSHOT_DIR").empty() || data.empty())
            GTEST_SKIP() << "set ZORVAMANAGER_SCREENSHOT_DIR and ZORVAMANAGER_SCREENSHOT_DATA (scripts/screenshots does)";

        if (! MakerServiceInstance::available())
            GTEST_SKIP() << "no local HTTPS service";

        fs::copy (data, service.dataFolder(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        ASSERT_TRUE (service.start());
    }

    void snap (const juce::String& name, float scale = 1.0f)
    {
        // The pictures of the cards on screen and nearby arrive after the catalogue.
        ZorvaManagerComponentProbe shown (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
        pumpFor (150);
        pumpUntil ([&shown] { return shown.pictures().jobKeys().empty(); }, 10000);
        uidriver::screenshot (*window->getContentComponent(), name, scale);
    }

    std::unique_ptr<ZorvaManagerComponentProbe> openWindow (ManagerController::CatalogueLoader loader = {})
    {
        window = std::make_unique<MainWindow> ("ZorvaManager", std::move (loader));
        return std::make_unique<ZorvaManagerComponentProbe> (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
    }

    fs::path data;
    MakerServiceInstance service;
    apptest::ScopedHome home;
    std::unique_ptr<MainWindow> window;
};

TEST_F (Screenshots, EveryStateOfTheWindow)
{
    // One product installed at its latest version, one at an older one.
    const auto catalogue = api::ReleaseCatalogueParser::parse (zorvatest::readFile (data / "api/manager/releases"));
    ASSERT_TRUE (catalogue.ok) << catalogue.error;
    ASSERT_GE (catalogue.products.size(), 3u);
    const auto& current = catalogue.products[0];
    const auto& outdated = catalogue.products[1];
    apptest::installVst3 (home.vst3(), current.name, current.latestVersion);
    apptest::installVst3 (home.vst3(), outdated.name, "0.9.0");
    apptest::installClap (home.clap(), outdated.name);
    install::saveReceipt (outdated.name, outdated.slug, "0.9.0");

    auto probe = openWindow();
    ASSERT_TRUE (pumpUntil ([&probe] { return ! probe->loading(); }, 60000));
    ASSERT_TRUE (probe->catalogueLoaded()) << probe->logLines().joinIntoString ("\n");
    snap ("01-loaded");

    uidriver::wheelAt (probe->list(), probe->list().rowsArea().getCentre(), -1.2f);
    snap ("02-scrolled");

    probe->button ("removeModeToggle").triggerClick();
    snap ("03-remove-mode");
    probe->button ("installModeToggle").triggerClick();
    pumpFor (100);

    probe->controller().setRowActivity (catalogue.products[2].slug, "Downloading... 42%");
    probe->controller().setRowActivity (catalogue.products[3].slug, "Verifying...");
    uidriver::wheelAt (probe->list(), probe->list().rowsArea().getCentre(), -1.2f);
    uidriver::clickAt (probe->list(), probe->list().cardBounds (3).getCentre().withX (200));
    snap ("04-busy");
    probe->controller().setRowActivity (catalogue.products[2].slug, {});
    probe->controller().setRowActivity (catalogue.products[3].slug, {});

    // The keyboard in use: the list's focus ring, and the selection moved by a key.
    uidriver::pressKey (probe->component, juce::KeyPress (juce::KeyPress::downKey));
    snap ("09-keyboard-list");
    probe->control<juce::TextEditor> ("searchEditor").grabKeyboardFocus();
    uidriver::pressKey (probe->component, juce::KeyPress (juce::KeyPress::tabKey));
    snap ("10-keyboard-tab");

    window->setSize (ZorvaManagerComponent::minimumWidth, ZorvaManagerComponent::minimumHeight);
    snap ("07-minimum");
    window->setSize (1400, 900);
    snap ("08-large");
    window.reset();

    std::atomic<bool> release { false };
    auto loading = openWindow ([&release] (const std::atomic<bool>* cancel) {
        while (! release && ! cancel->load())
            std::this_thread::sleep_for (std::chrono::milliseconds (10));

        return apptest::loaded ({});
    });
    snap ("05-loading");
    release = true;
    window.reset();

    auto failed =
        openWindow ([] (const std::atomic<bool>*) { return apptest::failed ("Catalogue fetch failed: Couldn't connect to server"); });
    ASSERT_TRUE (pumpUntil ([&failed] { return ! failed->loading(); }, 10000));
    snap ("06-failed");
    window.reset();

    // A desktop scale of 2: the window opens at twice the size in device pixels, drawn for them.
    juce::Desktop::getInstance().setGlobalScaleFactor (2.0f);
    auto doubled = openWindow();
    ASSERT_TRUE (pumpUntil ([&doubled] { return ! doubled->loading(); }, 60000));
    snap ("11-loaded-2x", 2.0f);
    uidriver::wheelAt (doubled->list(), doubled->list().rowsArea().getCentre(), -1.2f);
    snap ("12-scrolled-2x", 2.0f);
    window.reset();
    juce::Desktop::getInstance().setGlobalScaleFactor (1.0f);
}

} // namespace
