#include "picture/PictureFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

using zorvatest::decodeBytes;
using zorvatest::JpegRecipe;

std::string hex (std::uint32_t pixel)
{
    char text[16];
    std::snprintf (text, sizeof (text), "0x%08x", pixel);
    return text;
}

// JPEG is lossy: a colour counts as right within a few steps on each channel.
::testing::AssertionResult isCloseTo (std::uint32_t actual, std::uint32_t expected, int tolerance = 4)
{
    for (const int shift : { 24, 16, 8, 0 })
    {
        const auto a = static_cast<int> ((actual >> shift) & 0xff), e = static_cast<int> ((expected >> shift) & 0xff);

        if (std::abs (a - e) > tolerance)
            return ::testing::AssertionFailure() << hex (actual) << " is not close to " << hex (expected);
    }

    return ::testing::AssertionSuccess();
}

// Left half red, right half blue, split on a block boundary.
std::vector<std::uint32_t> halves (std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint32_t> pixels;

    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            pixels.push_back (x < width / 2 ? 0xff0000u : 0x0000ffu);

    return pixels;
}

JpegRecipe solid (int components, std::vector<std::uint8_t> sample, bool ycck = false)
{
    JpegRecipe recipe;
    recipe.width = 16;
    recipe.height = 16;
    recipe.components = components;
    recipe.ycck = ycck;

    for (int i = 0; i < 256; ++i)
        recipe.samples.insert (recipe.samples.end(), sample.begin(), sample.end());

    return recipe;
}

} // namespace

TEST (PictureJpeg, EveryColourSpaceComesOutAsOpaqueRgb)
{
    const struct
    {
        const char* label;
        JpegRecipe recipe;
        std::uint32_t expected;
    } cases[] = {
        { "rgb", solid (3, { 40, 160, 220 }), 0xff28a0dc },
        { "grey", solid (1, { 0x66 }), 0xff666666 },
        // Adobe CMYK stores inverted inks: 255 is no ink. Cyan plus a quarter of black here.
        { "cmyk", solid (4, { 0, 255, 255, 192 }), 0xff00c0c0 },
        { "ycck", solid (4, { 255, 0, 255, 255 }, true), 0xffff00ff },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        const auto result = decodeBytes (zorvatest::encodeJpeg (c.recipe));
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.sourceWidth, 16u);
        EXPECT_EQ (result.sourceHeight, 16u);
        ASSERT_EQ (result.width, 16u);
        ASSERT_EQ (result.height, 16u);

        for (const auto pixel : { result.pixels.front(), result.pixels[8 * 16 + 7], result.pixels.back() })
            EXPECT_TRUE (isCloseTo (pixel, c.expected));
    }
}

TEST (PictureJpeg, ProgressiveAndBaselineAgree)
{
    const auto pixels = halves (32, 16);
    const auto baseline = decodeBytes (zorvatest::encodeRgbJpeg (32, 16, pixels));
    const auto progressive = decodeBytes (zorvatest::encodeRgbJpeg (32, 16, pixels, true));
    ASSERT_TRUE (baseline.ok) << baseline.error;
    ASSERT_TRUE (progressive.ok) << progressive.error;
    ASSERT_EQ (progressive.pixels.size(), baseline.pixels.size());

    for (std::size_t i = 0; i < baseline.pixels.size(); ++i)
        EXPECT_TRUE (isCloseTo (progressive.pixels[i], baseline.pixels[i], 2)) << "pixel " << i;

    EXPECT_TRUE (isCloseTo (progressive.pixels[0], 0xffff0000u));
    EXPECT_TRUE (isCloseTo (progressive.pixels[31], 0xff0000ffu));
}

TEST (PictureJpeg, LargePicturesAreScaledWhileDecodedAndThenFitted)
{
    // Every size here is decoded at a reduced DCT scale before the box filter takes over;
    // the colours must survive both steps and the result must follow the fit rule.
    const struct
    {
        std::uint32_t width, height, resultWidth, resultHeight;
        bool progressive;
    } cases[] = {
        { 2048, 1024, 128, 64, false },
        { 1000, 3000, 43, 128, false },
        { 1600, 1200, 128, 96, true },
        { 129, 128, 128, 127, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::to_string (c.width) + "x" + std::to_string (c.height));
        const auto result = decodeBytes (zorvatest::encodeRgbJpeg (c.width, c.height, halves (c.width, c.height), c.progressive));
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.sourceWidth, c.width);
        EXPECT_EQ (result.sourceHeight, c.height);
        ASSERT_EQ (result.width, c.resultWidth);
        ASSERT_EQ (result.height, c.resultHeight);
        ASSERT_EQ (result.pixels.size(), std::size_t { c.resultWidth } * c.resultHeight);

        const auto middleRow = (c.resultHeight / 2) * c.resultWidth;
        EXPECT_TRUE (isCloseTo (result.pixels[middleRow], 0xffff0000u));
        EXPECT_TRUE (isCloseTo (result.pixels[middleRow + c.resultWidth / 4], 0xffff0000u));
        EXPECT_TRUE (isCloseTo (result.pixels[middleRow + c.resultWidth * 3 / 4], 0xff0000ffu));
        EXPECT_TRUE (isCloseTo (result.pixels[middleRow + c.resultWidth - 1], 0xff0000ffu));
    }
}

