#include "products/CatalogueLoad.h"

#include "core/NameKey.h"
#include "network/ReleaseFetcher.h"
#include "picture/PictureFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

// The catalogue load against a hostile or broken maker site, on the local HTTPS service: every
// kind of damaged, oversized, endless or slow answer costs only the product it belongs to,
// within bounded memory and disk, and leaves nothing behind.
namespace
{

namespace fs = std::filesystem;
using namespace zorvaplugins::zorvamanager;
using zorvatest::environment;

const products::CatalogueLoadLimits defaultLimits;
const std::string pictureTooLarge = "response body larger than " + std::to_string (defaultLimits.maxPictureBytes) + " bytes";
const std::string pageTooLarge = "response body larger than " + std::to_string (defaultLimits.maxPageBytes) + " bytes";
const std::string noOgImage = "no og:image on the product page";
const std::string certificateText = "SSL peer certificate or SSH remote key was not OK";

// AddressSanitizer keeps freed blocks in its quarantine, resident, up to 256 MiB by default: a
// load that frees a few limit-sized bodies reaches 180 MiB of resident peak under it, where
// the same load without it grows by 17 MiB.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t sanitizerQuarantine = 256u << 20;
#else
constexpr std::uint64_t sanitizerQuarantine = 0;
#endif

// Far below what reading a hostile body whole would take (the smallest is a 1 GB page), and
// far above what a load that keeps to its limits needs.
constexpr std::uint64_t memoryBound = (128u << 20) + sanitizerQuarantine;

// A liveness bound for one load: each of its transfers has a time limit of 20 s at most.
constexpr auto loadBound = std::chrono::seconds (120);

std::optional<std::uint64_t> statusKib (const char* field)
{
    std::ifstream status ("/proc/self/status");
    std::string line;

    while (std::getline (status, line))
        if (line.rfind (field, 0) == 0)
            return std::stoull (line.substr (std::string (field).size())) * 1024;

    return std::nullopt;
}

// Where this process's resident memory is, for a failure message.
std::string residentSummary()
{
    std::ifstream rollup ("/proc/self/smaps_rollup");
    return std::string (std::istreambuf_iterator<char> (rollup), {});
}

// The growth of this process's peak resident memory from now on. Resetting the peak
// (/proc/self/clear_refs) is what makes it the peak of this load rather than of the whole run.
class PeakMemory
{
public:
    PeakMemory()
    {
        std::ofstream clear ("/proc/self/clear_refs");
        clear << "5";
        clear.flush();

        if (clear.good())
            start = statusKib ("VmRSS:");
    }

    std::optional<std::uint64_t> growth() const
    {
        const auto peak = statusKib ("VmHWM:");

        if (! start || ! peak)
            return std::nullopt;

        return *peak > *start ? *peak - *start : 0;
    }

private:
    std::optional<std::uint64_t> start;
};

// Watches a folder from a thread of its own while a load runs, and keeps the largest file
// seen in it: the downloads in progress.
class FolderWatch
{
public:
    explicit FolderWatch (fs::path folderToWatch)
        : folder (std::move (folderToWatch))
        , thread ([this] {
            while (! finished.load())
            {
                std::error_code error;

                for (fs::recursive_directory_iterator entry (folder, error), end; ! error && entry != end; entry.increment (error))
                {
                    std::error_code sizeError;
                    const auto size = entry->is_regular_file (sizeError) ? entry->file_size (sizeError) : 0;

                    if (! sizeError && size > largest.load())
                        largest = size;
                }

                std::this_thread::sleep_for (std::chrono::milliseconds (5));
            }
        })
    {}

    ~FolderWatch() { stop(); }

    FolderWatch (const FolderWatch&) = delete;
    FolderWatch& operator= (const FolderWatch&) = delete;

    std::uint64_t stop()
    {
        finished = true;

        if (thread.joinable())
            thread.join();

        return largest.load();
    }

private:
    fs::path folder;
    std::atomic<bool> finished { false };
    std::atomic<std::uint64_t> largest { 0 };
    std::thread thread;
};

// One product of a test catalogue: its name (the picture key) and page.
struct Product
{
    std::string name, pageUrl;
};

std::string productJson (const Product& product)
{
    return R"({"slug": ")" + product.name + R"(", "name": ")" + product.name + R"(", "latestVersion": "1.0.0", "productPageUrl": ")" +
        product.pageUrl +
        R"(", "supportUrl": "https://example.invalid/support", "releases": [{"version": "1.0.0", "status": "stable", "publishedAt": "2026-11-01", "artifacts": [{"id": ")" +
        product.name +
        R"(-vst3", "platform": "linux-x64", "format": "vst3", "packageType": "archive", "downloadUrl": "https://example.invalid/p.tar.gz", "fileName": "p.tar.gz", "sha256": ")" +
        std::string (64, 'a') + R"(", "sizeBytes": 1}]}]})";
}

