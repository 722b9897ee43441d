#include "picture/PictureFixtures.h"

#include <gtest/gtest.h>

#include <png.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

using zorvatest::argb;
using zorvatest::decodeBytes;
using zorvatest::PngRecipe;

struct ColourCase
{
    const char* label;
    PngRecipe recipe;
    std::vector<std::uint32_t> expected;
};

PngRecipe pngRecipe (std::uint32_t width, int colourType, int bitDepth, std::vector<std::uint8_t> rows)
{
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = 1;
    recipe.colourType = colourType;
    recipe.bitDepth = bitDepth;
    recipe.rows = std::move (rows);
    return recipe;
}

PngRecipe withPalette (PngRecipe recipe, std::vector<std::uint8_t> palette, std::vector<std::uint8_t> alpha = {})
{
    recipe.palette = std::move (palette);
    recipe.paletteAlpha = std::move (alpha);
    return recipe;
}

PngRecipe withKey (PngRecipe recipe, std::vector<std::uint16_t> key)
{
    recipe.transparentKey = std::move (key);
    return recipe;
}

// An 8 x 8 RGBA picture with a text chunk before its image data, so that damage can be
// placed in every kind of chunk.
std::string referencePng()
{
    std::vector<std::uint32_t> pixels;

    for (std::uint32_t i = 0; i < 64; ++i)
        pixels.push_back (argb (0x40 + i, i * 4, 255 - i * 4, (i * 37) & 0xff));

    PngRecipe recipe;
    recipe.width = 8;
    recipe.height = 8;

    for (const auto pixel : pixels)
        for (const int shift : { 16, 8, 0, 24 })
            recipe.rows.push_back (static_cast<std::uint8_t> (pixel >> shift));

    recipe.texts = { "made for the damage tests" };
    return zorvatest::encodePng (recipe);
}

// The file with one chunk changed by `change`; its CRC is made right again unless keepCrc.
template <typename Change>
std::string withChunkChanged (const std::string& png, const std::string& type, Change&& change, bool keepCrc = false)
{
    auto chunks = zorvatest::splitPngChunks (png);

    for (auto& chunk : chunks)
    {
        if (chunk.type != type)
            continue;

        change (chunk);

        if (! keepCrc)
            chunk.crc = zorvatest::pngChunkCrc (chunk);

        break;
    }

    return zorvatest::joinPngChunks (chunks);
}

} // namespace