TEST (PictureJpeg, EveryTruncationIsAnError)
{
    for (const bool progressive : { false, true })
    {
        SCOPED_TRACE (progressive ? "progressive" : "baseline");
        const auto jpeg = zorvatest::encodeRgbJpeg (24, 16, halves (24, 16), progressive);
        ASSERT_TRUE (decodeBytes (jpeg).ok);

        for (std::size_t length = 3; length < jpeg.size(); ++length)
        {
            const auto result = decodeBytes (jpeg.substr (0, length));
            EXPECT_FALSE (result.ok) << "length " << length;
            EXPECT_EQ (result.error, "truncated JPEG picture") << "length " << length;
        }
    }
}

TEST (PictureJpeg, RefusesDeclaredSizesBeyondTheLimitsFromTheHeader)
{
    const auto jpeg = zorvatest::encodeRgbJpeg (16, 16, halves (16, 16));

    const struct
    {
        std::uint16_t width, height;
        const char* error;
    } cases[] = {
        { 60000, 60000, "picture too large: 60000x60000" },
        { 65535, 65535, "picture too large: 65535x65535" }, // beyond libjpeg's own limit too
        { 8193, 16, "picture too large: 8193x16" },
        { 5000, 5000, "picture too large: 5000x5000" },
        { 0, 16, "picture has zero size: 0x16" },
        { 16, 0, "picture has zero size: 16x0" },
    };

    for (const auto& c : cases)
    {
        const auto result = decodeBytes (zorvatest::withJpegSize (jpeg, c.width, c.height));
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, c.error);
    }
}

TEST (PictureJpeg, RefusesEndlessProgressiveScans)
{
    // The last scan repeated: libjpeg only warns about the bogus progression, so without a
    // limit every repetition would be another pass over the whole picture.
    const auto jpeg = zorvatest::encodeRgbJpeg (16, 16, halves (16, 16), true);
    const auto lastScan = zorvatest::jpegScanOffsets (jpeg).back();
    const auto scan = jpeg.substr (lastScan, jpeg.size() - 2 - lastScan);

    std::string repeated = jpeg.substr (0, jpeg.size() - 2);

    for (int i = 0; i < 300; ++i)
        repeated += scan;

    repeated += "\xff\xd9";

    const auto result = decodeBytes (repeated);
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "damaged JPEG picture: more than 256 scans");

    // A few repetitions stay within the limit and decode.
    EXPECT_TRUE (decodeBytes (jpeg.substr (0, jpeg.size() - 2) + scan + scan + "\xff\xd9").ok);
}

TEST (PictureJpeg, DamagedMarkersAreErrors)
{
    const auto jpeg = zorvatest::encodeRgbJpeg (16, 16, halves (16, 16));
    const auto frame = zorvatest::jpegFrameOffset (jpeg);

    auto badComponents = jpeg;
    badComponents[frame + 9] = 0; // no colour components
    auto badMarker = jpeg;
    badMarker[frame + 1] = static_cast<char> (0xc3); // lossless, which libjpeg-turbo 2.1 cannot decode
    auto badPrecision = jpeg;
    badPrecision[frame + 4] = 12; // 12-bit samples, which this libjpeg is not built for

    for (const auto* damaged : { &badComponents, &badMarker, &badPrecision })
    {
        const auto result = decodeBytes (*damaged);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error.rfind ("damaged JPEG picture: ", 0), 0u) << result.error;
        EXPECT_TRUE (zorvatest::isWellFormedError (result.error)) << result.error;
    }
}

TEST (PictureJpeg, DamagedEntropyDataDecodesAsInABrowser)
{
    // JPEG has no checksum: scrambled scan data is something libjpeg warns about and decodes
    // past, as web browsers show it, while truncation stays an error.
    const auto jpeg = zorvatest::encodeRgbJpeg (64, 64, halves (64, 64));
    const auto scanData = zorvatest::jpegScanOffsets (jpeg).front() + 14;
    auto scrambled = jpeg;

    for (auto i = scanData; i < scanData + 40; ++i)
        scrambled[i] = static_cast<char> (0x55);

    const auto result = decodeBytes (scrambled);
    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.width, 64u);
    EXPECT_NE (result.pixels, decodeBytes (jpeg).pixels);
}
