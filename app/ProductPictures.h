#pragma once

#include "products/CatalogueLoad.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The product pictures of the list, fetched and decoded only for the cards on screen and those
// within one screen of them, and kept in a bounded cache of card-sized copies at the screen's
// pixel density.
//
// - Wanted: the cards the list shows, and as many again above and below them. A wanted card
//   without a picture gets one job (visible cards first, then those below, then those above).
// - Dropped: when a card stops being wanted, its job is dropped: a job that has not started
//   returns at once, a running one stops its transfer and never decodes, and a result that
//   still comes back is discarded.
// - Cache: copies of at most `cacheBytes` pixels' memory; beyond that, the copies wanted least
//   recently go first, never one that is wanted now. A picture that failed is not fetched again
//   until the catalogue or the pixel size changes.
//
// Message thread only; the jobs run through the runner, on the worker pool.
class ProductPictures
{
public:
    // Fetches and decodes one picture on a pool thread; an invalid image when there is none.
    // `dropped` becomes true when the card is no longer wanted.
    using Fetch =
        std::function<juce::Image (const zorvaplugins::zorvamanager::products::PictureRequest& request, const std::atomic<bool>& dropped)>;

    // Runs `work` on a pool thread and hands its result to `done` on the message thread.
    using Runner = std::function<void (std::function<juce::Image()> work, std::function<void (juce::Image)> done)>;

    // The picture key of the card at a position of the list, for positions below a count.
    using KeyAt = std::function<const std::string&(std::size_t position)>;

    static constexpr std::size_t defaultCacheBytes = 24u << 20;

    ProductPictures (Runner runner, Fetch fetch, std::size_t cacheBytes = defaultCacheBytes);
    ~ProductPictures();

    // A new catalogue: its product pages by picture key. Every picture and job of the previous
    // one is dropped.
    void setSources (std::map<std::string, std::vector<std::string>> pagesByKey);

    // The box the cards draw a picture in, in device pixels (logical size times the display's
    // scale). A new size drops the copies and jobs made for the old one.
    void setPictureSize (int width, int height);

    // The list of `count` cards shows those at positions [first, end): their pictures and those
    // of the (end - first) cards above and below are wanted, any other job is dropped.
    void show (std::size_t count, const KeyAt& keyAt, std::size_t first, std::size_t end);

    // The cached picture under this key, or an invalid image.
    juce::Image pictureFor (const std::string& key) const;

    // A picture has arrived in the cache.
    std::function<void()> onPictureArrived;

    std::size_t cachedBytes() const { return bytes; }
    std::size_t cacheLimit() const { return limit; }
    std::vector<std::string> cachedKeys() const;
    std::vector<std::string> jobKeys() const;
    bool isWanted (const std::string& key) const { return wanted.count (key) != 0; }

private:
    struct Entry
    {
        juce::Image image;
        std::uint64_t lastWanted = 0;
    };

    struct Job
    {
        std::uint64_t id = 0;
        std::shared_ptr<std::atomic<bool>> dropped;
    };

    void start (const std::string& key);
    void arrived (const std::string& key, std::uint64_t id, juce::Image image);
    void dropJob (std::map<std::string, Job>::iterator job);
    void dropEverything();
    void trim();

    Runner run;
    Fetch fetch;
    std::size_t limit;
    std::map<std::string, std::vector<std::string>> sources;
    int pictureWidth = 0, pictureHeight = 0;
    std::map<std::string, Entry> cache;
    std::map<std::string, Job> jobs;
    std::set<std::string> failed;
    std::set<std::string> wanted;
    std::size_t bytes = 0;
    std::uint64_t stamp = 0, nextId = 0;
    std::shared_ptr<bool> alive = std::make_shared<bool> (true);
};