TEST (PicturePng, EveryColourTypeAndDepthBecomesStraightArgb)
{
    const ColourCase cases[] = {
        { "rgba 8",
          pngRecipe (3, PNG_COLOR_TYPE_RGB_ALPHA, 8, { 255, 0, 0, 0x80, 1, 2, 3, 255, 12, 34, 56, 0 }),
          { argb (0x80, 255, 0, 0), argb (255, 1, 2, 3), 0 } },
        { "rgb 8",
          pngRecipe (2, PNG_COLOR_TYPE_RGB, 8, { 10, 20, 30, 200, 100, 50 }),
          { argb (255, 10, 20, 30), argb (255, 200, 100, 50) } },
        { "grey 1", pngRecipe (4, PNG_COLOR_TYPE_GRAY, 1, { 0xa0 }), { 0xffffffff, 0xff000000, 0xffffffff, 0xff000000 } },
        { "grey 2", pngRecipe (4, PNG_COLOR_TYPE_GRAY, 2, { 0x1b }), { 0xff000000, 0xff555555, 0xffaaaaaa, 0xffffffff } },
        { "grey 4", pngRecipe (4, PNG_COLOR_TYPE_GRAY, 4, { 0x05, 0xaf }), { 0xff000000, 0xff555555, 0xffaaaaaa, 0xffffffff } },
        { "grey 8 with key", withKey (pngRecipe (2, PNG_COLOR_TYPE_GRAY, 8, { 0x40, 0x41 }), { 0x40 }), { 0, 0xff414141 } },
        { "grey alpha 8", pngRecipe (2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, { 0x20, 0x80, 0xff, 0xff }), { 0x80202020, 0xffffffff } },
        { "palette 2 with tRNS",
          withPalette (pngRecipe (4, PNG_COLOR_TYPE_PALETTE, 2, { 0x1b }), { 9, 9, 9, 255, 0, 0, 0, 255, 0, 0, 0, 255 }, { 0x00, 0x80 }),
          { 0x00000000, 0x80ff0000, 0xff00ff00, 0xff0000ff } },
        { "palette 8", withPalette (pngRecipe (2, PNG_COLOR_TYPE_PALETTE, 8, { 1, 0 }), { 1, 2, 3, 4, 5, 6 }), { 0xff040506, 0xff010203 } },
        { "rgb 8 with key", withKey (pngRecipe (2, PNG_COLOR_TYPE_RGB, 8, { 10, 20, 30, 10, 20, 31 }), { 10, 20, 30 }), { 0, 0xff0a141f } },
        // 16-bit samples are scaled (0x00ff becomes 1), not just cut to their high byte.
        { "rgba 16",
          pngRecipe (1, PNG_COLOR_TYPE_RGB_ALPHA, 16, { 0x12, 0x34, 0xab, 0xcd, 0x00, 0xff, 0xff, 0xff }),
          { argb (255, 0x12, 0xab, 0x01) } },
        { "grey 16", pngRecipe (2, PNG_COLOR_TYPE_GRAY, 16, { 0xab, 0xcd, 0x00, 0xff }), { 0xffababab, 0xff010101 } },
        { "grey alpha 16", pngRecipe (1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, { 0xff, 0xff, 0x80, 0x80 }), { 0x80ffffff } },
        { "rgb 16 with key",
          withKey (pngRecipe (2, PNG_COLOR_TYPE_RGB, 16, { 1, 0, 2, 0, 3, 0, 1, 0, 2, 0, 3, 1 }), { 0x0100, 0x0200, 0x0300 }),
          { 0, 0xff010203 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        const auto result = decodeBytes (zorvatest::encodePng (c.recipe));
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.error, "");
        EXPECT_EQ (result.sourceWidth, c.recipe.width);
        EXPECT_EQ (result.sourceHeight, 1u);
        EXPECT_EQ (result.width, c.recipe.width);
        EXPECT_EQ (result.height, 1u);
        EXPECT_EQ (result.pixels, c.expected);
    }
}

TEST (PicturePng, InterlacedPicturesDecodeLikeTheirPlainTwins)
{
    // 13 x 11 reaches every Adam7 pass with partial blocks; 300 x 200 is also shrunk.
    for (const auto& [width, height] : { std::pair { 13u, 11u }, { 300u, 200u } })
    {
        SCOPED_TRACE (std::to_string (width) + "x" + std::to_string (height));
        std::vector<std::uint32_t> pixels;

        for (std::uint32_t i = 0; i < width * height; ++i)
            pixels.push_back (argb (1 + i % 255, (i * 7) & 0xff, (i * 13) & 0xff, (i / 3) & 0xff));

        const auto plain = decodeBytes (zorvatest::encodeRgbaPng (width, height, pixels));
        const auto interlaced = decodeBytes (zorvatest::encodeRgbaPng (width, height, pixels, true));
        ASSERT_TRUE (plain.ok) << plain.error;
        ASSERT_TRUE (interlaced.ok) << interlaced.error;
        EXPECT_EQ (interlaced.width, plain.width);
        EXPECT_EQ (interlaced.height, plain.height);
        EXPECT_EQ (interlaced.pixels, plain.pixels);

        if (width == 13)
        {
            EXPECT_EQ (interlaced.pixels, pixels);
        }
    }
}

TEST (PicturePng, ShrinksHalvesIntoTheirOwnColours)
{
    // 256 x 128 into the default 128 x 128 box: two source pixels per result pixel, so the
    // halves stay pure and the alpha of a half-transparent row pair is averaged.
    std::vector<std::uint32_t> pixels;

    for (std::uint32_t y = 0; y < 128; ++y)
        for (std::uint32_t x = 0; x < 256; ++x)
            pixels.push_back (y < 126 ? (x < 128 ? 0xffff0000 : 0xff0000ff) : (y == 126 ? 0xff00ff00 : 0x0000ff00));

    const auto result = decodeBytes (zorvatest::encodeRgbaPng (256, 128, pixels));
    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.sourceWidth, 256u);
    EXPECT_EQ (result.sourceHeight, 128u);
    ASSERT_EQ (result.width, 128u);
    ASSERT_EQ (result.height, 64u);
    EXPECT_EQ (result.pixels[0], 0xffff0000u);
    EXPECT_EQ (result.pixels[63], 0xffff0000u);
    EXPECT_EQ (result.pixels[64], 0xff0000ffu);
    EXPECT_EQ (result.pixels[127], 0xff0000ffu);
    EXPECT_EQ (result.pixels[62 * 128 + 5], 0xffff0000u);
    // The transparent row lends no colour: green at half alpha (127.5 rounds up).
    EXPECT_EQ (result.pixels[63 * 128 + 5], 0x8000ff00u);
}

