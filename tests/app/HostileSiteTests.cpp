#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"
#include "network/ReleaseFetcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

// The real window while the maker site is hostile or broken: slow, stalled, endless or huge
// answers never hold up the message thread, and closing the window ends promptly whatever the
// load is doing, leaving nothing in the temporary directory.
namespace
{

using zorvaplugins::zorvamanager::network::ReleaseFetcher;

// A generous liveness bound: the transfers notice the cancel flag about once a second.
constexpr int closeBoundMs = 5000;

// How long a posted call may wait while a load runs; the message thread does no transfer.
constexpr int answerBoundMs = 2000;

class HostileSiteWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (! MakerServiceInstance::available())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";

        home = std::make_unique<apptest::ScopedHome>();
        tmpdir = std::make_unique<zorvatest::ScopedEnv> ("TMPDIR", scratch.path().string());
        ASSERT_TRUE (service.start()) << "the local maker service did not start";
    }

    void TearDown() override
    {
        probe.reset();
        window.reset();
        pumpFor (50);
        tmpdir.reset();
        home.reset();
    }

    static std::string base() { return MakerServiceInstance::baseUrl(); }

    // A product whose page shows this picture address.
    std::string showing (const std::string& slug, const std::string& pictureUrl)
    {
        service.addProductPage (slug, R"(<html><head><meta property="og:image" content=")" + pictureUrl + R"("></head></html>)");
        return MakerServiceInstance::product (slug, slug, base() + "/products/" + slug + "/index.html");
    }

    std::string honest (const std::string& slug)
    {
        service.addPicture (slug, juce::Colours::orange);
        return showing (slug, base() + "/images/" + slug + ".png");
    }

    // The catalogue address is built into the program: the service answers it as it would
    // answer this path.
    static void routeCatalogue (const std::string& path)
    {
        const auto answer = ReleaseFetcher::fetchHttps (base() + "/test/route-catalogue/" + path, 10);
        ASSERT_TRUE (answer.ok) << answer.error;
    }

    void openWindow()
    {
        window = std::make_unique<MainWindow> ("ZorvaManager");
        probe = std::make_unique<ZorvaManagerComponentProbe> (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
    }

    // The window's answers while whatever runs runs: a posted call is handled, and a click on a
    // toggle switches it (and back).
    void expectTheWindowAnswers (const char* what)
    {
        bool handled = false;
        juce::MessageManager::callAsync ([&handled] { handled = true; });
        EXPECT_TRUE (pumpUntil ([&handled] { return handled; }, answerBoundMs)) << what << ": a posted call waited";

        auto& toggle = probe->button ("clapToggle");
        const auto before = toggle.getToggleState();

        for (const auto expected : { ! before, before })
        {
            uidriver::clickAt (probe->component, probe->boundsOf ("clapToggle").getCentre());
            EXPECT_TRUE (pumpUntil ([&toggle, expected] { return toggle.getToggleState() == expected; }, answerBoundMs)) << what << ": the toggle did not switch";
        }
    }

    // Closes the window as the program does on quitting; how long it took.
    double closeWindow()
    {
        probe.reset();
        const auto start = std::chrono::steady_clock::now();
        window.reset();
        const auto elapsed = std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count();

        // A late hand-back from a worker, if any, must find the window gone.
        pumpFor (300);
        return elapsed;
    }

    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> names;

        for (const auto& entry : std::filesystem::directory_iterator (scratch.path()))
            names.push_back (entry.path().filename().string());

        return names;
    }

    MakerServiceInstance service;
    std::unique_ptr<apptest::ScopedHome> home;
    zorvatest::TempDir scratch;
    std::unique_ptr<zorvatest::ScopedEnv> tmpdir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ZorvaManagerComponentProbe> probe;
};

// The catalogue of `count` products, every one showing the same honest page and picture.
std::string manyProducts (int count)
{
    std::string list;
    list.reserve (static_cast<std::size_t> (count) * 900);

    for (int i = 0; i < count; ++i)
        list += (i == 0 ? "" : ",") + MakerServiceInstance::product ("product-" + std::to_string (i), "Product " + std::to_string (i), MakerServiceInstance::baseUrl() + "/products/shared/index.html");

    return MakerServiceInstance::catalogueOf (list);
}

} // namespace

TEST_F (HostileSiteWindow, AnswersAndClosesPromptlyWhateverTheSiteDoes)
{
    const struct
    {
        const char* label;
        std::function<void()> prepare; // a site whose load is still running when the window closes
        int closeAfterMs = 2000;
    } cases[] = {
        { "a slow picture",
          [this] {
              zorvatest::writeFile (service.dataFolder() / "images/slow.png", zorvatest::patternBytes (1 << 20));
              service.setCatalogue (MakerServiceInstance::catalogueOf (honest ("first") + "," + showing ("slow", base() + "/test/throttle/1000/images/slow.png") + "," + honest ("never-reached")));
          } },
        { "a stalled catalogue", [] { routeCatalogue ("test/stall/60"); } },
        { "a slow-drip catalogue",
          [this] {
              zorvatest::writeFile (service.dataFolder() / "slow.json", MakerServiceInstance::catalogueOf (honest ("first")) + std::string (100'000, ' '));
              routeCatalogue ("test/throttle/200/slow.json");
          } },
        { "a catalogue that takes long to parse",
          [this] {
              // 120 million zeros, just below the catalogue's size limit: a few seconds to fetch,
              // many more to parse. The window closes during the parse.
              std::string filler (240u << 20, '0');

              for (std::size_t i = 0; i < filler.size(); i += 2)
                  filler[i] = ',';

              service.setCatalogue (R"({"schema": 1, "generatedAt": "2026-12-01T10:00:00Z", "products": [], "filler": [0)" + filler + "]}");
          },
          2500 },
        { "endless pages and pictures",
          [this] {
              std::string products = honest ("first");

              for (int i = 0; i < 200; ++i)
              {
                  const auto n = std::to_string (i);
                  products += "," + showing ("endless-picture-" + n, base() + "/test/endless") + "," + MakerServiceInstance::product ("endless-page-" + n, "Endless Page " + n, base() + "/test/endless-chunked");
              }

              service.setCatalogue (MakerServiceInstance::catalogueOf (products));
          } },
        { "50,000 products",
          [this] {
              service.addProductPage ("shared", R"(<meta property="og:image" content=")" + base() + R"(/images/shared.png">)");
              service.addPicture ("shared", juce::Colours::teal);
              service.setCatalogue (manyProducts (50'000));
          } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        routeCatalogue ("");
        c.prepare();

        openWindow();
        pumpFor (c.closeAfterMs);
        EXPECT_TRUE (probe->loading());
        expectTheWindowAnswers (c.label);
        EXPECT_TRUE (probe->loading()) << "the load ended before the window was closed";

        EXPECT_LT (closeWindow(), closeBoundMs);
        EXPECT_TRUE (leftovers().empty()) << ::testing::PrintToString (leftovers());
    }
}