std::string catalogueJson (const std::vector<Product>& products, const std::string& extraMember = {})
{
    std::string list;

    for (const auto& product : products)
        list += (list.empty() ? "" : ",") + productJson (product);

    return R"({"schema": 1, "generatedAt": "2026-12-01T10:00:00Z", )" + extraMember + R"("products": [)" + list + "]}";
}

// A catalogue that is nearly all one array of zeros: a few hundred megabytes of memory and
// seconds of parsing for every 64 MiB.
std::string catalogueOfZeros (std::size_t zeros)
{
    std::string filler (2 * zeros, '0');

    for (std::size_t i = 0; i < filler.size(); i += 2)
        filler[i] = ',';

    return R"({"schema": 1, "generatedAt": "2026-12-01T10:00:00Z", "products": [], "filler": [0)" + filler + "]}";
}

std::string pageFor (const std::string& pictureUrl)
{
    return R"(<!DOCTYPE html><html><head><title>Product</title><meta property="og:image" content=")" + pictureUrl +
        R"("></head><body>A plug-in.</body></html>)";
}

// A catalogue load followed by every card's picture, one after the other in catalogue order,
// as when the list has been scrolled through to its end.
struct LoadWithPictures
{
    bool ok = false;
    std::string error;
    std::vector<api::ProductReleaseInfo> products;
    std::map<std::string, picture::DecodedPicture> pictures; // by picture key, the ones that came
};

LoadWithPictures loadWithEveryPicture (const std::string& catalogueUrl, const std::atomic<bool>* cancel)
{
    auto load = products::loadCatalogue (catalogueUrl, cancel);
    LoadWithPictures result { load.ok, load.error, std::move (load.products), {} };
    const auto pages = products::picturePagesByKey (result.products);
    std::set<std::string> tried;

    for (const auto& product : result.products)
    {
        const auto key = core::normaliseName (product.name);
        const auto found = pages.find (key);

        if (found == pages.end() || ! tried.insert (key).second || (cancel != nullptr && cancel->load()))
            continue;

        products::PictureRequest request;
        request.productPageUrls = found->second;

        if (auto picture = products::fetchProductPicture (request, cancel); picture.ok)
            result.pictures[key] = std::move (picture);
    }

    return result;
}

// What one load brought back, and what could be seen of it from outside.
struct Observed
{
    LoadWithPictures result;
    std::optional<std::uint64_t> peakGrowth; // none where the peak cannot be reset
    std::uint64_t largestScratchFile = 0;
};

