#include "ProductPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <set>

// Which pictures are fetched and decoded as the list loads and scrolls, without a window: the
// jobs wait in a queue of the test's own until it runs them, as the pool threads would later.
namespace
{

using zorvaplugins::zorvamanager::products::PictureRequest;

constexpr int pictureWidth = 50, pictureHeight = 62;
constexpr std::size_t pictureBytes = pictureWidth * pictureHeight * 4;
constexpr std::size_t cardsPerScreen = 3;

std::string keyOf (std::size_t position)
{
    return "product" + std::to_string (position);
}

std::set<std::string> keysIn (std::size_t from, std::size_t to)
{
    std::set<std::string> keys;

    for (auto position = from; position < to; ++position)
        keys.insert (keyOf (position));

    return keys;
}

class PicturesOnDemand : public ::testing::Test
{
protected:
    explicit PicturesOnDemand (std::size_t cacheBytes = ProductPictures::defaultCacheBytes)
        : pictures (
              [this] (std::function<juce::Image()> work, std::function<void (juce::Image)> done) {
                  queue.push_back ({ std::move (work), std::move (done) });
              },
              [this] (const PictureRequest& request, const std::atomic<bool>& dropped) { return decode (request, dropped); },
              cacheBytes)
    {
        for (std::size_t i = 0; i < count; ++i)
            keys.push_back (keyOf (i));

        std::map<std::string, std::vector<std::string>> pages;

        for (const auto& key : keys)
            pages[key] = { "https://maker.example/" + key };

        pictures.setSources (pages);
        pictures.setPictureSize (pictureWidth, pictureHeight);
        pictures.onPictureArrived = [this] { ++arrivals; };
    }

    // The list shows the cards from `first` on, one screen of them.
    void showFrom (std::size_t first)
    {
        pictures.show (
            count, [this] (std::size_t position) -> const std::string& { return keys[position]; }, first, first + cardsPerScreen);
    }

    // Runs every queued job and hands its result back, as the pool and the message thread do.
    void runJobs()
    {
        while (! queue.empty())
        {
            auto job = std::move (queue.front());
            queue.pop_front();
            job.done (job.work());
        }
    }

    std::set<std::string> cached() const
    {
        const auto inCache = pictures.cachedKeys();
        return { inCache.begin(), inCache.end() };
    }

    std::set<std::string> jobs() const
    {
        const auto running = pictures.jobKeys();
        return { running.begin(), running.end() };
    }

    juce::Image decode (const PictureRequest& request, const std::atomic<bool>& dropped)
    {
        const auto key = request.productPageUrls.back().substr (std::string ("https://maker.example/").size());
        decoded.push_back (key);
        lastRequest = request;

        if (duringDecode)
            std::exchange (duringDecode, nullptr)();

        if (dropped.load())
            droppedWhileDecoding.insert (key);

        if (failing.count (key) != 0)
            return {};

        juce::Image image (juce::Image::ARGB, static_cast<int> (request.fitWidth), static_cast<int> (request.fitHeight), true);
        image.setPixelAt (0, 0, juce::Colours::orange);
        return image;
    }

    struct Job
    {
        std::function<juce::Image()> work;
        std::function<void (juce::Image)> done;
    };

    static constexpr std::size_t count = 1000;
    std::vector<std::string> keys;
    std::deque<Job> queue;
    std::vector<std::string> decoded;
    std::set<std::string> failing;
    PictureRequest lastRequest;
    std::function<void()> duringDecode;
    std::set<std::string> droppedWhileDecoding;
    int arrivals = 0;
    ProductPictures pictures;
};

} // namespace

TEST_F (PicturesOnDemand, AfterALoadTheFirstScreenAndTheOneBelowAreDecoded)
{
    showFrom (0);
    EXPECT_EQ (jobs(), keysIn (0, 2 * cardsPerScreen)) << "nothing above the first card, one screen below";
    EXPECT_FALSE (pictures.pictureFor (keyOf (0)).isValid()) << "a card shows its placeholder until its picture arrives";

    runJobs();
    EXPECT_EQ (std::set<std::string> (decoded.begin(), decoded.end()), keysIn (0, 2 * cardsPerScreen));
    EXPECT_EQ (decoded.front(), keyOf (0)) << "visible cards come first";
    EXPECT_EQ (cached(), keysIn (0, 2 * cardsPerScreen));
    EXPECT_EQ (arrivals, static_cast<int> (2 * cardsPerScreen));
    EXPECT_EQ (pictures.pictureFor (keyOf (0)).getPixelAt (0, 0), juce::Colours::orange);
    EXPECT_TRUE (jobs().empty());
}

TEST_F (PicturesOnDemand, AfterAScrollTheNewNeighbourhoodIsDecodedAndTheOldOneKept)
{
    showFrom (0);
    runJobs();
    decoded.clear();

    showFrom (20);
    EXPECT_EQ (jobs(), keysIn (17, 26)) << "the screen shown, one above and one below";
    runJobs();
    EXPECT_EQ (std::set<std::string> (decoded.begin(), decoded.end()), keysIn (17, 26));

    // Back at the top: the copies are still there, nothing is decoded again.
    decoded.clear();
    showFrom (0);
    EXPECT_TRUE (jobs().empty());
    runJobs();
    EXPECT_TRUE (decoded.empty());
    EXPECT_TRUE (pictures.pictureFor (keyOf (1)).isValid());
}

