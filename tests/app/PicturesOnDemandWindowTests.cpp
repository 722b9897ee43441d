#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

// The real window over a catalogue of 1,000 products, each with a page of its own on the local
// maker service: which pages are fetched and which pictures decoded after the load, after a
// scroll and after a fast scroll past 500 cards.
namespace
{

constexpr int productCount = 1000;
constexpr int loadTimeoutMs = 60000;

std::set<int> positionsIn (int from, int to)
{
    std::set<int> positions;

    for (auto position = std::max (from, 0); position < std::min (to, productCount); ++position)
        positions.insert (position);

    return positions;
}

class PicturesWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (! MakerServiceInstance::available())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";

        const auto base = MakerServiceInstance::baseUrl();
        service.addPicture ("shared", juce::Colours::orange);
        std::string products;

        for (int i = 0; i < productCount; ++i)
        {
            const auto slug = "p" + std::to_string (i);
            service.addProductPage (slug, R"(<meta property="og:image" content=")" + base + R"(/images/shared.png">)");
            products += (i == 0 ? "" : ",") +
                MakerServiceInstance::product (slug, "Product " + std::to_string (i), base + "/products/" + slug + "/index.html");
        }

        service.setCatalogue (MakerServiceInstance::catalogueOf (products));
        ASSERT_TRUE (service.start()) << "the local maker service did not start";

        window = std::make_unique<MainWindow> ("ZorvaManager");
        probe = std::make_unique<ZorvaManagerComponentProbe> (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
        ASSERT_TRUE (pumpUntil ([this] { return ! probe->loading(); }, loadTimeoutMs));
        ASSERT_EQ (probe->rowCount(), static_cast<std::size_t> (productCount));
        ASSERT_TRUE (settle());
    }

    void TearDown() override
    {
        probe.reset();
        window.reset();
        pumpFor (50);
    }

    // The scroll bar tells the list of a move after the events at hand; then every job ends.
    bool settle()
    {
        pumpFor (50);
        return pumpUntil ([this] { return probe->pictures().jobKeys().empty(); }, loadTimeoutMs);
    }

    // The positions of the cards that reach into the rows area.
    std::pair<int, int> shownCards() const
    {
        const auto area = probe->list().rowsArea();
        auto first = -1, end = -1;

        for (int i = 0; i < productCount; ++i)
        {
            if (probe->list().cardBounds (i).intersects (area))
            {
                first = first < 0 ? i : first;
                end = i + 1;
            }
        }

        return { first, end };
    }

    // Positions of the cards whose picture is in the cache.
    std::set<int> cached() const
    {
        std::set<int> positions;

        for (const auto& key : probe->pictures().cachedKeys())
            positions.insert (std::stoi (key.substr (std::string ("product").size())));

        return positions;
    }

    // Positions of the products whose page was fetched.
    std::set<int> pagesFetched() const
    {
        static const std::regex page (R"(^/products/p(\d+)/index\.html$)");
        std::set<int> positions;
        std::smatch match;

        for (const auto& path : service.answeredPaths())
            if (std::regex_match (path, match, page))
                positions.insert (std::stoi (match[1]));

        return positions;
    }

    MakerServiceInstance service;
    apptest::ScopedHome home;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ZorvaManagerComponentProbe> probe;
};

} // namespace

TEST_F (PicturesWindow, PicturesAreDecodedForTheCardsOnScreenAndOneScreenAroundThem)
{
    // After the load: the cards on screen and as many below.
    const auto [first, end] = shownCards();
    const auto screen = end - first;
    ASSERT_EQ (first, 0);
    ASSERT_GE (screen, 2);
    EXPECT_EQ (cached(), positionsIn (0, 2 * screen));
    EXPECT_EQ (pagesFetched(), positionsIn (0, 2 * screen)) << "no other product's page is fetched";

    // The first card draws its picture in the middle of its picture box (50 x 62, 10 pixels
    // into the card), where a card without one shows its badge.
    const auto card = probe->list().cardBounds (0);
    const auto snapshot = probe->list().createComponentSnapshot (probe->list().getLocalBounds());
    EXPECT_EQ (snapshot.getPixelAt (card.getX() + 10 + 25, card.getY() + 10 + 31), juce::Colours::orange);

    // A scroll of two notches: the new neighbourhood comes, the old copies stay.
    uidriver::wheelAt (probe->list(), probe->list().rowsArea().getCentre(), -1.2f);
    ASSERT_TRUE (settle());
    const auto [scrolledFirst, scrolledEnd] = shownCards();
    ASSERT_GT (scrolledFirst, 0);
    const auto scrolledScreen = scrolledEnd - scrolledFirst; // a card partly shown counts
    const auto wanted = positionsIn (scrolledFirst - scrolledScreen, scrolledEnd + scrolledScreen);
    const auto afterScroll = cached();
    EXPECT_TRUE (std::includes (afterScroll.begin(), afterScroll.end(), wanted.begin(), wanted.end()));
    EXPECT_EQ (pagesFetched(), positionsIn (0, scrolledEnd + scrolledScreen));

    // Past 500 cards in one go, a notch's worth at a time: only where it stops is fetched.
    const auto before = pagesFetched();

    for (double position = probe->list().scrollPosition(); position < 505.0 * 92.0; position += 150.0)
        probe->list().setScrollPosition (position);

    ASSERT_TRUE (settle());
    const auto [lastFirst, lastEnd] = shownCards();
    ASSERT_GE (lastFirst, 500);
    const auto lastScreen = lastEnd - lastFirst;
    const auto stop = positionsIn (lastFirst - lastScreen, lastEnd + lastScreen);
    auto expectedPages = before;
    expectedPages.insert (stop.begin(), stop.end());
    EXPECT_EQ (pagesFetched(), expectedPages) << "no page of a card passed on the way";
    const auto kept = cached();
    EXPECT_TRUE (std::includes (kept.begin(), kept.end(), stop.begin(), stop.end()));
    EXPECT_LE (probe->pictures().cachedBytes(), probe->pictures().cacheLimit());

    for (const auto position : kept)
        EXPECT_TRUE (position < scrolledEnd + scrolledScreen || position >= lastFirst - lastScreen)
            << "a card passed on the way has a picture: " << position;
}