// A maker site of the test's own in the service's data folder, and a temporary directory of
// the test's own for the load's scratch folders.
class HostileSite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service = environment ("ZORVAMANAGER_TEST_SERVICE");

        if (service.empty() || environment ("ZORVAMANAGER_TEST_SERVICE_DATA").empty())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";

        static std::atomic<int> counter { 0 };
        siteName = "hostile-site-" + std::to_string (::getpid()) + "-" + std::to_string (counter++);
        siteFolder = fs::path (environment ("ZORVAMANAGER_TEST_SERVICE_DATA")) / siteName;
        tmpdir = std::make_unique<zorvatest::ScopedEnv> ("TMPDIR", scratch.path().string());
    }

    void TearDown() override
    {
        tmpdir.reset();
        std::error_code ignored;

        if (! siteFolder.empty())
            fs::remove_all (siteFolder, ignored);
    }

    // Publishes a file of the site; its URL.
    std::string put (const std::string& relative, const std::string& bytes)
    {
        zorvatest::writeFile (siteFolder / relative, bytes);
        return url (relative);
    }

    std::string url (const std::string& relative) const { return service + "/" + siteName + "/" + relative; }

    // A product whose page shows this picture address.
    Product showing (const std::string& name, const std::string& pictureUrl)
    {
        return { name, put ("products/" + name + ".html", pageFor (pictureUrl)) };
    }

    // A product whose picture is these bytes.
    Product withPicture (const std::string& name, const std::string& pictureBytes)
    {
        return showing (name, put ("images/" + name, pictureBytes));
    }

    // A well-behaved product with a small picture of one colour of its own.
    Product honest (const std::string& name)
    {
        const auto colour = 0xff000000u | (static_cast<std::uint32_t> (expectedColours.size() + 1) * 0x1f3d5bu & 0xffffffu);
        expectedColours[core::normaliseName (name)] = colour;
        return withPicture (name, zorvatest::encodeRgbaPng (48, 32, std::vector<std::uint32_t> (48 * 32, colour)));
    }

    // The hostile products between honest ones: first, in the middle and last.
    std::vector<Product> amongHonestOnes (const std::vector<Product>& hostile)
    {
        std::vector<Product> all { honest ("first-honest") };
        all.insert (all.end(), hostile.begin(), hostile.begin() + static_cast<std::ptrdiff_t> (hostile.size() / 2));
        all.push_back (honest ("middle-honest"));
        all.insert (all.end(), hostile.begin() + static_cast<std::ptrdiff_t> (hostile.size() / 2), hostile.end());
        all.push_back (honest ("last-honest"));
        return all;
    }

    // Loads a catalogue from this URL on a thread of its own while watching memory and disk.
    Observed loadFrom (const std::string& catalogueUrl, const std::atomic<bool>* cancel = nullptr)
    {
        Observed observed;
        PeakMemory peak;
        FolderWatch watch (scratch.path());
        auto pending = std::async (std::launch::async, [&catalogueUrl, cancel] { return loadWithEveryPicture (catalogueUrl, cancel); });
        EXPECT_EQ (pending.wait_for (loadBound), std::future_status::ready)
            << "the load was still running after " << loadBound.count() << " s";
        observed.result = pending.get();
        observed.largestScratchFile = watch.stop();
        observed.peakGrowth = peak.growth();
        return observed;
    }

    Observed load (const std::vector<Product>& products) { return loadFrom (put ("catalogue.json", catalogueJson (products))); }

    Observed loadAndExpectHonestPictures (const std::vector<Product>& products)
    {
        auto observed = load (products);
        const auto& result = observed.result;
        EXPECT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.products.size(), products.size());
        expectHonestPictures (result);
        EXPECT_EQ (result.pictures.size(), expectedColours.size()) << "a hostile product came back with a picture";
        expectNothingLeftBehind();
        return observed;
    }

    void expectHonestPictures (const LoadWithPictures& result) const
    {
        for (const auto& [key, colour] : expectedColours)
        {
            const auto found = result.pictures.find (key);

            if (found == result.pictures.end())
            {
                ADD_FAILURE() << "no picture for " << key;
                continue;
            }

            EXPECT_TRUE (found->second.ok);
            EXPECT_EQ (found->second.width, 48u);
            ASSERT_FALSE (found->second.pixels.empty());
            EXPECT_EQ (found->second.pixels.front(), colour) << key;
        }
    }

    void expectNothingLeftBehind() const
    {
        std::vector<std::string> left;

        for (const auto& entry : fs::directory_iterator (scratch.path()))
            left.push_back (entry.path().filename().string());

        EXPECT_TRUE (left.empty()) << "left in the temporary directory: " << ::testing::PrintToString (left);
    }

    static void expectBoundedMemory (const Observed& observed, const char* what)
    {
        if (observed.peakGrowth)
        {
            EXPECT_LT (*observed.peakGrowth, memoryBound) << what << "\n" << residentSummary();
        }
    }

    // Why one product goes without its picture.
    static std::string failureOf (const Product& product)
    {
        products::PictureRequest request;
        request.productPageUrls = { product.pageUrl };
        const auto picture = products::fetchProductPicture (request, nullptr);
        EXPECT_FALSE (picture.ok) << product.name;
        EXPECT_TRUE (picture.pixels.empty()) << product.name;
        return picture.error;
    }

    std::string service, siteName;
    fs::path siteFolder;
    zorvatest::TempDir scratch;
    std::unique_ptr<zorvatest::ScopedEnv> tmpdir;
    std::map<std::string, std::uint32_t> expectedColours; // by picture key
};

// A small PNG whose image data is changed; its CRC is made right again unless `crcAsChanged`.
std::string damagedPng (const std::function<void (zorvatest::PngChunk&)>& change, bool crcAsChanged)
{
    auto chunks = zorvatest::splitPngChunks (zorvatest::encodeRgbaPng (32, 32, std::vector<std::uint32_t> (32 * 32, 0xff336699u)));

    for (auto& chunk : chunks)
    {
        if (chunk.type == "IDAT")
        {
            change (chunk);

            if (! crcAsChanged)
                chunk.crc = zorvatest::pngChunkCrc (chunk);
        }
    }

    return zorvatest::joinPngChunks (chunks);
}

std::string smallGif()
{
    zorvatest::GifRecipe recipe;
    recipe.screenWidth = 4;
    recipe.screenHeight = 4;
    recipe.globalColours = { { 255, 0, 0 }, { 0, 255, 0 } };
    zorvatest::GifFrame frame;
    frame.width = 4;
    frame.height = 4;
    frame.indices.assign (16, 1);
    recipe.frames = { frame };
    return zorvatest::encodeGif (recipe);
}

// The first image descriptor of smallGif(): after the header, the screen and two colours.
constexpr std::size_t gifImageDescriptor = 6 + 7 + 3 * 2;

