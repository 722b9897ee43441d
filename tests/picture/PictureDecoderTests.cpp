#include "picture/PictureDecoder.h"

#include "picture/PictureFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace
{

using zorvaplugins::zorvamanager::picture::PictureDecoder;
using zorvatest::decodeBytes;
using zorvatest::PictureLimits;

PictureLimits fitBox (std::uint32_t width, std::uint32_t height)
{
    PictureLimits limits;
    limits.fitWidth = width;
    limits.fitHeight = height;
    return limits;
}

// One small picture of each format, with transparency where the format has it.
std::vector<std::string> samplePictures()
{
    std::vector<std::uint32_t> pixels;

    for (std::uint32_t i = 0; i < 24 * 16; ++i)
        pixels.push_back (zorvatest::argb (i % 3 == 0 ? 0 : 255, i & 0xff, (i * 3) & 0xff, 0x40));

    zorvatest::GifFrame frame;
    frame.width = 24;
    frame.height = 16;
    frame.interlaced = true;
    frame.transparentIndex = 0;

    for (std::uint32_t i = 0; i < 24 * 16; ++i)
        frame.indices.push_back (static_cast<std::uint8_t> (i % 4));

    zorvatest::GifRecipe gif;
    gif.screenWidth = 24;
    gif.screenHeight = 16;
    gif.globalColours = { { 1, 2, 3 }, { 40, 50, 60 }, { 200, 0, 0 }, { 0, 0, 200 } };
    gif.frames = { frame, frame };

    return { zorvatest::encodeRgbaPng (24, 16, pixels),
             zorvatest::encodeRgbaPng (24, 16, pixels, true),
             zorvatest::encodeRgbJpeg (24, 16, pixels),
             zorvatest::encodeRgbJpeg (24, 16, pixels, true),
             zorvatest::encodeGif (gif) };
}

void expectSaneResult (const zorvatest::DecodedPicture& result)
{
    if (result.ok)
    {
        EXPECT_EQ (result.error, "");
        EXPECT_GE (result.width, 1u);
        EXPECT_GE (result.height, 1u);
        EXPECT_EQ (result.pixels.size(), std::size_t { result.width } * result.height);
    }
    else
    {
        EXPECT_TRUE (zorvatest::isWellFormedError (result.error)) << result.error;
        EXPECT_TRUE (result.pixels.empty());
        EXPECT_EQ (result.width, 0u);
    }
}

} // namespace

TEST (PictureFit, KeepsTheAspectNeverEnlargesAndRoundsToTheNearestPixel)
{
    const struct
    {
        std::uint32_t width, height, boxWidth, boxHeight, resultWidth, resultHeight;
    } cases[] = {
        { 64, 40, 128, 128, 64, 40 },
        { 1, 1, 128, 128, 1, 1 },
        { 128, 128, 128, 128, 128, 128 },
        { 129, 128, 128, 128, 128, 127 },
        { 256, 128, 128, 128, 128, 64 },
        { 128, 256, 128, 128, 64, 128 },
        { 256, 3, 128, 128, 128, 2 }, // 1.5 rounds up
        { 256, 5, 128, 128, 128, 3 },
        { 1000, 1, 128, 128, 128, 1 },
        { 1, 1000, 128, 128, 1, 128 },
        { 8192, 3, 128, 128, 128, 1 }, // never below one pixel
        { 3, 2, 1, 1, 1, 1 },
        { 300, 200, 50, 62, 50, 33 },
        { 200, 300, 50, 62, 41, 62 },
        { 50, 62, 50, 62, 50, 62 },
        { 51, 62, 50, 62, 50, 61 },
        { 50, 63, 50, 62, 49, 62 },
        { 4000, 4000, 50, 62, 50, 50 },
        { 40, 100, 50, 62, 25, 62 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::to_string (c.width) + "x" + std::to_string (c.height) + " in " + std::to_string (c.boxWidth) + "x" +
                      std::to_string (c.boxHeight));
        const auto result = decodeBytes (zorvatest::encodeGreyPng (c.width, c.height), fitBox (c.boxWidth, c.boxHeight));
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.sourceWidth, c.width);
        EXPECT_EQ (result.sourceHeight, c.height);
        EXPECT_EQ (result.width, c.resultWidth);
        EXPECT_EQ (result.height, c.resultHeight);
        EXPECT_EQ (result.pixels, std::vector<std::uint32_t> (std::size_t { c.resultWidth } * c.resultHeight, 0xff808080));
    }
}

