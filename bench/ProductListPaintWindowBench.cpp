// Cost of one full paint of the product list, at the window's default size, with 1,000
// products whose pictures were 1024 x 1024 PNG files: each decoded to its card-sized copy the
// way a catalogue load does, so a paint scales small pictures only. Painted into a software
// image, at the top of the list and scrolled to its middle. For comparison, the same paint
// with full-size 1024 x 1024 pictures (sixteen shared between the products), which is what
// scaling from the original on every paint costs.

#include "ProductList.h"
#include "ProductListModel.h"
#include "WindowCatalogue.h"
#include "core/NameKey.h"
#include "picture/PictureDecoder.h"
#include "products/ProductRows.h"

#include <benchmark/benchmark.h>

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{

using namespace zorvaplugins::zorvamanager;

// A 1024 x 1024 PNG with a gradient and a product's own hue.
juce::MemoryBlock pictureFile (int index)
{
    juce::Image image (juce::Image::ARGB, 1024, 1024, true);
    juce::Graphics g (image);
    const auto hue = static_cast<float> (index % 97) / 97.0f;
    g.setGradientFill (juce::ColourGradient (
        juce::Colour::fromHSV (hue, 0.8f, 0.9f, 1.0f), 0, 0, juce::Colour::fromHSV (hue, 0.4f, 0.3f, 1.0f), 1024, 1024, false));
    g.fillAll();
    g.setColour (juce::Colours::white);
    g.fillEllipse (200.0f, 200.0f, 624.0f, 624.0f);

    juce::MemoryOutputStream stream;
    juce::PNGImageFormat().writeImageToStream (image, stream);
    return stream.getMemoryBlock();
}

struct Scene
{
    explicit Scene (bool fullSize)
    {
        auto products = std::make_shared<std::vector<api::ProductReleaseInfo>>();
        std::map<std::string, std::vector<std::string>> sources;

        for (int i = 0; i < 1000; ++i)
        {
            api::ProductReleaseInfo product;
            product.slug = "product-" + std::to_string (i);
            product.name = "Product " + std::to_string (i);
            product.subtitle = "Subtitle of product " + std::to_string (i);
            product.latestVersion = "1.10." + std::to_string (i);
            product.capabilities = { "vst3", "clap", i % 3 == 0 ? "free" : "effect" };
            products->push_back (product);
            sources[core::normaliseName (product.name)] = { core::normaliseName (product.name) };

            if (fullSize && i >= 16)
            {
                decoded[core::normaliseName (product.name)] = decoded[core::normaliseName ("Product " + std::to_string (i % 16))];
                continue;
            }

            picture::PictureLimits limits;
            limits.fitWidth = limits.fitHeight = fullSize ? 1024 : 128;
            const auto file = pictureFile (i);
            decoded[core::normaliseName (product.name)] =
                toImage (picture::PictureDecoder::decode (static_cast<const std::uint8_t*> (file.getData()), file.getSize(), limits));
        }

        std::vector<scan::InstalledPlugin> installed;

        for (int i = 0; i < 1000; i += 2)
            installed.push_back (
                { install::PluginFormat::Vst3, "Product " + std::to_string (i), "/p/Product " + std::to_string (i) + ".vst3", "1.2.0" });

        pictures.setSources (std::move (sources));
        model.setPictures (&pictures);
        model.setRows (products::buildRows (std::move (products), installed, {}, {}), false);
        model.setActionsEnabled (true);
        list.setBounds (0, 0, 866, 280);
    }

    // The pictures of the cards near the screen, handed over at once from those decoded above.
    std::map<std::string, juce::Image> decoded;
    ProductPictures pictures { [] (std::function<juce::Image()> work, std::function<void (juce::Image)> done) { done (work()); },
                               [this] (const products::PictureRequest& request, const std::atomic<bool>&) {
                                   return decoded.at (request.productPageUrls.back());
                               } };
    ProductListModel model;
    ProductList list { model };
    juce::Image canvas { juce::Image::ARGB, 866, 280, true, juce::SoftwareImageType() };
};

juce::ScopedJuceInitialiser_GUI& framework()
{
    static juce::ScopedJuceInitialiser_GUI instance;
    return instance;
}

Scene& scene (bool fullSize)
{
    framework();
    static Scene cardSized (false);
    static Scene original (true);
    return fullSize ? original : cardSized;
}

void paint (benchmark::State& state, bool fullSize)
{
    auto& s = scene (fullSize);
    s.list.setScrollPosition (static_cast<double> (state.range (0)));

    for (auto _ : state)
    {
        juce::Graphics g (s.canvas);
        s.list.paintEntireComponent (g, false);
    }

    state.counters["scroll"] = s.list.scrollPosition();
}

void paintCardSizedPictures (benchmark::State& state)
{
    paint (state, false);
}

void paintFullSizePictures (benchmark::State& state)
{
    paint (state, true);
}

} // namespace

BENCHMARK (paintCardSizedPictures)->Arg (0)->Arg (45000)->Unit (benchmark::kMillisecond);
BENCHMARK (paintFullSizePictures)->Arg (0)->Arg (45000)->Unit (benchmark::kMillisecond);

int main (int argc, char** argv)
{
    scene (false);
    scene (true);
    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