std::string gifWithImageSize (std::uint16_t width, std::uint16_t height)
{
    auto gif = smallGif();
    gif[gifImageDescriptor + 5] = static_cast<char> (width);
    gif[gifImageDescriptor + 6] = static_cast<char> (width >> 8);
    gif[gifImageDescriptor + 7] = static_cast<char> (height);
    gif[gifImageDescriptor + 8] = static_cast<char> (height >> 8);
    return gif;
}

} // namespace

TEST_F (HostileSite, DamagedPicturesCostOnlyTheirOwnCard)
{
    const auto png = zorvatest::encodeRgbaPng (32, 32, std::vector<std::uint32_t> (32 * 32, 0xff336699u));
    const auto jpeg = zorvatest::encodeRgbJpeg (32, 32, std::vector<std::uint32_t> (32 * 32, 0x336699u));
    auto jpegBadFrame = jpeg;
    jpegBadFrame[zorvatest::jpegFrameOffset (jpeg) + 9] = 0; // no colour components
    auto gifBadRecord = smallGif();
    gifBadRecord[gifImageDescriptor] = 'x';

    const struct
    {
        const char* name;
        std::string bytes;
        std::string error;
    } cases[] = {
        { "truncated-png", png.substr (0, png.size() / 2), "truncated PNG picture" },
        { "png-bad-crc",
          damagedPng ([] (zorvatest::PngChunk& idat) { idat.crc ^= 0x00010000u; }, true),
          "damaged PNG picture: IDAT: CRC error" },
        { "png-bad-zlib",
          damagedPng ([] (zorvatest::PngChunk& idat) { idat.data[0] = 0x79; }, false),
          "damaged PNG picture: IDAT: incorrect header check" },
        { "gif-huge-image", gifWithImageSize (65535, 65535), "damaged GIF picture: image lies outside the screen" },
        { "gif-huge-screen-and-image",
          zorvatest::withGifScreen (gifWithImageSize (65535, 65535), 65535, 65535),
          "picture too large: 65535x65535" },
        { "truncated-jpeg", jpeg.substr (0, jpeg.size() - 40), "truncated JPEG picture" },
        { "jpeg-bad-frame", jpegBadFrame, "damaged JPEG picture: " },
        { "truncated-gif", smallGif().substr (0, gifImageDescriptor + 12), "truncated GIF picture" },
        { "gif-bad-record", gifBadRecord, "damaged GIF picture: Wrong record type detected" },
        { "html-as-picture", "<html><body>Not found</body></html>", "unrecognised picture format" },
        { "empty-picture", "", "no picture data" },
    };

    std::vector<Product> hostile;

    for (const auto& c : cases)
    {
        hostile.push_back (withPicture (c.name, c.bytes));
        const auto error = failureOf (hostile.back());
        EXPECT_EQ (error.substr (0, c.error.size()), c.error) << c.name;
        EXPECT_TRUE (zorvatest::isWellFormedError (error)) << c.name << ": " << error;
    }

    loadAndExpectHonestPictures (amongHonestOnes (hostile));
}

TEST_F (HostileSite, DecompressionBombsAreRefusedFromTheirHeader)
{
    const struct
    {
        const char* name;
        std::string bytes;
        std::string error;
    } cases[] = {
        { "png-30000", zorvatest::pngWithDeclaredSize (30000, 30000), "picture too large: 30000x30000" },
        { "jpeg-60000",
          zorvatest::withJpegSize (zorvatest::encodeRgbJpeg (64, 64, std::vector<std::uint32_t> (64 * 64, 0x808080u)), 60000, 60000),
          "picture too large: 60000x60000" },
        { "gif-65535", zorvatest::withGifScreen (smallGif(), 65535, 65535), "picture too large: 65535x65535" },
    };

    std::vector<Product> hostile;

    for (const auto& c : cases)
    {
        // A few kilobytes that declare gigabytes of pixels.
        EXPECT_LT (c.bytes.size(), 8192u) << c.name;
        hostile.push_back (withPicture (c.name, c.bytes));
        EXPECT_EQ (failureOf (hostile.back()), c.error);
    }

    expectBoundedMemory (loadAndExpectHonestPictures (amongHonestOnes (hostile)), "decompression bombs");
}

