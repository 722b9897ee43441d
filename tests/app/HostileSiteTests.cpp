#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"
#include "network/ReleaseFetcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>

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
        const auto posted = std::chrono::steady_clock::now();
        juce::MessageManager::callAsync ([&handled] { handled = true; });
        EXPECT_TRUE (pumpUntil ([&handled] { return handled; }, answerBoundMs)) << what << ": a posted call waited";
        longestAnswerMs =
            std::max (longestAnswerMs, std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - posted).count());

        auto& toggle = probe->button ("clapToggle");
        const auto before = toggle.getToggleState();

        for (const auto expected : { ! before, before })
        {
            uidriver::clickAt (probe->component, probe->boundsOf ("clapToggle").getCentre());
            EXPECT_TRUE (pumpUntil ([&toggle, expected] { return toggle.getToggleState() == expected; }, answerBoundMs))
                << what << ": the toggle did not switch";
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
    double longestAnswerMs = 0; // the longest a posted call waited, for the figures
};

// The catalogue of `count` products, every one showing the same honest page and picture.
std::string manyProducts (int count)
{
    std::string list;
    list.reserve (static_cast<std::size_t> (count) * 900);

    for (int i = 0; i < count; ++i)
        list += (i == 0 ? "" : ",") +
            MakerServiceInstance::product ("product-" + std::to_string (i),
                                           "Product " + std::to_string (i),
                                           MakerServiceInstance::baseUrl() + "/products/shared/index.html");

    return MakerServiceInstance::catalogueOf (list);
}

} // namespace