TEST (PicturePng, EveryTruncationIsAnError)
{
    const auto png = referencePng();
    ASSERT_TRUE (decodeBytes (png).ok);

    for (std::size_t length = 0; length < png.size(); ++length)
    {
        const auto result = decodeBytes (png.substr (0, length));
        EXPECT_FALSE (result.ok) << "length " << length;
        EXPECT_TRUE (result.pixels.empty());
        const auto* expected = length == 0 ? "no picture data" : (length < 8 ? "unrecognised picture format" : "truncated PNG picture");
        EXPECT_EQ (result.error, expected) << "length " << length;
    }
}

TEST (PicturePng, ChecksumErrorsInAnyChunkAreErrors)
{
    const auto png = referencePng();

    for (const std::string type : { "IHDR", "tEXt", "IDAT", "IEND" })
    {
        SCOPED_TRACE (type);
        const auto damaged = withChunkChanged (
            png, type, [] (zorvatest::PngChunk& chunk) { chunk.crc ^= 0x00010000u; }, true);
        const auto result = decodeBytes (damaged);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "damaged PNG picture: " + type + ": CRC error");
    }
}

TEST (PicturePng, DamagedCompressedDataIsAnError)
{
    const auto png = referencePng();

    const struct
    {
        const char* label;
        std::function<void (std::string&)> change;
        const char* error;
    } cases[] = {
        { "zlib header", [] (std::string& data) { data[0] = 0x79; }, "IDAT: incorrect header check" },
        { "deflate block type", [] (std::string& data) { data[2] = static_cast<char> (data[2] | 0x06); }, "IDAT: invalid block type" },
        { "too little data", [] (std::string& data) { data.resize (data.size() / 2); }, "Not enough image data" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        const auto damaged = withChunkChanged (png, "IDAT", [&c] (zorvatest::PngChunk& chunk) { c.change (chunk.data); });
        const auto result = decodeBytes (damaged);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, std::string ("damaged PNG picture: ") + c.error);
    }
}

TEST (PicturePng, ChunkChecksumsStandInForTheStreamChecksum)
{
    // zlib's Adler-32 is not checked: the IDAT CRCs already cover every compressed byte, so
    // a wrong Adler-32 under right CRCs is a deliberate oddity, not damage.
    const auto png = referencePng();
    const auto otherAdler =
        withChunkChanged (png, "IDAT", [] (zorvatest::PngChunk& chunk) { chunk.data.back() = static_cast<char> (chunk.data.back() ^ 1); });
    const auto result = decodeBytes (otherAdler);
    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.pixels, decodeBytes (png).pixels);

    // The same change with the CRC left as it was is damage.
    const auto damaged = withChunkChanged (
        png, "IDAT", [] (zorvatest::PngChunk& chunk) { chunk.data.back() = static_cast<char> (chunk.data.back() ^ 1); }, true);
    EXPECT_EQ (decodeBytes (damaged).error, "damaged PNG picture: IDAT: CRC error");
}

