#include "CatalogueWorker.h"

#include "AppHelpers.h"
#include "GuiStrings.h"
#include "OgImage.h"
#include "api/ReleaseCatalogueParser.h"
#include "network/ReleaseFetcher.h"

#include <filesystem>

using namespace zorvaplugins::zorvamanager;

namespace
{
constexpr long long catalogueTimeoutSeconds = 20;
constexpr long long pageTimeoutSeconds = 10;
constexpr long long pictureTimeoutSeconds = 20;

} // namespace

juce::Image fetchProductPicture (const api::ProductReleaseInfo& product)
{
    if (product.productPageUrl.empty())
        return {};

    const auto page = network::ReleaseFetcher::fetchHttps (product.productPageUrl, pageTimeoutSeconds);

    if (! page.ok)
        return {};

    const auto pictureUrl = findOgImageUrl (page.body);

    if (pictureUrl.empty())
        return {};

    std::filesystem::path root;

    try
    {
        root = makeTemporaryRoot();
    }
    catch (const std::exception&)
    {
        // Without a scratch folder this product simply goes without its picture.
        return {};
    }

    const auto file = root / "og-image";
    const auto download = network::ReleaseFetcher::downloadHttpsToFile (pictureUrl, file, pictureTimeoutSeconds);

    juce::Image image;

    if (download.ok)
        image = juce::ImageFileFormat::loadFrom (juce::File (toGuiString (file.string())));

    std::error_code ignored;
    std::filesystem::remove_all (root, ignored);
    return image;
}

std::shared_ptr<const CatalogueLoad> loadCatalogue (const std::string& catalogueUrl, const std::atomic<bool>& cancelled)
{
    auto load = std::make_shared<CatalogueLoad>();

    const auto fetched = network::ReleaseFetcher::fetchHttps (catalogueUrl, catalogueTimeoutSeconds);

    if (! fetched.ok)
    {
        load->error = "Catalogue fetch failed: " + toGuiString (fetched.error);
        return load;
    }

    auto parsed = api::ReleaseCatalogueParser::parse (fetched.body);

    if (! parsed.ok)
    {
        load->error = "Invalid catalogue: " + toGuiString (parsed.error);
        return load;
    }

    load->products = std::move (parsed.products);

    std::map<std::string, juce::Image> pictures;

    for (const auto& product : load->products)
    {
        if (cancelled.load())
            break;

        auto picture = fetchProductPicture (product);

        if (picture.isValid())
            pictures[normaliseName (product.name)] = std::move (picture);
    }

    load->images = std::move (pictures);
    load->ok = true;
    return load;
}
