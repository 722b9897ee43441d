// The catalogue load as a whole process, so that bench/compare_catalogue_load can take its CPU
// time side by side with curl fetching the same addresses, and the data both are run on:
//
//   CatalogueLoadTool load URL [CARDS]
//       what the program does when it loads the catalogue into a list that shows CARDS cards
//       (default 2, the window at its default size): products::loadCatalogue, then the pictures
//       the list then wants, those of the cards on screen and of one screen below them, each
//       fetched from its product page and decoded into its card-sized copy; prints
//       "N products, M pictures". With CARDS 0, the catalogue alone.
//   CatalogueLoadTool scroll URL
//       the same with every product's picture, as when the list has been scrolled to its end.
//   CatalogueLoadTool fetch URL
//       the catalogue's transfer alone, as the load makes it, without parsing it; prints the
//       number of bytes received.
//   CatalogueLoadTool make-site DIR BASEURL COUNT
//       a maker site of COUNT products in DIR, served at BASEURL: catalogue.json, a product page
//       of about 25 KB per product (products/<slug>.html) and its og:image picture
//       (images/<slug>.jpg, 1200 x 630, three in four; images/<slug>.png, 800 x 800, the
//       others), and urls.txt, every address the load fetches in the order it fetches them.
//   CatalogueLoadTool picture png|jpeg WIDTH HEIGHT FILE
//       one picture of that size with the same photo-like content.
//   CatalogueLoadTool decode FILE...
//       the decoding alone: each file into its card-sized copy, as a card's job does it;
//       prints the number decoded.
//
// Pictures are written with libjpeg and libpng, which the library links for its decoder.
// Exit status 0 on success; 1 with the error on standard error; 2 on a usage error.

#include "core/NameKey.h"
#include "network/ReleaseFetcher.h"
#include "products/CatalogueLoad.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace
{

namespace fs = std::filesystem;
using namespace zorvaplugins::zorvamanager;

// The picture box of a card at a display scale of 1, in pixels.
constexpr std::uint32_t cardPictureWidth = 50, cardPictureHeight = 62;

int usage()
{
    std::cerr << "usage: CatalogueLoadTool load URL [CARDS] | scroll URL | fetch URL | make-site DIR BASEURL COUNT | picture png|jpeg "
                 "WIDTH HEIGHT "
                 "FILE | decode FILE...\n";
    return 2;
}

// Loads the catalogue and the pictures of its first `cards` products.
int loadWithPictures (const std::string& url, std::size_t cards)
{
    const auto load = products::loadCatalogue (url, nullptr);

    if (! load.ok)
    {
        std::cerr << load.error << '\n';
        return 1;
    }

    const auto pages = products::picturePagesByKey (load.products);
    std::size_t pictures = 0;

    for (std::size_t i = 0; i < std::min (cards, load.products.size()); ++i)
    {
        const auto found = pages.find (core::normaliseName (load.products[i].name));

        if (found == pages.end())
            continue;

        products::PictureRequest request;
        request.productPageUrls = found->second;
        request.fitWidth = cardPictureWidth;
        request.fitHeight = cardPictureHeight;
        pictures += products::fetchProductPicture (request, nullptr).ok ? 1 : 0;
    }

    std::cout << load.products.size() << " products, " << pictures << " pictures\n";
    return 0;
}

std::uint32_t mix (std::uint32_t value)
{
    value ^= value >> 16;
    value *= 0x7feb352du;
    value ^= value >> 15;
    value *= 0x846ca68bu;
    return value ^ (value >> 16);
}

// Smooth shapes and gradients with a little grain, like a product photograph: JPEG sizes come
// out as a real site's (about 100 KB at 1200 x 630), and PNG has real work to do.
std::vector<std::uint8_t> photoRows (int width, int height, std::uint32_t seed)
{
    std::vector<std::uint8_t> rgb (static_cast<std::size_t> (width) * static_cast<std::size_t> (height) * 3);
    const auto phase = static_cast<double> (seed % 97) / 7.0;
    std::size_t i = 0;

    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const auto u = x / static_cast<double> (width), v = y / static_cast<double> (height);
            const auto knob = std::hypot (u - 0.5, (v - 0.5) * 0.8) < 0.3 ? 0.35 : 1.0;
            const auto grain = static_cast<double> (mix (seed * 0x9e3779b9u + static_cast<std::uint32_t> (y * width + x)) & 15u) - 7.5;

            for (int channel = 0; channel < 3; ++channel)
            {
                const auto wave = std::sin (u * (3 + channel) * 3.1 + phase) * std::cos (v * (2 + channel) * 2.7 - phase);
                const auto value = knob * (128.0 + 90.0 * wave) + grain;
                rgb[i++] = static_cast<std::uint8_t> (std::lround (std::fmin (255.0, std::fmax (0.0, value))));
            }
        }
    }

    return rgb;
}

void writeBytes (const fs::path& file, const std::string& bytes)
{
    fs::create_directories (file.parent_path());
    std::ofstream out (file, std::ios::binary);
    out.write (bytes.data(), static_cast<std::streamsize> (bytes.size()));

    if (! out)
        throw std::runtime_error ("cannot write " + file.string());
}

