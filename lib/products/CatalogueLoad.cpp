#include "products/CatalogueLoad.h"

#include "api/ProductPage.h"
#include "api/ReleaseCatalogueParser.h"
#include "core/NameKey.h"
#include "network/ReleaseFetcher.h"

namespace zorvaplugins::zorvamanager::products
{

namespace
{

bool isCancelled (const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

network::TransferControl boundedBy (std::uint64_t maxBytes,
                                    const std::atomic<bool>* cancel)
{
    network::TransferControl control;
    control.maxBodyBytes = maxBytes;
    control.cancel = cancel;
    return control;
}

picture::DecodedPicture noPicture (std::string why)
{
    picture::DecodedPicture none;
    none.error = std::move (why);
    return none;
}

} // namespace

picture::DecodedPicture
fetchProductPicture (const api::ProductReleaseInfo& product,
                     const std::atomic<bool>* cancel,
                     const CatalogueLoadLimits& limits)
{
    if (product.productPageUrl.empty())
        return noPicture ("no product page");

    const auto page = network::ReleaseFetcher::fetchHttps (
        product.productPageUrl, limits.pageTimeoutSeconds, boundedBy (limits.maxPageBytes, cancel));

    if (! page.ok)
        return noPicture (page.error);

    const auto pictureUrl = api::findOgImageUrl (page.body);

    if (pictureUrl.empty())
        return noPicture ("no og:image on the product page");

    // The picture is held in memory, never written: it is bounded like a page, and the decoder
    // reads it from there as well as from a file, without the cost of a scratch folder per
    // product.
    const auto download = network::ReleaseFetcher::fetchHttps (
        pictureUrl, limits.pictureTimeoutSeconds, boundedBy (limits.maxPictureBytes, cancel));

    if (! download.ok)
        return noPicture (download.error);

    return picture::PictureDecoder::decode (reinterpret_cast<const std::uint8_t*> (download.body.data()), download.body.size());
}

CatalogueLoadResult loadCatalogue (const std::string& catalogueUrl,
                                   const std::atomic<bool>* cancel,
                                   const CatalogueLoadLimits& limits)
{
    CatalogueLoadResult load;

    try
    {
        auto fetched = network::ReleaseFetcher::fetchHttps (
            catalogueUrl, limits.catalogueTimeoutSeconds, boundedBy (limits.maxCatalogueBytes, cancel));

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
            load.error = isCancelled (cancel) ? "Catalogue fetch failed: transfer cancelled" : "Invalid catalogue: " + parsed.error;
            return load;
        }

        load.products = std::move (parsed.products);

        for (const auto& product : load.products)
        {
            if (isCancelled (cancel))
                break;

            auto picture = fetchProductPicture (product, cancel, limits);

            if (picture.ok)
                load.pictures[core::normaliseName (product.name)] = std::move (picture);
        }

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