TEST_F (HostileSite, LargeHonestPicturesAreKeptAsCardSizedCopies)
{
    // Sixteen 4000 x 4000 pictures, PNG and JPEG in turn, each of one colour of its own: a
    // full-size copy of each would take 64 MB.
    std::vector<Product> large;
    std::vector<std::uint32_t> colours;

    for (std::uint32_t i = 0; i < 16; ++i)
    {
        const auto colour = 0xff000000u | ((i * 16 + 8) << 16) | ((255 - i * 16) << 8) | 0x40u;
        colours.push_back (colour);
        const auto name = "large-" + std::to_string (i);

        if (i % 2 == 0)
        {
            zorvatest::PngRecipe recipe;
            recipe.width = recipe.height = 4000;
            recipe.colourType = 2; // RGB
            recipe.rows.resize (4000u * 4000u * 3u);

            for (std::size_t p = 0; p < recipe.rows.size(); p += 3)
            {
                recipe.rows[p] = static_cast<std::uint8_t> (colour >> 16);
                recipe.rows[p + 1] = static_cast<std::uint8_t> (colour >> 8);
                recipe.rows[p + 2] = static_cast<std::uint8_t> (colour);
            }

            large.push_back (withPicture (name, zorvatest::encodePng (recipe)));
        }
        else
        {
            large.push_back (
                withPicture (name, zorvatest::encodeRgbJpeg (4000, 4000, std::vector<std::uint32_t> (4000u * 4000u, colour & 0xffffffu))));
        }
    }

    const auto observed = load (amongHonestOnes (large));
    const auto& result = observed.result;
    ASSERT_TRUE (result.ok) << result.error;
    expectHonestPictures (result);
    EXPECT_EQ (result.pictures.size(), 16u + expectedColours.size());

    for (std::size_t i = 0; i < large.size(); ++i)
    {
        SCOPED_TRACE (large[i].name);
        const auto found = result.pictures.find (core::normaliseName (large[i].name));
        ASSERT_NE (found, result.pictures.end());
        const auto& picture = found->second;
        EXPECT_EQ (picture.sourceWidth, 4000u);
        EXPECT_EQ (picture.sourceHeight, 4000u);
        EXPECT_EQ (picture.width, 128u);
        EXPECT_EQ (picture.height, 128u);
        ASSERT_EQ (picture.pixels.size(), 128u * 128u);

        // JPEG may move a channel by a step or two.
        for (const auto pixel : { picture.pixels.front(), picture.pixels[64 * 128 + 64], picture.pixels.back() })
            for (const int shift : { 24, 16, 8, 0 })
                EXPECT_NEAR (static_cast<int> ((pixel >> shift) & 0xff), static_cast<int> ((colours[i] >> shift) & 0xff), 3)
                    << std::hex << pixel;
    }

    expectBoundedMemory (observed, "sixteen 4000 x 4000 pictures");
    expectNothingLeftBehind();
}

TEST_F (HostileSite, EndlessAndHugePictureBodiesStopAtTheLimit)
{
    const std::string tenGigabytes = "10737418240";
    const std::vector<Product> hostile {
        showing ("endless-picture", service + "/test/endless"),
        showing ("endless-chunked-picture", service + "/test/endless-chunked"),
        showing ("declared-10gb-picture", service + "/test/bytes/" + tenGigabytes),
        showing ("unsized-10gb-picture", service + "/test/unsized/" + tenGigabytes),
    };

    for (const auto& product : hostile)
        EXPECT_EQ (failureOf (product), pictureTooLarge) << product.name;

    expectNothingLeftBehind();

    const auto observed = load (amongHonestOnes (hostile));
    ASSERT_TRUE (observed.result.ok) << observed.result.error;
    expectHonestPictures (observed.result);
    EXPECT_EQ (observed.result.pictures.size(), expectedColours.size());
    EXPECT_LE (observed.largestScratchFile, defaultLimits.maxPictureBytes);
    expectBoundedMemory (observed, "endless pictures");
    expectNothingLeftBehind();
}

TEST_F (HostileSite, HugeAndEndlessPagesAreReadOnlyUpToTheLimit)
{
    const std::string oneGigabyte = "1073741824";
    const std::vector<Product> hostile {
        { "declared-1gb-page", service + "/test/bytes/" + oneGigabyte },  { "unsized-1gb-page", service + "/test/unsized/" + oneGigabyte },
        { "chunked-1gb-page", service + "/test/chunked/" + oneGigabyte }, { "endless-page", service + "/test/endless" },
        { "endless-chunked-page", service + "/test/endless-chunked" },
    };

    for (const auto& product : hostile)
        EXPECT_EQ (failureOf (product), pageTooLarge) << product.name;

    const auto observed = load (amongHonestOnes (hostile));
    ASSERT_TRUE (observed.result.ok) << observed.result.error;
    expectHonestPictures (observed.result);
    EXPECT_EQ (observed.result.pictures.size(), expectedColours.size());
    expectBoundedMemory (observed, "huge pages");
    expectNothingLeftBehind();
}