void writeJpeg (const fs::path& file, int width, int height, std::uint32_t seed)
{
    const auto rgb = photoRows (width, height, seed);
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error (&errors);
    jpeg_create_compress (&info);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest (&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION> (width);
    info.image_height = static_cast<JDIMENSION> (height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults (&info);
    jpeg_set_quality (&info, 85, TRUE);
    jpeg_start_compress (&info, TRUE);

    while (info.next_scanline < info.image_height)
    {
        auto* row =
            const_cast<JSAMPLE*> (rgb.data() + static_cast<std::size_t> (info.next_scanline) * static_cast<std::size_t> (width) * 3);
        jpeg_write_scanlines (&info, &row, 1);
    }

    jpeg_finish_compress (&info);
    jpeg_destroy_compress (&info);
    const std::string bytes (reinterpret_cast<const char*> (buffer), size);
    std::free (buffer);
    writeBytes (file, bytes);
}

void appendPng (png_structp png, png_bytep data, std::size_t length)
{
    static_cast<std::string*> (png_get_io_ptr (png))->append (reinterpret_cast<const char*> (data), length);
}

void flushNothing (png_structp) {}

void writePng (const fs::path& file, int width, int height, std::uint32_t seed)
{
    auto rgb = photoRows (width, height, seed);

    // Fewer levels, as in a rendered illustration, so that deflate finds something to do.
    for (auto& sample : rgb)
        sample = static_cast<std::uint8_t> (sample & 0xf0);

    std::string bytes;
    auto* png = png_create_write_struct (PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    auto* info = png_create_info_struct (png);

    if (png == nullptr || info == nullptr || setjmp (png_jmpbuf (png)))
    {
        png_destroy_write_struct (&png, &info);
        throw std::runtime_error ("cannot write " + file.string());
    }

    png_set_write_fn (png, &bytes, appendPng, flushNothing);
    png_set_IHDR (png,
                  info,
                  static_cast<png_uint_32> (width),
                  static_cast<png_uint_32> (height),
                  8,
                  PNG_COLOR_TYPE_RGB,
                  PNG_INTERLACE_NONE,
                  PNG_COMPRESSION_TYPE_DEFAULT,
                  PNG_FILTER_TYPE_DEFAULT);
    png_write_info (png, info);

    for (int y = 0; y < height; ++y)
        png_write_row (png, rgb.data() + static_cast<std::size_t> (y) * static_cast<std::size_t> (width) * 3);

    png_write_end (png, info);
    png_destroy_write_struct (&png, &info);
    writeBytes (file, bytes);
}

std::string hexDigest (std::uint32_t seed)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;

    for (std::uint32_t i = 0; i < 64; ++i)
        hex += digits[mix (seed * 64 + i) & 15u];

    return hex;
}

std::string productJson (const std::string& slug, int index, const std::string& baseUrl)
{
    std::string releases;

    for (int release = 0; release < 2; ++release)
    {
        const auto version = "1." + std::to_string (3 - release) + ".0";
        std::string artifacts;

        for (const auto* platform : { "linux-x64", "windows-x64" })
        {
            for (const auto* format : { "vst3", "clap" })
            {
                const auto fileName = slug + "-" + version + "-" + platform + "-" + format + ".tar.gz";
                artifacts += std::string (artifacts.empty() ? "" : ",") + R"({"id": ")" + slug + "-" + version + "-" + platform + "-" +
                    format + R"(", "platform": ")" + platform + R"(", "format": ")" + format +
                    R"(", "packageType": "archive", "downloadUrl": "https://downloads.example.invalid/)" + fileName +
                    R"(", "fileName": ")" + fileName + R"(", "sha256": ")" +
                    hexDigest (static_cast<std::uint32_t> (index * 16 + release * 4) + static_cast<std::uint32_t> (artifacts.size())) +
                    R"(", "sizeBytes": )" + std::to_string (20'000'000 + index * 1000) + "}";
            }
        }

        releases += std::string (releases.empty() ? "" : ",") + R"({"version": ")" + version +
            R"(", "status": "stable", "publishedAt": "2026-0)" + std::to_string (9 - release) +
            R"(-01", "changelogTitle": "What is new in )" + version +
            R"(", "changelogText": "Faster loading of presets, a resizable window and fixes for three rare crashes when the host changes the sample rate.", "artifacts": [)" +
            artifacts + "]}";
    }

    const auto name = "Product " + std::to_string (index);
    return R"({"slug": ")" + slug + R"(", "name": ")" + name + R"(", "tagline": "A plug-in for mixing and sound design", "isFree": )" +
        (index % 5 == 0 ? "true" : "false") + R"(, "latestVersion": "1.3.0", "productPageUrl": ")" + baseUrl + "/products/" + slug +
        R"(.html", "supportUrl": "https://support.example.invalid/", "capabilities": ["vst3", "clap"], "releases": [)" + releases + "]}";
}

std::string productPage (const std::string& name, const std::string& pictureUrl)
{
    std::string page = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)" +
        name + R"( | ZorvaPlugins</title>
