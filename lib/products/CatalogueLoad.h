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
    std::map<std::string, picture::DecodedPicture> pictures; // card-sized, by normaliseName of the product's name
};

// The bounds of one load. Every transfer is limited in time and in bytes received, whatever
// the server declares, so a broken or hostile site costs bounded memory, disk and time. The
// catalogue's limit takes a document with a 200 MB text in it; parsing costs up to about ten
// times the document's size in memory while it runs.
struct CatalogueLoadLimits
{
    std::int64_t catalogueTimeoutSeconds = 20;
    std::int64_t pageTimeoutSeconds = 10;
    std::int64_t pictureTimeoutSeconds = 20;
    std::uint64_t maxCatalogueBytes = 256u << 20;
    std::uint64_t maxPageBytes = 4u << 20;
    std::uint64_t maxPictureBytes = 8u << 20;
};

// Fetches and parses the release catalogue, then, product after product, its page, the page's
// og:image picture (held in memory, never written to disk) and a card-sized copy of it. A
// product whose page or picture fails in any way simply has no picture; two products whose
// names normalise alike share one, the later one winning. When
// `cancel` becomes true, the running transfer (or the catalogue's parse) stops within about a
// second and no further picture is fetched. Blocking; a pool thread. Never throws.
CatalogueLoadResult loadCatalogue (const std::string& catalogueUrl,
                                   const std::atomic<bool>* cancel,
                                   const CatalogueLoadLimits& limits = {});

// The picture of one product, or a failed record when there is none.
picture::DecodedPicture fetchProductPicture (const api::ProductReleaseInfo& product,
                                             const std::atomic<bool>* cancel,
                                             const CatalogueLoadLimits& limits = {});

} // namespace zorvaplugins::zorvamanager::products
