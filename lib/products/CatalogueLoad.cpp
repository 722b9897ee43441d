#include "products/CatalogueLoad.h"

#include "api/ProductPage.h"
#include "api/ReleaseCatalogueParser.h"
#include "core/NameKey.h"
#include "network/ReleaseFetcher.h"

#include <stdexcept>

namespace zorvaplugins::zorvamanager::products
{

namespace
{

const char* const cancelledText = "transfer cancelled";

bool isSet (const std::atomic<bool>* flag)
{
    return flag != nullptr && flag->load();
}

network::TransferControl boundedBy (std::uint64_t maxBytes, const std::atomic<bool>* cancel, const std::atomic<bool>* dropped)
{
    network::TransferControl control;
    control.maxBodyBytes = maxBytes;
    control.cancel = cancel;

    // The transfer has one cancel flag; the card's own is watched through the progress hook,
    // whose exception stops the transfer the same way.
    if (dropped != nullptr)
        control.onProgress = [dropped] (std::uint64_t, std::uint64_t) {
            if (dropped->load())
                throw std::runtime_error (cancelledText);
        };

    return control;
}

picture::DecodedPicture noPicture (std::string why)
{
    picture::DecodedPicture none;
    none.error = std::move (why);
    return none;
}

picture::DecodedPicture pictureOfPage (const std::string& pageUrl,
                                       const PictureRequest& request,
                                       const std::atomic<bool>* cancel,
                                       const std::atomic<bool>* dropped,
                                       const CatalogueLoadLimits& limits)
{
    const auto page =
        network::ReleaseFetcher::fetchHttps (pageUrl, limits.pageTimeoutSeconds, boundedBy (limits.maxPageBytes, cancel, dropped));

    if (! page.ok)
        return noPicture (page.error);

    const auto pictureUrl = api::findOgImageUrl (page.body);

    if (pictureUrl.empty())
        return noPicture ("no og:image on the product page");

    if (isSet (cancel) || isSet (dropped))
        return noPicture (cancelledText);

    // The picture is held in memory, never written: it is bounded like a page, and the decoder
    // reads it from there as well as from a file, without the cost of a scratch folder per
    // product.
    const auto download =
        network::ReleaseFetcher::fetchHttps (pictureUrl, limits.pictureTimeoutSeconds, boundedBy (limits.maxPictureBytes, cancel, dropped));

    if (! download.ok)
        return noPicture (download.error);

    if (isSet (cancel) || isSet (dropped))
        return noPicture (cancelledText);

    picture::PictureLimits fit;
    fit.fitWidth = request.fitWidth;
    fit.fitHeight = request.fitHeight;
    return picture::PictureDecoder::decode (reinterpret_cast<const std::uint8_t*> (download.body.data()), download.body.size(), fit);
}

} // namespace

std::map<std::string, std::vector<std::string>> picturePagesByKey (const std::vector<api::ProductReleaseInfo>& products)
{
    std::map<std::string, std::vector<std::string>> pages;

    for (const auto& product : products)
        if (! product.productPageUrl.empty())
            pages[core::normaliseName (product.name)].push_back (product.productPageUrl);

    return pages;
}

picture::DecodedPicture fetchProductPicture (const PictureRequest& request,
                                             const std::atomic<bool>* cancel,
                                             const std::atomic<bool>* dropped,
                                             const CatalogueLoadLimits& limits)
{
    auto result = noPicture ("no product page");

    try
    {
        for (auto page = request.productPageUrls.rbegin(); page != request.productPageUrls.rend(); ++page)
        {
            if (isSet (cancel) || isSet (dropped))
                return noPicture (cancelledText);

            result = pictureOfPage (*page, request, cancel, dropped, limits);

            if (result.ok)
                break;
        }
    }
    catch (const std::exception& error)
    {
        // Out of memory, in practice (the decoder itself never throws).
        result = noPicture (error.what());
    }

    return result;
}

CatalogueLoadResult loadCatalogue (const std::string& catalogueUrl, const std::atomic<bool>* cancel, const CatalogueLoadLimits& limits)
{
    CatalogueLoadResult load;

    try
    {
        auto fetched = network::ReleaseFetcher::fetchHttps (
            catalogueUrl, limits.catalogueTimeoutSeconds, boundedBy (limits.maxCatalogueBytes, cancel, nullptr));

        if (! fetched.ok)
        {
            load.error = "Catalogue fetch failed: " + fetched.error;
            return load;
        }

        // The parse watches the flag too: a hostile catalogue within the size limit can take
        // many seconds to parse.
        auto parsed = api::ReleaseCatalogueParser::parse (fetched.body, cancel);
        fetched.body = {};

        if (! parsed.ok)
        {
            load.error = isSet (cancel) ? std::string ("Catalogue fetch failed: ") + cancelledText : "Invalid catalogue: " + parsed.error;
            return load;
        }

        load.products = std::move (parsed.products);
        load.ok = true;
    }
    catch (const std::exception& error)
    {
        // Out of memory, in practice: the load fails as a whole rather than
        // half-delivered.
        load = {};
        load.error = std::string ("Catalogue fetch failed: ") + error.what();
    }

    return load;
}

} // namespace zorvaplugins::zorvamanager::products
