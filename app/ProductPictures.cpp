#include "ProductPictures.h"

#include <algorithm>

using namespace zorvaplugins::zorvamanager;

namespace
{
std::size_t bytesOf (const juce::Image& image)
{
    return image.isValid() ? static_cast<std::size_t> (image.getWidth()) * static_cast<std::size_t> (image.getHeight()) * 4u : 0u;
}
} // namespace

ProductPictures::ProductPictures (Runner runner, Fetch fetcher, std::size_t cacheBytes)
    : run (std::move (runner))
    , fetch (std::move (fetcher))
    , limit (cacheBytes)
{}

ProductPictures::~ProductPictures()
{
    dropEverything();
}

void ProductPictures::setSources (std::map<std::string, std::vector<std::string>> pagesByKey)
{
    dropEverything();
    sources = std::move (pagesByKey);
}

void ProductPictures::setPictureSize (int width, int height)
{
    if (width == pictureWidth && height == pictureHeight)
        return;

    dropEverything();
    pictureWidth = width;
    pictureHeight = height;
}

void ProductPictures::dropEverything()
{
    while (! jobs.empty())
        dropJob (jobs.begin());

    cache.clear();
    failed.clear();
    wanted.clear();
    bytes = 0;
}

void ProductPictures::dropJob (std::map<std::string, Job>::iterator job)
{
    job->second.dropped->store (true);
    jobs.erase (job);
}

void ProductPictures::show (std::size_t count, const KeyAt& keyAt, std::size_t first, std::size_t end)
{
    end = std::min (end, count);
    first = std::min (first, end);
    const auto screen = end - first;
    const auto above = first - std::min (first, screen);
    const auto below = std::min (count, end + screen);

    // Visible cards first, then the screen below (where a scroll usually goes), then above.
    std::vector<std::size_t> order;

    for (auto position = first; position < below; ++position)
        order.push_back (position);

    for (auto position = first; position > above; --position)
        order.push_back (position - 1);

    ++stamp;
    wanted.clear();

    for (const auto position : order)
        wanted.insert (keyAt (position));

    for (auto job = jobs.begin(); job != jobs.end();)
    {
        const auto next = std::next (job);

        if (wanted.count (job->first) == 0)
            dropJob (job);

        job = next;
    }

    for (const auto position : order)
    {
        const auto& key = keyAt (position);

        if (auto cached = cache.find (key); cached != cache.end())
            cached->second.lastWanted = stamp;
        else if (jobs.count (key) == 0 && failed.count (key) == 0)
            start (key);
    }

    trim();
}

void ProductPictures::start (const std::string& key)
{
    const auto source = sources.find (key);

    if (source == sources.end() || pictureWidth <= 0 || pictureHeight <= 0)
        return;

    products::PictureRequest request;
    request.productPageUrls = source->second;
    request.fitWidth = static_cast<std::uint32_t> (pictureWidth);
    request.fitHeight = static_cast<std::uint32_t> (pictureHeight);

    const auto id = ++nextId;
    auto dropped = std::make_shared<std::atomic<bool>> (false);
    jobs[key] = { id, dropped };

    // A card scrolled far away before its job started costs nothing more.
    auto work = [request = std::move (request), dropped, fetcher = fetch]() -> juce::Image {
        return dropped->load() ? juce::Image() : fetcher (request, *dropped);
    };

    auto done = [this, key, id, alive = std::weak_ptr<bool> (alive)] (juce::Image image) {
        if (alive.lock() != nullptr)
            arrived (key, id, std::move (image));
    };

    run (std::move (work), std::move (done));
}

void ProductPictures::arrived (const std::string& key, std::uint64_t id, juce::Image image)
{
    // A job that was dropped (or replaced by a later one for the same card) is not listed
    // under this id any more: its result is discarded.
    const auto job = jobs.find (key);

    if (job == jobs.end() || job->second.id != id)
        return;

    jobs.erase (job);

    if (! image.isValid())
    {
        failed.insert (key);
        return;
    }

    auto& entry = cache[key];
    bytes = bytes - bytesOf (entry.image) + bytesOf (image);
    entry = { std::move (image), stamp };
    trim();

    if (onPictureArrived)
        onPictureArrived();
}

void ProductPictures::trim()
{
    while (bytes > limit)
    {
        auto oldest = cache.end();

        for (auto entry = cache.begin(); entry != cache.end(); ++entry)
            if (wanted.count (entry->first) == 0 && (oldest == cache.end() || entry->second.lastWanted < oldest->second.lastWanted))
                oldest = entry;

        if (oldest == cache.end())
            return; // every copy is wanted now

        bytes -= bytesOf (oldest->second.image);
        cache.erase (oldest);
    }
}

juce::Image ProductPictures::pictureFor (const std::string& key) const
{
    const auto found = cache.find (key);
    return found != cache.end() ? found->second.image : juce::Image();
}

std::vector<std::string> ProductPictures::cachedKeys() const
{
    std::vector<std::string> keys;

    for (const auto& entry : cache)
        keys.push_back (entry.first);

    return keys;
}

std::vector<std::string> ProductPictures::jobKeys() const
{
    std::vector<std::string> keys;

    for (const auto& job : jobs)
        keys.push_back (job.first);

    return keys;
}
