#include "picture/PictureFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using zorvatest::decodeBytes;
using zorvatest::GifColour;
using zorvatest::GifFrame;
using zorvatest::GifRecipe;

const std::vector<GifColour> fourColours = { { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 }, { 255, 255, 255 } };
constexpr std::uint32_t red = 0xffff0000, green = 0xff00ff00, blue = 0xff0000ff, white = 0xffffffff;

GifFrame frame (std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> indices)
{
    GifFrame f;
    f.width = width;
    f.height = height;
    f.indices = std::move (indices);
    return f;
}

GifRecipe screen (std::uint32_t width, std::uint32_t height, std::vector<GifFrame> frames)
{
    GifRecipe recipe;
    recipe.screenWidth = width;
    recipe.screenHeight = height;
    recipe.globalColours = fourColours;
    recipe.frames = std::move (frames);
    return recipe;
}

// Where the first image descriptor starts in a GIF that has a global colour map of `colours`
// entries and no extension before its first image.
std::size_t firstImageOffset (std::size_t colours)
{
    return 6 + 7 + 3 * colours;
}

} // namespace

TEST (PictureGif, DecodesTheFirstImageOfEveryKind)
{
    auto transparent = frame (4, 1, { 0, 1, 2, 3 });
    transparent.transparentIndex = 2;

    auto local = frame (2, 1, { 0, 1 });
    local.localColours = { { 1, 2, 3 }, { 4, 5, 6 } };

    std::vector<std::uint8_t> stripes;
    std::vector<std::uint32_t> stripePixels;

    // 3 x 11 reaches all four interlace passes, with rows left over in each.
    for (std::uint8_t y = 0; y < 11; ++y)
        for (std::uint8_t x = 0; x < 3; ++x)
        {
            stripes.push_back (static_cast<std::uint8_t> ((y + x) % 4));
            stripePixels.push_back (std::vector<std::uint32_t> { red, green, blue, white }[(y + x) % 4]);
        }

    auto interlaced = frame (3, 11, stripes);
    interlaced.interlaced = true;

    auto placed = frame (2, 2, { 3, 3, 3, 3 });
    placed.left = 2;
    placed.top = 1;

    auto second = frame (2, 1, { 3, 3 });
    second.transparentIndex = 0;

    const struct
    {
        const char* label;
        GifRecipe recipe;
        std::vector<std::uint32_t> expected;
    } cases[] = {
        { "global colours", screen (4, 1, { frame (4, 1, { 3, 2, 1, 0 }) }), { white, blue, green, red } },
        { "transparent index", screen (4, 1, { transparent }), { red, green, 0, white } },
        { "local colours", screen (2, 1, { local }), { 0xff010203, 0xff040506 } },
        { "interlaced", screen (3, 11, { interlaced }), stripePixels },
        { "placed on a larger screen", screen (5, 4, { placed }), { 0, 0, 0,     0,     0, 0, 0, white, white, 0,
                                                                    0, 0, white, white, 0, 0, 0, 0,     0,     0 } },
        { "animated: first frame only", screen (2, 1, { frame (2, 1, { 1, 2 }), second }), { green, blue } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        const auto result = decodeBytes (zorvatest::encodeGif (c.recipe));
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.sourceWidth, c.recipe.screenWidth);
        EXPECT_EQ (result.sourceHeight, c.recipe.screenHeight);
        EXPECT_EQ (result.width, c.recipe.screenWidth);
        EXPECT_EQ (result.height, c.recipe.screenHeight);
        EXPECT_EQ (result.pixels, c.expected);
    }
}

TEST (PictureGif, ShrinksTheScreen)
{
    // 256 x 64: left half red, right half transparent, into 128 x 32.
    std::vector<std::uint8_t> indices;

    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x)
            indices.push_back (x < 128 ? 0 : 1);

    auto image = frame (256, 64, indices);
    image.transparentIndex = 1;
    const auto result = decodeBytes (zorvatest::encodeGif (screen (256, 64, { image })));
    ASSERT_TRUE (result.ok) << result.error;
    ASSERT_EQ (result.width, 128u);
    ASSERT_EQ (result.height, 32u);
    EXPECT_EQ (result.pixels[0], red);
    EXPECT_EQ (result.pixels[63], red);
    EXPECT_EQ (result.pixels[64], 0u);
    EXPECT_EQ (result.pixels.back(), 0u);
}

TEST (PictureGif, ManyFramesAreNeverRead)
{
    std::vector<GifFrame> frames;

    for (int i = 0; i < 5000; ++i)
        frames.push_back (frame (2, 2, std::vector<std::uint8_t> (4, static_cast<std::uint8_t> (i % 4))));

    auto gif = zorvatest::encodeGif (screen (2, 2, frames));

    const auto result = decodeBytes (gif);
    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.pixels, std::vector<std::uint32_t> (4, red));

    // Damage far past the first frame goes unnoticed because it is never read.
    gif.replace (gif.size() / 2, 64, std::string (64, '\xee'));
    EXPECT_TRUE (decodeBytes (gif).ok);
}