TEST_F (HostileSiteWindow, AnswersAndClosesPromptlyWhateverTheSiteDoes)
{
    const struct
    {
        const char* label;
        std::function<void()> prepare; // a site whose load or pictures are still coming when the window closes
        int closeAfterMs = 2000;
        bool busyAtClose = true;
    } cases[] = {
        { "a slow picture",
          [this] {
              zorvatest::writeFile (service.dataFolder() / "images/slow.png", zorvatest::patternBytes (1 << 20));
              service.setCatalogue (MakerServiceInstance::catalogueOf (honest ("first") + "," +
                                                                       showing ("slow", base() + "/test/throttle/1000/images/slow.png") +
                                                                       "," + honest ("never-reached")));
          } },
        { "a stalled catalogue", [] { routeCatalogue ("test/stall/60"); } },
        { "a slow-drip catalogue",
          [this] {
              zorvatest::writeFile (service.dataFolder() / "slow.json",
                                    MakerServiceInstance::catalogueOf (honest ("first")) + std::string (100'000, ' '));
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
                  products += "," + showing ("endless-picture-" + n, base() + "/test/endless") + "," +
                      MakerServiceInstance::product ("endless-page-" + n, "Endless Page " + n, base() + "/test/endless-chunked");
              }

              service.setCatalogue (MakerServiceInstance::catalogueOf (products));
          },
          2000,
          false }, // only the cards near the screen fetch theirs, each stopped at its limit at once
        { "50,000 products",
          [this] {
              service.addProductPage ("shared", R"(<meta property="og:image" content=")" + base() + R"(/images/shared.png">)");
              service.addPicture ("shared", juce::Colours::teal);
              service.setCatalogue (manyProducts (50'000));
          },
          2000,
          false }, // closed while it loads or once it shows, as the machine's speed has it
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        routeCatalogue ("");
        c.prepare();

        // The catalogue loads first; the pictures of the cards near the screen come after it.
        const auto busy = [this] { return probe->loading() || ! probe->pictures().jobKeys().empty(); };
        openWindow();
        pumpFor (c.closeAfterMs);
        EXPECT_TRUE (busy() || ! c.busyAtClose);
        expectTheWindowAnswers (c.label);
        EXPECT_TRUE (busy() || ! c.busyAtClose) << "the load and its pictures ended before the window was closed";

        EXPECT_LT (closeWindow(), closeBoundMs);
        EXPECT_TRUE (leftovers().empty()) << ::testing::PrintToString (leftovers());
    }
}

namespace
{
// The process's resident high-water mark in bytes, from /proc/self/status.
std::uint64_t peakResidentBytes()
{
    std::ifstream status ("/proc/self/status");

    for (std::string line; std::getline (status, line);)
        if (line.rfind ("VmHWM:", 0) == 0)
            return std::stoull (line.substr (6)) * 1024u;

    return 0;
}

// Starts the high-water mark again from what the process holds now.
bool resetPeakResident()
{
    std::ofstream clear ("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool> (clear.flush());
}

// AddressSanitizer keeps freed blocks resident in its quarantine, up to 256 MiB by default.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t sanitizerQuarantine = 256u << 20;
#else
constexpr std::uint64_t sanitizerQuarantine = 0;
#endif

// Words with a few multi-byte characters among them, `bytes` long at least.
std::string absurdText (std::size_t bytes)
{
    const std::string words = "an absurdly long tagline \xc3\xa9t\xc3\xa9 ";
    std::string text;
    text.reserve (bytes + words.size());

    while (text.size() < bytes)
        text += words;

    return text;
}
} // namespace

// A catalogue whose one tagline is 20 MiB (and one name 1 MiB): every text the window lays out
// is cut first, so the window keeps answering and its memory stays bounded while it loads,
// shows, scrolls and searches that catalogue.
TEST_F (HostileSiteWindow, AbsurdlyLongTextsKeepMemoryBoundedAndTheWindowAnswering)
{
    routeCatalogue ("");
    service.addProductPage ("shared", R"(<meta property="og:image" content=")" + base() + R"(/images/shared.png">)");
    service.addPicture ("shared", juce::Colours::teal);

    auto longTagline = MakerServiceInstance::product ("long-tagline", "Long Tagline", base() + "/products/shared/index.html");
    longTagline.replace (longTagline.find ("A test product"), 14, absurdText (20u << 20));
    auto longName = MakerServiceInstance::product ("long-name", absurdText (1u << 20), base() + "/products/shared/index.html");
    service.setCatalogue (MakerServiceInstance::catalogueOf (honest ("first") + "," + longTagline + "," + longName));

    ASSERT_TRUE (resetPeakResident());
    const auto before = peakResidentBytes();

    openWindow();
    ASSERT_TRUE (pumpUntil ([this] { return probe->catalogueLoaded() && ! probe->loading(); }, 60000));
    EXPECT_EQ (probe->rowCount(), 3u);
    std::cout << "[ figures  ] loaded: peak resident " << (peakResidentBytes() >> 20) << " MiB\n";
    expectTheWindowAnswers ("the catalogue shown");

    // Scrolled to the end and back, the long cards drawn each time; then a search that reads
    // the whole tagline, and one that finds it.
    auto& list = probe->list();
    uidriver::wheelAt (list, list.rowsArea().getCentre(), -3.0f);
    pumpFor (100);
    uidriver::wheelAt (list, list.rowsArea().getCentre(), 3.0f);
    pumpFor (100);

    auto& search = probe->control<juce::TextEditor> ("searchEditor");
    search.setText ("no such product", true);
    pumpFor (100);
    EXPECT_TRUE (list.cardBounds (probe->controller().productList().indexOfSlug ("long-tagline")).isEmpty());
    search.setText ("absurdly", true);
    pumpFor (100);
    EXPECT_FALSE (list.cardBounds (probe->controller().productList().indexOfSlug ("long-tagline")).isEmpty());
    expectTheWindowAnswers ("after searching");

    // The log takes a long text as well: a line of its own, cut.
    probe->component.log (LogLevel::error, juce::String (absurdText (4u << 20)));
    pumpFor (100);
    expectTheWindowAnswers ("after a long log line");

    // What the window added: the suite's earlier tests leave the process holding memory of
    // their own (a catalogue of 50,000 products among them).
    const auto peak = peakResidentBytes();
    std::cout << "[ figures  ] peak resident " << (peak >> 20) << " MiB (" << (before >> 20)
              << " MiB when the window opened), longest answer to a posted call " << longestAnswerMs << " ms\n";
    EXPECT_LT (peak - before, (150u << 20) + sanitizerQuarantine);
}
