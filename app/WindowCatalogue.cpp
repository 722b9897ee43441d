#include "WindowCatalogue.h"

#include "GuiStrings.h"
#include "products/CatalogueLoad.h"

using namespace zorvaplugins::zorvamanager;

juce::Image toImage (const picture::DecodedPicture& decoded)
{
    if (! decoded.ok || decoded.width == 0 || decoded.height == 0)
        return {};

    juce::Image image (
        juce::Image::ARGB, static_cast<int> (decoded.width), static_cast<int> (decoded.height), false, juce::SoftwareImageType());
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

    for (std::uint32_t y = 0; y < decoded.height; ++y)
    {
        for (std::uint32_t x = 0; x < decoded.width; ++x)
        {
            const auto argb = decoded.pixels[static_cast<std::size_t> (y) * decoded.width + x];
            pixels.setPixelColour (static_cast<int> (x), static_cast<int> (y), juce::Colour (argb));
        }
    }

    return image;
}

std::shared_ptr<const WindowCatalogue> loadWindowCatalogue (const std::string& catalogueUrl, const std::atomic<bool>* cancel)
{
    auto load = std::make_shared<WindowCatalogue>();

    try
    {
        auto result = products::loadCatalogue (catalogueUrl, cancel);
        load->ok = result.ok;
        load->error = toGuiString (result.error);
        load->products = std::make_shared<const std::vector<api::ProductReleaseInfo>> (std::move (result.products));
    }
    catch (const std::exception& error)
    {
        *load = {};
        load->error = "Catalogue fetch failed: " + toGuiString (error.what());
    }

    return load;
}