TEST_F (PicturesOnDemand, AFastScrollPastFiveHundredCardsDecodesOnlyWhereItStops)
{
    showFrom (0);

    for (std::size_t first = 1; first <= 500; ++first)
        showFrom (first);

    EXPECT_EQ (jobs(), keysIn (497, 506));
    EXPECT_EQ (queue.size(), 500u + 2 * cardsPerScreen) << "every step queued its new cards";

    runJobs();
    EXPECT_EQ (std::set<std::string> (decoded.begin(), decoded.end()), keysIn (497, 506)) << "a job whose card went by never decodes";
    EXPECT_EQ (decoded.size(), 9u) << "each card once";
    EXPECT_EQ (cached(), keysIn (497, 506));
}

TEST_F (PicturesOnDemand, ACardScrolledAwayDuringItsDecodingLeavesNoPicture)
{
    showFrom (0);
    duringDecode = [this] { showFrom (400); };
    runJobs();

    EXPECT_EQ (droppedWhileDecoding, std::set<std::string> { keyOf (0) }) << "the running job is told to stop";
    EXPECT_EQ (decoded.front(), keyOf (0));
    EXPECT_FALSE (pictures.pictureFor (keyOf (0)).isValid()) << "its result is discarded";
    EXPECT_EQ (std::set<std::string> (decoded.begin() + 1, decoded.end()), keysIn (397, 406));

    // Wanted again later, it gets a job of its own; the stale one never lands.
    decoded.clear();
    showFrom (0);
    runJobs();
    EXPECT_TRUE (pictures.pictureFor (keyOf (0)).isValid());
}

TEST_F (PicturesOnDemand, PicturesAreDecodedAtTheScreensPixelDensity)
{
    pictures.setPictureSize (100, 124);
    showFrom (0);
    runJobs();
    EXPECT_EQ (lastRequest.fitWidth, 100u);
    EXPECT_EQ (lastRequest.fitHeight, 124u);
    EXPECT_EQ (pictures.pictureFor (keyOf (0)).getWidth(), 100);
    EXPECT_EQ (pictures.cachedBytes(), 2 * cardsPerScreen * 100 * 124 * 4);

    // Back at one pixel a point: the double-density copies go, and the cards ask again.
    pictures.setPictureSize (pictureWidth, pictureHeight);
    EXPECT_TRUE (cached().empty());
    decoded.clear();
    showFrom (0);
    runJobs();
    EXPECT_EQ (decoded.size(), 2 * cardsPerScreen);
    EXPECT_EQ (pictures.pictureFor (keyOf (0)).getWidth(), pictureWidth);
}

TEST_F (PicturesOnDemand, AFailedPictureIsNotFetchedAgainUntilTheNextCatalogue)
{
    failing = { keyOf (1) };
    showFrom (0);
    runJobs();
    EXPECT_EQ (cached().count (keyOf (1)), 0u);

    decoded.clear();
    showFrom (1);
    runJobs();
    EXPECT_EQ (std::count (decoded.begin(), decoded.end(), keyOf (1)), 0);

    // A new catalogue drops every copy and failure of the old one.
    std::map<std::string, std::vector<std::string>> pages { { keyOf (0), { "https://maker.example/" + keyOf (0) } },
                                                            { keyOf (1), { "https://maker.example/" + keyOf (1) } } };
    pictures.setSources (pages);
    EXPECT_TRUE (cached().empty());
    failing.clear();
    decoded.clear();
    showFrom (0);
    runJobs();
    EXPECT_EQ (cached(), keysIn (0, 2)) << "only products with a page have a picture";
}

namespace
{
// A cache for ten pictures: four screens' worth of neighbourhoods overflow it.
class SmallCache : public PicturesOnDemand
{
protected:
    SmallCache()
        : PicturesOnDemand (10 * pictureBytes)
    {}
};
} // namespace

TEST_F (SmallCache, TheCacheStaysWithinItsBoundAndEvictsWhatWasWantedLongestAgo)
{
    for (const std::size_t first : { 0, 10, 20, 30 })
    {
        showFrom (first);
        runJobs();
        EXPECT_LE (pictures.cachedBytes(), pictures.cacheLimit()) << first;

        for (auto position = first; position < first + cardsPerScreen; ++position)
            EXPECT_TRUE (pictures.pictureFor (keyOf (position)).isValid()) << "a card on screen keeps its picture: " << position;
    }

    // The last neighbourhood (27 to 35) and the freshest of the one before it remain.
    const auto kept = cached();
    const auto last = keysIn (27, 36);
    EXPECT_EQ (kept.size(), 10u);
    EXPECT_EQ (kept.count (keyOf (0)), 0u);
    EXPECT_TRUE (std::includes (kept.begin(), kept.end(), last.begin(), last.end()));

    // Back at the top, the evicted pictures are decoded again.
    decoded.clear();
    showFrom (0);
    runJobs();
    EXPECT_EQ (std::set<std::string> (decoded.begin(), decoded.end()), keysIn (0, 6));
}

TEST_F (SmallCache, PicturesOnScreenStayEvenBeyondTheBound)
{
    pictures.setPictureSize (pictureWidth * 2, pictureHeight * 2); // four times the bytes: 2.5 fit
    showFrom (0);
    runJobs();
    EXPECT_EQ (cached(), keysIn (0, 6));
    EXPECT_GT (pictures.cachedBytes(), pictures.cacheLimit());

    // Once they are not wanted, they are the first to go.
    showFrom (100);
    runJobs();
    EXPECT_EQ (cached(), keysIn (97, 106));
}
