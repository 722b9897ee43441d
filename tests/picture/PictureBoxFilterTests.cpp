#include "picture/BoxFilter.h"

#include "picture/PictureFixtures.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using zorvaplugins::zorvamanager::picture::BoxFilter;
using zorvatest::argb;

// Feeds 0xAARRGGBB pixels as RGBA rows and returns the result.
std::vector<std::uint32_t> shrink (std::uint32_t width,
                                   std::uint32_t height,
                                   const std::vector<std::uint32_t>& pixels,
                                   std::uint32_t resultWidth,
                                   std::uint32_t resultHeight)
{
    BoxFilter filter (width, height, resultWidth, resultHeight);
    std::vector<std::uint8_t> row;

    for (std::uint32_t y = 0; y < height; ++y)
    {
        row.clear();

        for (std::uint32_t x = 0; x < width; ++x)
            for (const int shift : { 16, 8, 0, 24 })
                row.push_back (static_cast<std::uint8_t> (pixels[y * width + x] >> shift));

        EXPECT_FALSE (filter.isComplete());
        filter.addRow (row.data(), 4);
    }

    EXPECT_TRUE (filter.isComplete());
    return filter.takePixels();
}

} // namespace

TEST (PictureBoxFilter, AveragesTheAreaEachResultPixelCovers)
{
    const struct
    {
        const char* label;
        std::uint32_t width, height;
        std::vector<std::uint32_t> pixels;
        std::uint32_t resultWidth, resultHeight;
        std::vector<std::uint32_t> expected;
    } cases[] = {
        { "same size keeps every pixel",
          2,
          2,
          { argb (255, 1, 2, 3), argb (1, 200, 100, 50), argb (128, 0, 0, 0), argb (7, 255, 255, 255) },
          2,
          2,
          { argb (255, 1, 2, 3), argb (1, 200, 100, 50), argb (128, 0, 0, 0), argb (7, 255, 255, 255) } },
        { "whole blocks",
          4,
          2,
          { argb (255, 0, 0, 0),
            argb (255, 100, 0, 0),
            argb (255, 0, 0, 10),
            argb (255, 0, 0, 20),
            argb (255, 0, 0, 0),
            argb (255, 100, 0, 0),
            argb (255, 0, 0, 30),
            argb (255, 0, 0, 40) },
          2,
          1,
          { argb (255, 50, 0, 0), argb (255, 0, 0, 25) } },
        // Three source pixels into two: each result pixel takes one whole and half of the middle.
        { "fractional columns",
          3,
          1,
          { argb (255, 90, 0, 0), argb (255, 0, 90, 0), argb (255, 0, 0, 90) },
          2,
          1,
          { argb (255, 60, 30, 0), argb (255, 0, 30, 60) } },
        { "fractional rows",
          1,
          3,
          { argb (255, 90, 0, 0), argb (255, 0, 90, 0), argb (255, 0, 0, 90) },
          1,
          2,
          { argb (255, 60, 30, 0), argb (255, 0, 30, 60) } },
        // Five into three: each result pixel takes 5/3 source pixels, split 3:2, 1:3:1 and 2:3.
        { "uneven columns",
          5,
          1,
          { argb (255, 100, 0, 0), argb (255, 0, 0, 0), argb (255, 200, 0, 0), argb (255, 0, 0, 0), argb (255, 50, 0, 0) },
          3,
          1,
          { argb (255, 60, 0, 0), argb (255, 120, 0, 0), argb (255, 30, 0, 0) } },
        // Colour is weighed by alpha: a transparent pixel lends no green, only transparency.
        { "transparent neighbour", 2, 1, { argb (255, 255, 0, 0), argb (0, 0, 255, 0) }, 1, 1, { argb (128, 255, 0, 0) } },
        { "partly transparent neighbour", 2, 1, { argb (255, 255, 0, 0), argb (85, 0, 0, 255) }, 1, 1, { argb (170, 191, 0, 64) } },
        { "all transparent", 2, 2, { argb (0, 255, 0, 0), argb (0, 0, 255, 0), argb (0, 0, 0, 255), argb (0, 9, 9, 9) }, 1, 1, { 0 } },
        // Alpha that rounds to none over the area leaves a fully transparent pixel, which is 0.
        { "faint pixel in a wide area",
          200,
          1,
          [] {
              std::vector<std::uint32_t> row (200, 0);
              row[7] = argb (1, 255, 0, 0);
              return row;
          }(),
          1,
          1,
          { 0 } },
        { "faint pixels, one result pixel each",
          4,
          1,
          { argb (1, 255, 255, 255), 0, 0, argb (2, 0, 0, 255) },
          2,
          1,
          { argb (1, 255, 255, 255), argb (1, 0, 0, 255) } },
        { "alpha just below a half", 3, 1, { argb (1, 255, 0, 0), 0, 0 }, 1, 1, { 0 } },
        { "to one pixel", 3, 3, std::vector<std::uint32_t> (9, argb (200, 10, 20, 30)), 1, 1, { argb (200, 10, 20, 30) } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        EXPECT_EQ (shrink (c.width, c.height, c.pixels, c.resultWidth, c.resultHeight), c.expected);
    }
}

TEST (PictureBoxFilter, ThreeByteRowsAreOpaque)
{
    BoxFilter filter (2, 1, 1, 1);
    const std::uint8_t row[] = { 200, 0, 10, 100, 50, 20 };
    filter.addRow (row, 3);
    EXPECT_EQ (filter.takePixels(), std::vector<std::uint32_t> { argb (255, 150, 25, 15) });
}

TEST (PictureBoxFilter, RowsPastTheEndAreIgnoredAndMissingRowsStayTransparent)
{
    const std::uint8_t white[] = { 255, 255, 255, 255, 255, 255, 255, 255 };

    BoxFilter complete (2, 2, 1, 2);
    complete.addRow (white, 4);
    complete.addRow (white, 4);
    complete.addRow (std::vector<std::uint8_t> (8, 0).data(), 4);
    EXPECT_TRUE (complete.isComplete());
    EXPECT_EQ (complete.takePixels(), (std::vector<std::uint32_t> { 0xffffffff, 0xffffffff }));

    BoxFilter partial (2, 2, 1, 2);
    partial.addRow (white, 4);
    EXPECT_FALSE (partial.isComplete());
    EXPECT_EQ (partial.takePixels(), (std::vector<std::uint32_t> { 0xffffffff, 0 }));
}

TEST (PictureBoxFilter, NeverEnlargesNorVanishes)
{
    BoxFilter larger (2, 1, 5, 3);
    EXPECT_EQ (larger.getResultWidth(), 2u);
    EXPECT_EQ (larger.getResultHeight(), 1u);
    const std::uint8_t row[] = { 1, 2, 3, 4, 5, 6 };
    larger.addRow (row, 3);
    EXPECT_EQ (larger.takePixels(), (std::vector<std::uint32_t> { 0xff010203, 0xff040506 }));

    BoxFilter empty (2, 1, 0, 0);
    EXPECT_EQ (empty.getResultWidth(), 1u);
    EXPECT_EQ (empty.getResultHeight(), 1u);
}
