#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"

#include <gtest/gtest.h>

#include <regex>

namespace
{
void expectState (const ZorvaManagerComponentProbe& probe, ZorvaManagerComponentProbe::State expected, const char* what)
{
    const auto actual = probe.state();
    EXPECT_EQ (actual.loading, expected.loading) << what;
    EXPECT_EQ (actual.catalogueLoaded, expected.catalogueLoaded) << what;
    EXPECT_EQ (actual.refreshAndScan, expected.refreshAndScan) << what;
    EXPECT_EQ (actual.bulkActions, expected.bulkActions) << what;
    EXPECT_EQ (actual.actionsEnabled, expected.actionsEnabled) << what;
    EXPECT_EQ (probe.installAllEnabled(), probe.uninstallAllEnabled()) << what;
    EXPECT_EQ (probe.refreshEnabled(), probe.scanEnabled()) << what;
}

constexpr ZorvaManagerComponentProbe::State firstLoadRunning { true, false, false, false, false };
constexpr ZorvaManagerComponentProbe::State firstLoadFailed { false, false, true, false, false };
constexpr ZorvaManagerComponentProbe::State loaded { false, true, true, true, true };
constexpr ZorvaManagerComponentProbe::State reloadRunning { true, true, false, false, false };
constexpr ZorvaManagerComponentProbe::State reloadFailed { false, true, true, true, true };

constexpr int loadTimeoutMs = 60000;

class CatalogueRefresh : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (! MakerServiceInstance::available())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";

        const auto base = MakerServiceInstance::baseUrl();
        service.addProductPage ("tape-echo",
                                R"(<html><head><meta property="og:image" content=")" + base + R"(/images/tape-echo.png"></head></html>)");
        service.addPicture ("tape-echo", juce::Colours::orange);
        service.addProductPage ("room-verb",
                                R"(<meta property='og:image:width' content='64'><meta property='og:image' content=')" + base +
                                    R"(/images/room-verb.png'>)");
        service.addPicture ("room-verb", juce::Colours::teal);
        service.addProductPage ("gain-tool", "<html><head><title>No picture here</title></head></html>");
        service.addProductPage ("broken-picture", R"(<meta property="og:image" content=")" + base + R"(/images/broken.png">)");
        zorvatest::writeFile (service.dataFolder() / "images/broken.png", "this is not an image");

        service.setCatalogue (MakerServiceInstance::catalogueOf (
            MakerServiceInstance::product ("tape-echo", "Tape Echo", base + "/products/tape-echo/index.html") + "," +
            MakerServiceInstance::product ("room-verb", "Room Verb", base + "/products/room-verb/index.html") + "," +
            MakerServiceInstance::product ("gain-tool", "Gain Tool", base + "/products/gain-tool/index.html") + "," +
            MakerServiceInstance::product ("broken-picture", "Broken Picture", base + "/products/broken-picture/index.html")));

        ASSERT_TRUE (service.start()) << "the local maker service did not start";
    }

    void TearDown() override
    {
        window.reset();
        pumpFor (50);
    }

    ZorvaManagerComponentProbe openWindow()
    {
        window = std::make_unique<MainWindow> ("ZorvaManager");
        return ZorvaManagerComponentProbe (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
    }

    static bool waitForLoad (const ZorvaManagerComponentProbe& probe)
    {
        return pumpUntil ([&probe] { return ! probe.loading(); }, loadTimeoutMs);
    }

    // The pictures of the cards on screen and nearby come after the load, one job each.
    static bool waitForPictures (const ZorvaManagerComponentProbe& probe)
    {
        return pumpUntil ([&probe] { return probe.pictures().jobKeys().empty(); }, loadTimeoutMs);
    }

    MakerServiceInstance service;
    std::unique_ptr<MainWindow> window;
};
} // namespace

TEST_F (CatalogueRefresh, LoadsTheCatalogueAndItsPicturesAndLogsInOrder)
{
    auto probe = openWindow();

    expectState (probe, firstLoadRunning, "while the first load runs");
    EXPECT_EQ (window->getContentComponent()->getWidth(), 1180);
    EXPECT_EQ (window->getContentComponent()->getHeight(), 760);
    EXPECT_EQ (window->getName(), "ZorvaManager");

    probe.component.refreshCatalogue(); // refused: a load is running

    ASSERT_TRUE (waitForLoad (probe));
    expectState (probe, loaded, "after the load");

    EXPECT_EQ (probe.logLines()[0], "Ready. ZorvaManager never silently auto-updates plugins.");
    EXPECT_EQ (probe.messages(),
               juce::StringArray ({ "Installed scan: 0 plugin(s) found.",
                                    "Loading products...",
                                    "Installed scan: 0 plugin(s) found.",
                                    "Catalogue loaded: 4 product(s)." }));
    EXPECT_EQ (probe.statusText(), "Catalogue loaded: 4 product(s).");

    const std::regex lineFormat (R"(^\d\d:\d\d:\d\d  (INFO|WARN|ERROR)  .+$)");

    for (int i = 1; i < probe.logLines().size(); ++i)
        EXPECT_TRUE (std::regex_match (probe.logLines()[i].toStdString(), lineFormat)) << probe.logLines()[i];

    EXPECT_EQ (probe.catalogueSize(), 4u);
    EXPECT_EQ (probe.rowCount(), 4u);

    // Pictures come from the og:image of each page; no tag or an undecodable file means none.
    // All four cards are on screen or just below it.
    ASSERT_TRUE (waitForPictures (probe));
    ASSERT_EQ (probe.images().size(), 2u);
    EXPECT_EQ (probe.images().at ("tapeecho").getPixelAt (5, 5), juce::Colours::orange);
    EXPECT_EQ (probe.images().at ("roomverb").getPixelAt (5, 5), juce::Colours::teal);

    if (const auto folder = zorvatest::environment ("ZORVAMANAGER_SCREENSHOT_DIR"); ! folder.empty())
    {
        auto snapshot = window->getContentComponent()->createComponentSnapshot (window->getContentComponent()->getLocalBounds());
        juce::File file (folder + "/catalogue-loaded.png");
        file.deleteFile();
        juce::FileOutputStream stream (file);
        juce::PNGImageFormat().writeImageToStream (snapshot, stream);
    }
}