TEST_F (HostileSite, PagesShapedAgainstTheSearchGiveWhatTheRulesSay)
{
    // Two pictures that a page may lead to: the one its author meant, and a decoy that the
    // rules pick on some shapes (the first complete tag around the first og:image wins, even
    // when that tag is a run of half tags).
    constexpr std::uint32_t meantColour = 0xff2080c0u, decoyColour = 0xffc08020u;
    const auto meant = put ("images/meant.png", zorvatest::encodeRgbaPng (8, 8, std::vector<std::uint32_t> (64, meantColour)));
    const auto decoy = put ("images/decoy.png", zorvatest::encodeRgbaPng (8, 8, std::vector<std::uint32_t> (64, decoyColour)));
    const auto meantTag = R"(<meta property="og:image" content=")" + meant + R"(">)";
    const std::size_t twoMiB = 2u << 20;

    const auto repeat = [twoMiB] (const std::string& unit) {
        std::string text;
        text.reserve (twoMiB + unit.size());

        while (text.size() < twoMiB)
            text += unit;

        return text;
    };

    const struct
    {
        const char* name;
        std::string page;
        std::optional<std::uint32_t> colour; // none: no picture
    } cases[] = {
        { "markers-without-brackets", repeat ("og:image ") + meantTag, meantColour },
        { "brackets-without-ends", repeat ("<og:image ") + meantTag, meantColour },
        { "plain-http-tags", repeat (R"(<meta property="og:image" content="http://localhost/x.png">)") + meantTag, meantColour },
        { "tags-without-content", repeat (R"(<meta property="og:image">)") + meantTag, meantColour },
        { "contents-without-values", repeat (R"(<meta property="og:image" content=>)") + meantTag, meantColour },
        { "unclosed-quotes", repeat (R"(<meta property="og:image" content=")") + "\">" + meantTag, meantColour },
        { "no-tag-ends", repeat (R"(<meta property="og:image" content=")"), std::nullopt },
        { "half-tags-to-the-end", repeat (R"(<meta property="og:image" content=")" + decoy + R"(" )") + ">" + meantTag, decoyColour },
        // One tag from the first '<' to the only '>': its first quoted value is "og:image".
        { "one-bracket-then-markers", "<" + repeat ("og:image content= ") + meantTag, std::nullopt },
        { "contents-only", repeat ("<meta content=\"" + decoy + "\">"), std::nullopt },
        { "just-under-the-limit", std::string (defaultLimits.maxPageBytes - 1 - meantTag.size(), ' ') + meantTag, meantColour },
    };

    std::vector<Product> shaped;

    for (const auto& c : cases)
    {
        ASSERT_LT (c.page.size(), defaultLimits.maxPageBytes) << c.name;
        shaped.push_back ({ c.name, put ("products/" + std::string (c.name) + ".html", c.page) });
    }

    const auto observed = load (shaped);
    const auto& result = observed.result;
    ASSERT_TRUE (result.ok) << result.error;

    for (const auto& c : cases)
    {
        const auto found = result.pictures.find (core::normaliseName (c.name));

        if (! c.colour)
        {
            EXPECT_EQ (found, result.pictures.end()) << c.name;
            continue;
        }

        ASSERT_NE (found, result.pictures.end()) << c.name;
        ASSERT_FALSE (found->second.pixels.empty()) << c.name;
        EXPECT_EQ (found->second.pixels.front(), *c.colour) << c.name;
    }

    expectNothingLeftBehind();
}

TEST_F (HostileSite, PictureAddressesThatAreNotHttpsOrNotTrustedAreNotFetched)
{
    const auto picture = put ("images/elsewhere.png", zorvatest::encodeRgbaPng (8, 8, std::vector<std::uint32_t> (64, 0xff00ff00u)));
    const auto path = "/" + siteName + "/images/elsewhere.png";
    const auto plain = "http" + picture.substr (5);
    const auto untrusted = environment ("ZORVAMANAGER_TEST_UNTRUSTED_URL");
    const auto wrongHost = environment ("ZORVAMANAGER_TEST_WRONG_HOST_URL");
    ASSERT_FALSE (untrusted.empty());
    ASSERT_FALSE (wrongHost.empty());

    const struct
    {
        Product product;
        std::string error;
    } cases[] = {
        { showing ("plain-http", plain), noOgImage },
        { showing ("upper-case-scheme", "HTTPS" + picture.substr (5)), noOgImage },
        { showing ("scheme-only", "https://"), "URL using bad/illegal format or missing URL" }, // the rules take it; libcurl refuses it
        { showing ("scheme-relative", picture.substr (6)), noOgImage },
        { showing ("file-address", "file:///etc/passwd"), noOgImage },
        { showing ("untrusted-ca", untrusted + path), certificateText },
        { showing ("wrong-host", wrongHost + path), certificateText },
        { showing ("redirecting", service + "/test/redirect/302/" + siteName), "HTTP request failed" },
        { showing ("missing", url ("images/missing.png")), "HTTP request failed" },
        { { "page-on-untrusted-ca", untrusted + "/" + siteName + "/products/plain-http.html" }, certificateText },
    };

    std::vector<Product> hostile;

    for (const auto& c : cases)
    {
        hostile.push_back (c.product);
        EXPECT_EQ (failureOf (c.product), c.error) << c.product.name;
    }

    loadAndExpectHonestPictures (amongHonestOnes (hostile));

    // The redirect was never followed.
    const auto contacted = network::ReleaseFetcher::fetchHttps (service + "/test/contacted/" + siteName, 10);
    ASSERT_TRUE (contacted.ok) << contacted.error;
    EXPECT_EQ (contacted.body, "no");
}

TEST_F (HostileSite, HostileCataloguesFailCleanly)
{
    const auto nested = [] (std::size_t depth) { return std::string (depth, '[') + std::string (depth, ']'); };

    const struct
    {
        const char* label;
        std::string catalogueUrl;
        std::string errorStart;
    } cases[] = {
        { "1,000,000 nested arrays", put ("nested.json", nested (1'000'000)), "Invalid catalogue: missing schema" },
        { "1,000,000 nested arrays as products",
          put ("nested-products.json", R"({"schema": 1, "generatedAt": "x", "products": )" + nested (1'000'000) + "}"),
          "Invalid catalogue: missing or invalid string field: slug" },
        { "endless", service + "/test/endless", "Catalogue fetch failed: response body larger than 268435456 bytes" },
        { "declared 10 GB", service + "/test/bytes/10737418240", "Catalogue fetch failed: response body larger than 268435456 bytes" },
        { "not https", "http" + service.substr (5) + "/test/bytes/10", "Catalogue fetch failed: release catalogue URL must be HTTPS" },
        { "untrusted", environment ("ZORVAMANAGER_TEST_UNTRUSTED_URL") + "/test/bytes/10", "Catalogue fetch failed: " + certificateText },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        const auto observed = loadFrom (c.catalogueUrl);
        EXPECT_FALSE (observed.result.ok);
        EXPECT_EQ (observed.result.error.substr (0, c.errorStart.size()), c.errorStart) << observed.result.error;
        EXPECT_TRUE (observed.result.products.empty());
        EXPECT_TRUE (observed.result.pictures.empty());
    }

    expectNothingLeftBehind();
}

TEST_F (HostileSite, WatchingTheCancelFlagParsesTheSameWay)
{
    // A load with a flag parses event by event so that it can stop: every document must come
    // out as it does without one, errors word for word.
    const auto valid = catalogueJson ({ { "solo", url ("products/missing.html") } });
    const std::string documents[] = {
        valid,
        "\xEF\xBB\xBF" + valid,
        valid + " trailing",
        valid + std::string ("\0{}", 3),
        "",
        "this is not JSON",
        "[",
        R"({"schema": 1, "generatedAt": "\xff", "products": []})",
        R"({"schema": 1, "generatedAt": "x", "products": [], "n": 1e999})",
        R"({"schema": 1, "generatedAt": "x", "products": [], "s": "\ud800"})",
        R"({"schema": 1, "generatedAt": "x", "products": [1]})",
        R"({"schema": 2, "generatedAt": "x", "products": []})",
        std::string (100'000, '[') + std::string (99'999, ']'),
    };

    const std::atomic<bool> neverCancelled { false };

    for (std::size_t i = 0; i < std::size (documents); ++i)
    {
        SCOPED_TRACE (i);
        const auto url = put ("document-" + std::to_string (i) + ".json", documents[i]);
        const auto plain = products::loadCatalogue (url, nullptr);
        const auto watched = products::loadCatalogue (url, &neverCancelled);
        EXPECT_EQ (watched.ok, plain.ok);
        EXPECT_EQ (watched.error, plain.error);
        EXPECT_EQ (watched.products.size(), plain.products.size());
        EXPECT_EQ (plain.ok, i < 2) << plain.error;
    }
}

TEST_F (HostileSite, ATwoHundredMegabyteStringIsJustText)
{
    const auto products = amongHonestOnes ({});
    const auto observed =
        loadFrom (put ("long-string.json", catalogueJson (products, R"("notes": ")" + std::string (200'000'000, 'x') + R"(", )")));
    ASSERT_TRUE (observed.result.ok) << observed.result.error;
    EXPECT_EQ (observed.result.products.size(), products.size());
    expectHonestPictures (observed.result);
    expectNothingLeftBehind();
}

TEST_F (HostileSite, ASlowDripCatalogueTimesOutCleanly)
{
    // About 30 KB at 200 bytes a second: the catalogue's 20 s run out long before its end.
    const auto products = amongHonestOnes ({});
    put ("slow.json", catalogueJson (products, R"("notes": ")" + std::string (30'000, ' ') + R"(", )"));
    const auto observed = loadFrom (service + "/test/throttle/200/" + siteName + "/slow.json");
    EXPECT_FALSE (observed.result.ok);
    EXPECT_EQ (observed.result.error, "Catalogue fetch failed: Timeout was reached");
    EXPECT_TRUE (observed.result.products.empty());
    expectNothingLeftBehind();
}

TEST_F (HostileSite, CancellingStopsASlowLoadAtOnceAndLeavesNothing)
{
    // The first product's picture comes at 1 KB a second; the later products are never reached.
    const auto slowPicture = put ("images/slow.png", zorvatest::patternBytes (1 << 20));
    const std::vector<Product> products { honest ("before"),
                                          showing ("slow-picture", service + "/test/throttle/1000/" + siteName + "/images/slow.png"),
                                          honest ("after") };
    put ("stalled.json", catalogueJson (products));

    const struct
    {
        const char* label;
        std::string catalogueUrl;
        bool ok;
        std::size_t pictures;
    } cases[] = {
        { "during a slow picture", url ("stalled.json"), true, 1 },
        { "during a stalled catalogue", service + "/test/stall/60", false, 0 },
        { "during a slow-drip catalogue", service + "/test/throttle/100/" + siteName + "/stalled.json", false, 0 },
        { "during the parse of a catalogue of 64 million zeros", put ("zeros.json", catalogueOfZeros (64u << 20)), false, 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        std::atomic<bool> cancel { false };
        std::thread canceller ([&cancel] {
            std::this_thread::sleep_for (std::chrono::milliseconds (1500));
            cancel = true;
        });

        auto pending = std::async (std::launch::async, [&c, &cancel] { return loadWithEveryPicture (c.catalogueUrl, &cancel); });
        canceller.join();
        ASSERT_EQ (pending.wait_for (std::chrono::seconds (5)), std::future_status::ready) << "the load went on after the cancel";
        const auto result = pending.get();

        EXPECT_EQ (result.ok, c.ok) << result.error;
        EXPECT_EQ (result.pictures.size(), c.pictures);

        if (c.ok)
        {
            EXPECT_EQ (result.products.size(), products.size());
            EXPECT_EQ (result.pictures.count ("before"), 1u);
        }
        else
        {
            EXPECT_EQ (result.error, "Catalogue fetch failed: transfer cancelled");
        }

        expectNothingLeftBehind();
    }
}

TEST (PicturePages, EachKeyListsThePagesOfItsProductsInCatalogueOrder)
{
    const auto product = [] (const std::string& name, const std::string& page) {
        api::ProductReleaseInfo info;
        info.name = name;
        info.productPageUrl = page;
        return info;
    };

    const auto pages = products::picturePagesByKey ({ product ("Tape Echo", "https://a/1"),
                                                      product ("Room Verb", ""),
                                                      product ("tape-echo!", "https://a/2"),
                                                      product ("Gain", "https://a/3") });

    const std::map<std::string, std::vector<std::string>> expected { { "tapeecho", { "https://a/1", "https://a/2" } },
                                                                     { "gain", { "https://a/3" } } };
    EXPECT_EQ (pages, expected) << "a product without a page has no source";
}

TEST_F (HostileSite, TheLastPageOfASharedKeyThatHasAPictureWins)
{
    // Two products whose names normalise alike: the later picture wins; a later one without a
    // picture leaves the earlier one's.
    const auto observed = load ({ honest ("Twin Echo"),
                                  honest ("twin-echo"),
                                  honest ("Solo"),
                                  { "SOLO", put ("products/SOLO.html", "<html><head></head></html>") } });
    ASSERT_TRUE (observed.result.ok) << observed.result.error;
    EXPECT_EQ (observed.result.pictures.size(), 2u);
    expectHonestPictures (observed.result);
}

TEST_F (HostileSite, ADroppedPictureStopsItsTransferAndIsNeverDecoded)
{
    put ("images/slow.png", zorvatest::patternBytes (1 << 20));
    products::PictureRequest request;
    request.productPageUrls = { showing ("slow-picture", service + "/test/throttle/1000/" + siteName + "/images/slow.png").pageUrl };

    const std::atomic<bool> alreadyDropped { true };
    EXPECT_EQ (products::fetchProductPicture (request, nullptr, &alreadyDropped).error, "transfer cancelled");

    std::atomic<bool> dropped { false };
    auto pending =
        std::async (std::launch::async, [&request, &dropped] { return products::fetchProductPicture (request, nullptr, &dropped); });
    std::this_thread::sleep_for (std::chrono::milliseconds (1500));
    dropped = true;
    ASSERT_EQ (pending.wait_for (std::chrono::seconds (5)), std::future_status::ready) << "the transfer went on after the card was dropped";
    const auto picture = pending.get();
    EXPECT_FALSE (picture.ok);
    EXPECT_EQ (picture.error, "transfer cancelled");
}