TEST (PicturePng, RefusesDeclaredSizesBeyondTheLimitsFromTheHeader)
{
    const struct
    {
        std::uint32_t width, height;
        const char* error;
    } cases[] = {
        { 30000, 30000, "picture too large: 30000x30000" },
        { 8193, 1, "picture too large: 8193x1" },
        { 1, 8193, "picture too large: 1x8193" },
        { 5000, 5000, "picture too large: 5000x5000" }, // each side allowed, 25 million pixels not
        { 0x80000000u, 1, "picture too large: 2147483648x1" },
        { 0xffffffffu, 0xffffffffu, "picture too large: 4294967295x4294967295" },
        { 0, 10, "picture has zero size: 0x10" },
        { 10, 0, "picture has zero size: 10x0" },
    };

    for (const auto& c : cases)
    {
        const auto result = decodeBytes (zorvatest::pngWithDeclaredSize (c.width, c.height));
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, c.error);
        EXPECT_TRUE (result.pixels.empty());
    }
}

TEST (PicturePng, LimitsAreInclusive)
{
    EXPECT_TRUE (decodeBytes (zorvatest::encodeGreyPng (8192, 1)).ok);
    EXPECT_TRUE (decodeBytes (zorvatest::encodeGreyPng (1, 8192)).ok);

    zorvatest::PictureLimits limits;
    limits.maxWidth = 20;
    limits.maxHeight = 30;
    limits.maxPixels = 200;

    EXPECT_TRUE (decodeBytes (zorvatest::encodeGreyPng (20, 10), limits).ok);
    EXPECT_TRUE (decodeBytes (zorvatest::encodeGreyPng (10, 20), limits).ok);
    EXPECT_EQ (decodeBytes (zorvatest::encodeGreyPng (21, 1), limits).error, "picture too large: 21x1");
    EXPECT_EQ (decodeBytes (zorvatest::encodeGreyPng (1, 31), limits).error, "picture too large: 1x31");
    EXPECT_EQ (decodeBytes (zorvatest::encodeGreyPng (15, 14), limits).error, "picture too large: 15x14");
}

TEST (PicturePng, RefusesMalformedChunkStructure)
{
    const auto png = referencePng();
    auto chunks = zorvatest::splitPngChunks (png);

    // IHDR must be first.
    auto reordered = chunks;
    std::swap (reordered[0], reordered[1]);
    EXPECT_EQ (decodeBytes (zorvatest::joinPngChunks (reordered)).error, "damaged PNG picture: IHDR is not the first chunk");

    // An unknown critical chunk cannot be skipped.
    auto withCritical = chunks;
    withCritical.insert (withCritical.begin() + 1, zorvatest::makePngChunk ("ZZZZ", "x"));
    const auto critical = decodeBytes (zorvatest::joinPngChunks (withCritical));
    EXPECT_FALSE (critical.ok);
    EXPECT_EQ (critical.error.rfind ("damaged PNG picture: ", 0), 0u) << critical.error;

    // A chunk claiming 2 GiB in a small file is truncation, found without allocating it.
    auto huge = png.substr (0, 33) + zorvatest::bigEndian32 (0x7fffff00u) + "tEXt" + std::string (100, 'a');
    EXPECT_EQ (decodeBytes (huge).error, "truncated PNG picture");

    // Unknown ancillary chunks (an animated PNG's, say) are skipped, the picture kept.
    auto withAncillary = chunks;
    withAncillary.insert (withAncillary.begin() + 1, zorvatest::makePngChunk ("acTL", std::string (8, '\0')));
    EXPECT_EQ (decodeBytes (zorvatest::joinPngChunks (withAncillary)).pixels, decodeBytes (png).pixels);

    // Anything after IEND is not read.
    EXPECT_TRUE (decodeBytes (png + "trailing bytes").ok);
}