TEST (PictureFit, EveryFormatFollowsTheSameRule)
{
    zorvatest::GifFrame frame;
    frame.width = 300;
    frame.height = 200;
    frame.indices.assign (300 * 200, 1);
    zorvatest::GifRecipe gif;
    gif.screenWidth = 300;
    gif.screenHeight = 200;
    gif.globalColours = { { 0, 0, 0 }, { 0x80, 0x80, 0x80 } };
    gif.frames = { frame };

    for (const auto& bytes : { zorvatest::encodeGreyPng (300, 200),
                               zorvatest::encodeRgbJpeg (300, 200, std::vector<std::uint32_t> (300 * 200, 0x808080)),
                               zorvatest::encodeGif (gif) })
    {
        const auto result = decodeBytes (bytes, fitBox (50, 62));
        ASSERT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.width, 50u);
        EXPECT_EQ (result.height, 33u);
    }
}

TEST (PictureFit, AnEmptyBoxIsAnError)
{
    const auto png = zorvatest::encodeGreyPng (4, 4);
    EXPECT_EQ (decodeBytes (png, fitBox (0, 10)).error, "picture fit box is empty");
    EXPECT_EQ (decodeBytes (png, fitBox (10, 0)).error, "picture fit box is empty");
}

TEST (PictureDecoder, RecognisesFormatsByContentOnly)
{
    EXPECT_EQ (PictureDecoder::decode (nullptr, 0).error, "no picture data");
    EXPECT_EQ (PictureDecoder::decode (nullptr, 10).error, "no picture data");
    EXPECT_EQ (decodeBytes ("").error, "no picture data");

    for (const auto& bytes : { std::string ("BM\x36\0\0\0\0\0\0\0", 10),
                               std::string ("RIFF\0\0\0\0WEBPVP8 ", 16),
                               std::string ("<svg xmlns=\"\"/>"),
                               std::string ("GIF88a\x01\0\x01\0\0\0\0;", 14),
                               std::string ("\x89PNG\r\n\x1a", 7),
                               std::string ("\xff\xd8", 2),
                               std::string ("\0\0\0\x0cjP  \r\n\x87\n", 12),
                               zorvatest::patternBytes (1000, 7) })
    {
        const auto result = decodeBytes (bytes);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "unrecognised picture format");
    }
}

TEST (PictureDecoder, RandomBytesAfterEachSignatureAreRefusedCleanly)
{
    for (const auto& magic :
         { std::string ("\x89PNG\r\n\x1a\n", 8), std::string ("\xff\xd8\xff", 3), std::string ("GIF89a"), std::string ("GIF87a") })
    {
        for (std::uint32_t seed = 1; seed <= 200; ++seed)
        {
            const auto result = decodeBytes (magic + zorvatest::patternBytes (seed * 7, seed));
            expectSaneResult (result);
        }
    }
}

TEST (PictureDecoder, DamagedBytesAnywhereNeverCrash)
{
    // Every byte of each sample in turn set to three values: the result is either a picture
    // of the right shape or an error that reads as one. Under the sanitizers this is where
    // a stray read or write would show.
    for (const auto& picture : samplePictures())
    {
        const auto reference = decodeBytes (picture);
        ASSERT_TRUE (reference.ok) << reference.error;

        for (std::size_t offset = 0; offset < picture.size(); ++offset)
        {
            for (const char value : { '\0', '\x7f', '\xff' })
            {
                auto damaged = picture;
                damaged[offset] = value;
                const auto result = decodeBytes (damaged);
                expectSaneResult (result);

                if (result.ok)
                {
                    EXPECT_LE (result.width, 128u);
                    EXPECT_LE (result.height, 128u);
                }
            }
        }
    }
}

TEST (PictureDecoder, DecodesFromAnyThreadAtOnce)
{
    const auto pictures = samplePictures();
    std::vector<zorvatest::DecodedPicture> expected;

    for (const auto& picture : pictures)
        expected.push_back (decodeBytes (picture, fitBox (7, 5)));

    std::vector<int> mismatches (4, 0);
    std::vector<std::thread> threads;

    for (std::size_t t = 0; t < mismatches.size(); ++t)
    {
        threads.emplace_back ([&, t] {
            for (int round = 0; round < 25; ++round)
            {
                for (std::size_t i = 0; i < pictures.size(); ++i)
                {
                    const auto result = decodeBytes (pictures[i], fitBox (7, 5));

                    if (! result.ok || result.pixels != expected[i].pixels)
                        ++mismatches[t];
                }

                // Failures run concurrently too: their error paths longjmp on each thread.
                if (decodeBytes (pictures[t % pictures.size()].substr (0, 100)).ok)
                    ++mismatches[t];
            }
        });
    }

    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ (mismatches, std::vector<int> (4, 0));
}