TEST (PictureGif, EveryTruncationOfTheFirstImageIsAnError)
{
    auto image = frame (5, 5, { 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0 });
    image.transparentIndex = 3;
    const auto gif = zorvatest::encodeGif (screen (5, 5, { image }));
    ASSERT_TRUE (decodeBytes (gif).ok);

    for (std::size_t length = 6; length + 1 < gif.size(); ++length)
    {
        const auto result = decodeBytes (gif.substr (0, length));
        EXPECT_FALSE (result.ok) << "length " << length;
        EXPECT_EQ (result.error, "truncated GIF picture") << "length " << length;
    }

    // The trailer after the first image is never needed.
    EXPECT_TRUE (decodeBytes (gif.substr (0, gif.size() - 1)).ok);
}

TEST (PictureGif, RefusesScreensBeyondTheLimitsAndImagesOutsideTheScreen)
{
    const auto gif = zorvatest::encodeGif (screen (4, 4, { frame (4, 4, std::vector<std::uint8_t> (16, 1)) }));
    const struct
    {
        std::uint16_t width, height;
        const char* error;
    } screens[] = {
        { 65535, 65535, "picture too large: 65535x65535" },
        { 8193, 4, "picture too large: 8193x4" },
        { 5000, 5000, "picture too large: 5000x5000" },
        { 0, 4, "picture has zero size: 0x4" },
        { 4, 0, "picture has zero size: 4x0" },
        { 3, 4, "damaged GIF picture: image lies outside the screen" },
        { 4, 3, "damaged GIF picture: image lies outside the screen" },
    };

    for (const auto& s : screens)
    {
        const auto result = decodeBytes (zorvatest::withGifScreen (gif, s.width, s.height));
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, s.error);
    }

    // The image descriptor's own fields: position, then size (little-endian pairs).
    const auto descriptor = firstImageOffset (4);
    ASSERT_EQ (gif[descriptor], ',');

    const struct
    {
        std::size_t field;
        std::uint16_t value;
        const char* error;
    } images[] = {
        { 1, 1, "damaged GIF picture: image lies outside the screen" },
        { 3, 65535, "damaged GIF picture: image lies outside the screen" },
        { 5, 65535, "damaged GIF picture: image lies outside the screen" },
        { 7, 65535, "damaged GIF picture: image lies outside the screen" },
        { 5, 0, "damaged GIF picture: image has zero size" },
        { 7, 0, "damaged GIF picture: image has zero size" },
    };

    for (const auto& i : images)
    {
        auto damaged = gif;
        damaged[descriptor + i.field] = static_cast<char> (i.value);
        damaged[descriptor + i.field + 1] = static_cast<char> (i.value >> 8);
        const auto result = decodeBytes (damaged);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, i.error) << "field " << i.field;
    }
}

TEST (PictureGif, DamagedStructureIsAnError)
{
    const auto gif = zorvatest::encodeGif (screen (4, 1, { frame (4, 1, { 0, 1, 2, 3 }) }));
    const auto descriptor = firstImageOffset (4);
    const auto codeSize = descriptor + 10;

    // Without the global map flag and its 12 bytes, nothing gives the image its colours.
    auto noColours = gif;
    noColours[10] = static_cast<char> (noColours[10] & 0x7f);
    noColours.erase (13, 12);

    auto noImage = zorvatest::encodeGif (screen (4, 1, {}));

    auto badRecord = gif;
    badRecord[descriptor] = 'x';

    auto hugeCodeSize = gif;
    hugeCodeSize[codeSize] = 12;
    auto zeroCodeSize = gif;
    zeroCodeSize[codeSize] = 0;

    // A data sub-block that ends the image data after the first code.
    auto shortData = gif;
    shortData.replace (codeSize + 1, std::string::npos, std::string ("\x01\x04\x00;", 4));

    const struct
    {
        const char* label;
        const std::string& bytes;
        const char* error;
    } cases[] = {
        { "no colour map", noColours, "damaged GIF picture: no colour map" },
        { "no image", noImage, "damaged GIF picture: no image" },
        { "unknown record", badRecord, "damaged GIF picture: Wrong record type detected" },
        { "code size 12", hugeCodeSize, "damaged GIF picture: Failed to read from given file" },
        { "code size 0", zeroCodeSize, "damaged GIF picture: Image EOF detected before image complete" },
        { "pixel data ends early", shortData, "damaged GIF picture: Image is defective, decoding aborted" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        const auto result = decodeBytes (c.bytes);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, c.error);
    }
}

TEST (PictureGif, IndicesPastTheColourMapAreTransparent)
{
    // Written with 8 colours, then the map cut to its first 4: indices 4 to 7 keep their
    // three-bit codes but have no colour any more.
    GifRecipe recipe = screen (8, 1, { frame (8, 1, { 0, 1, 2, 3, 4, 5, 6, 7 }) });
    recipe.globalColours.resize (8);
    auto gif = zorvatest::encodeGif (recipe);
    gif[10] = static_cast<char> ((gif[10] & ~0x07) | 0x01);
    gif.erase (13 + 12, 12);

    const auto result = decodeBytes (gif);
    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.pixels, (std::vector<std::uint32_t> { red, green, blue, white, 0, 0, 0, 0 }));
}