<meta name="description" content=")" +
        name + R"( is an audio plug-in in VST3 and CLAP formats for Linux and Windows.">
<link rel="stylesheet" href="/assets/site.css">
<link rel="icon" href="/assets/favicon.png">
<meta property="og:type" content="product">
<meta property="og:title" content=")" +
        name + R"(">
<meta property="og:description" content="An audio plug-in by ZorvaPlugins.">
<meta property="og:image" content=")" +
        pictureUrl + R"(">
<meta property="og:image:width" content="1200">
<meta property="og:image:height" content="630">
<meta name="twitter:card" content="summary_large_image">
<script src="/assets/site.js" defer></script>
</head>
<body>
<nav class="top"><a href="/">Home</a> <a href="/products/">Products</a> <a href="/support/">Support</a> <a href="/account/">Account</a></nav>
<main>
<h1>)" + name +
        R"(</h1>
)";

    const std::string paragraph = R"(<section class="feature"><h2>Sound</h2><p>Every voice runs through an analogue-modelled filter with
drive, and the modulation matrix routes any source to any destination. Presets load in under a
millisecond and the window scales from 75 to 200 percent.</p><ul><li>Sample-accurate automation</li>
<li>Oversampling up to 8x</li><li>MIDI learn for every control</li></ul></section>
)";

    while (page.size() < 25'000)
        page += paragraph;

    return page + "</main>\n<footer>&copy; ZorvaPlugins</footer>\n</body>\n</html>\n";
}

void makeSite (const fs::path& folder, const std::string& baseUrl, int count)
{
    std::string products, urls = baseUrl + "/catalogue.json\n";

    for (int i = 0; i < count; ++i)
    {
        const auto slug = "product-" + std::to_string (i);
        const auto seed = static_cast<std::uint32_t> (i + 1);
        const auto picture = i % 4 == 3 ? "images/" + slug + ".png" : "images/" + slug + ".jpg";

        if (i % 4 == 3)
            writePng (folder / picture, 800, 800, seed);
        else
            writeJpeg (folder / picture, 1200, 630, seed);

        writeBytes (folder / "products" / (slug + ".html"), productPage ("Product " + std::to_string (i), baseUrl + "/" + picture));
        products += (i == 0 ? "" : ",") + productJson (slug, i, baseUrl);
        urls += baseUrl + "/products/" + slug + ".html\n" + baseUrl + "/" + picture + "\n";
    }

    writeBytes (folder / "catalogue.json", R"({"schema": 1, "generatedAt": "2026-12-01T10:00:00Z", "products": [)" + products + "]}");
    writeBytes (folder / "urls.txt", urls);
}

int run (int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";

    if (command == "load" && (argc == 3 || argc == 4))
    {
        const auto cards = argc == 4 ? std::atoi (argv[3]) : 2;
        return cards >= 0 ? loadWithPictures (argv[2], 2 * static_cast<std::size_t> (cards)) : usage();
    }

    if (command == "scroll" && argc == 3)
        return loadWithPictures (argv[2], std::numeric_limits<std::size_t>::max());

    if (command == "fetch" && argc == 3)
    {
        const products::CatalogueLoadLimits limits;
        network::TransferControl control;
        control.maxBodyBytes = limits.maxCatalogueBytes;
        const auto fetched = network::ReleaseFetcher::fetchHttps (argv[2], limits.catalogueTimeoutSeconds, control);

        if (! fetched.ok)
        {
            std::cerr << fetched.error << '\n';
            return 1;
        }

        std::cout << fetched.body.size() << " bytes\n";
        return 0;
    }

    if (command == "make-site" && argc == 5)
    {
        makeSite (argv[2], argv[3], std::atoi (argv[4]));
        return 0;
    }

    if (command == "picture" && argc == 6)
    {
        const std::string format = argv[2];
        const auto width = std::atoi (argv[3]), height = std::atoi (argv[4]);

        if (width <= 0 || height <= 0 || (format != "png" && format != "jpeg"))
            return usage();

        if (format == "png")
            writePng (argv[5], width, height, 1);
        else
            writeJpeg (argv[5], width, height, 1);

        return 0;
    }

    if (command == "decode" && argc > 2)
    {
        int decoded = 0;

        for (int i = 2; i < argc; ++i)
        {
            picture::PictureLimits limits;
            limits.fitWidth = cardPictureWidth;
            limits.fitHeight = cardPictureHeight;
            std::ifstream input (argv[i], std::ios::binary);
            const std::string bytes { std::istreambuf_iterator<char> (input), std::istreambuf_iterator<char>() };
            decoded +=
                input && picture::PictureDecoder::decode (reinterpret_cast<const std::uint8_t*> (bytes.data()), bytes.size(), limits).ok
                ? 1
                : 0;
        }

        std::cout << decoded << " decoded\n";
        return decoded == argc - 2 ? 0 : 1;
    }

    return usage();
}

} // namespace

int main (int argc, char** argv)
{
    try
    {
        return run (argc, argv);
    }
    catch (const std::exception& error)
    {
        std::cerr << error.what() << '\n';
        return 1;
    }
}