TEST_F (CatalogueRefresh, AnUnreachableServiceFailsTheFirstLoadAndKeepsActionsDisabled)
{
    service.stop();
    auto probe = openWindow();

    ASSERT_TRUE (waitForLoad (probe));
    expectState (probe, firstLoadFailed, "after a failed first load");
    EXPECT_TRUE (probe.hasLineStartingWith ("Catalogue fetch failed: "));
    EXPECT_TRUE (probe.statusText().startsWith ("Catalogue fetch failed: "));
    EXPECT_TRUE (probe.logLines()[probe.logLines().size() - 1].contains ("  ERROR  Catalogue fetch failed: "));
    EXPECT_EQ (probe.rowCount(), 0u);
}

TEST_F (CatalogueRefresh, InvalidCatalogueDocumentsAreReportedNotLoaded)
{
    const std::pair<std::string, juce::String> cases[] = {
        { "this is not JSON", "Invalid catalogue: " },
        { R"({"schema": 2, "generatedAt": "x", "products": []})",
          "Invalid catalogue: This ZorvaManager version does not understand the current release API." },
        { R"({"schema": 1, "generatedAt": "x"})", "Invalid catalogue: missing products" },
    };

    for (const auto& [document, expected] : cases)
    {
        service.setCatalogue (document);
        auto probe = openWindow();

        ASSERT_TRUE (waitForLoad (probe));
        expectState (probe, firstLoadFailed, document.c_str());
        EXPECT_TRUE (probe.hasLineStartingWith (expected)) << document << "\n" << probe.logLines().joinIntoString ("\n");
        EXPECT_EQ (probe.catalogueSize(), 0u);
    }
}

TEST_F (CatalogueRefresh, AFailedReloadKeepsTheEarlierCatalogueAndGivesTheActionsBack)
{
    auto probe = openWindow();
    ASSERT_TRUE (waitForLoad (probe));
    ASSERT_TRUE (waitForPictures (probe));
    expectState (probe, loaded, "after the first load");

    service.setCatalogue ("{ broken");
    probe.component.refreshCatalogue();
    expectState (probe, reloadRunning, "while the reload runs");

    ASSERT_TRUE (waitForLoad (probe));
    expectState (probe, reloadFailed, "after the failed reload");
    EXPECT_EQ (probe.catalogueSize(), 4u);
    EXPECT_EQ (probe.rowCount(), 4u);
    EXPECT_EQ (probe.images().size(), 2u);
    EXPECT_EQ (probe.countLines ("Loading products..."), 2);
    EXPECT_TRUE (probe.statusText().startsWith ("Invalid catalogue: "));

    // A later successful reload replaces the catalogue.
    service.setCatalogue (MakerServiceInstance::catalogueOf (
        MakerServiceInstance::product ("solo", "Solo", MakerServiceInstance::baseUrl() + "/products/solo/index.html")));
    probe.component.refreshCatalogue();
    ASSERT_TRUE (waitForLoad (probe));
    expectState (probe, loaded, "after the successful reload");
    EXPECT_EQ (probe.catalogueSize(), 1u);
    EXPECT_TRUE (probe.images().empty());
    EXPECT_EQ (probe.statusText(), "Catalogue loaded: 1 product(s).");
}

TEST_F (CatalogueRefresh, AnEmptyCatalogueLoadsWithActionsEnabled)
{
    service.setCatalogue (MakerServiceInstance::catalogueOf (""));
    auto probe = openWindow();

    ASSERT_TRUE (waitForLoad (probe));
    expectState (probe, loaded, "after loading an empty catalogue");
    EXPECT_EQ (probe.statusText(), "Catalogue loaded: 0 product(s).");
}

TEST_F (CatalogueRefresh, ClosingTheWindowWhileALoadRunsEndsCleanly)
{
    // The product page stalls, so the worker is still busy when the window goes away.
    const auto base = MakerServiceInstance::baseUrl();
    service.setCatalogue (MakerServiceInstance::catalogueOf (MakerServiceInstance::product ("slow", "Slow", base + "/test/stall/3") + "," +
                                                             MakerServiceInstance::product ("later", "Later", base + "/test/stall/3")));

    auto probe = openWindow();
    EXPECT_TRUE (probe.loading());
    pumpFor (300);

    window.reset(); // waits for the current transfer only; the second page is never fetched
    pumpFor (500);  // a late hand-back, if any, must find the component gone
    SUCCEED();
}
