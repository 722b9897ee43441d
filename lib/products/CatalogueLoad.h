#pragma once

#include "api/ReleaseCatalogue.h"
#include "picture/PictureDecoder.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::products
{

// What one catalogue load brings back.
struct CatalogueLoadResult
{
    bool ok = false;
    std::string error; // "Catalogue fetch failed: ..." or "Invalid catalogue: ..."; empty when ok
    std::vector<api::ProductReleaseInfo> products;
};

// The bounds of one load and of each picture fetched for it. Every transfer is limited in time
// and in bytes received, whatever the server declares, so a broken or hostile site costs
// bounded memory, disk and time. The catalogue's limit takes a document with a 200 MB text in
// it; parsing costs up to about ten times the document's size in memory while it runs.
struct CatalogueLoadLimits
{
    std::int64_t catalogueTimeoutSeconds = 20;
    std::int64_t pageTimeoutSeconds = 10;
    std::int64_t pictureTimeoutSeconds = 20;
    std::uint64_t maxCatalogueBytes = 256u << 20;
    std::uint64_t maxPageBytes = 4u << 20;
    std::uint64_t maxPictureBytes = 8u << 20;
};

// Fetches and parses the release catalogue. Product pictures are not part of it: the list
// fetches each one when its card comes near the screen (fetchProductPicture). When `cancel`
// becomes true, the transfer (or the catalogue's parse) stops within about a second.
// Blocking; a pool thread. Never throws.
CatalogueLoadResult
loadCatalogue (const std::string& catalogueUrl, const std::atomic<bool>* cancel, const CatalogueLoadLimits& limits = {});

// One product picture as a card wants it.
struct PictureRequest
{
    // The pages of every product whose name has this picture's key, in catalogue order: the
    // last one that yields a picture wins, as when the pictures were stored one after another.
    std::vector<std::string> productPageUrls;

    // The box the picture is shrunk into (aspect kept, never enlarged), in device pixels.
    std::uint32_t fitWidth = 128, fitHeight = 128;
};

// The product pages of each picture key (normaliseName of the product's name), in catalogue
// order; products without a page are left out. Any thread.
std::map<std::string, std::vector<std::string>> picturePagesByKey (const std::vector<api::ProductReleaseInfo>& products);

// The picture of one card: for each of its pages from the last, the page, the page's og:image
// picture (held in memory, never written to disk) and a copy of it that fits the request's box.
// Any failure of a page or picture (each bounded by `limits`) moves on to the page before it;
// the record of the first page's failure comes back when none yields a picture. When `cancel`
// (the program closing) or `dropped` (the card is no longer wanted) becomes true, the running
// transfer stops within about a second and nothing more is fetched or decoded: the error is
// then "transfer cancelled". Blocking; a pool thread. Never throws.
picture::DecodedPicture fetchProductPicture (const PictureRequest& request,
                                             const std::atomic<bool>* cancel,
                                             const std::atomic<bool>* dropped = nullptr,
                                             const CatalogueLoadLimits& limits = {});

} // namespace zorvaplugins::zorvamanager::products
