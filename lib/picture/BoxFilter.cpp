#include "picture/BoxFilter.h"

#include <algorithm>

namespace zorvaplugins::zorvamanager::picture
{

BoxFilter::BoxFilter (std::uint32_t sourceWidthToUse,
                      std::uint32_t sourceHeightToUse,
                      std::uint32_t resultWidthToUse,
                      std::uint32_t resultHeightToUse)
    : sourceWidth (sourceWidthToUse)
    , sourceHeight (sourceHeightToUse)
    , resultWidth (std::clamp (resultWidthToUse, 1u, std::max (1u, sourceWidthToUse)))
    , resultHeight (std::clamp (resultHeightToUse, 1u, std::max (1u, sourceHeightToUse)))
    , rowSums (resultWidth)
    , resultSums (resultWidth)
    , pixels (static_cast<std::size_t> (resultWidth) * resultHeight, 0u)
    , resultRowEnd (sourceHeightToUse)
{}

void BoxFilter::addRow (const std::uint8_t* row, int bytesPerPixel) noexcept
{
    if (rowsAdded >= sourceHeight)
        return;

    if (bytesPerPixel == 4)
        sumRow<4> (row);
    else
        sumRow<3> (row);

    // A source row is never taller than a result row, so it reaches into two at most.
    const auto rowStart = static_cast<std::uint64_t> (rowsAdded) * resultHeight;
    const auto rowEnd = rowStart + resultHeight;

    if (rowEnd <= resultRowEnd)
    {
        addRowSums (resultHeight);
    }
    else
    {
        const auto inCurrent = resultRowEnd - rowStart;
        addRowSums (inCurrent);
        emitResultRow();
        addRowSums (resultHeight - inCurrent);
    }

    if (rowEnd == resultRowEnd)
        emitResultRow();

    ++rowsAdded;
}

// Alpha-weighted sums of `count` whole pixels. Opaque three-byte pixels all weigh 255, which
// is applied once at the end instead of per pixel.
template <int bytesPerPixel>
BoxFilter::Sums BoxFilter::sumPixels (const std::uint8_t* pixel, std::uint32_t count) noexcept
{
    Sums sums;

    for (std::uint32_t i = 0; i < count; ++i, pixel += bytesPerPixel)
    {
        if constexpr (bytesPerPixel == 4)
        {
            const std::uint32_t alpha = pixel[3];
            sums.alpha += alpha;
            sums.red += alpha * pixel[0];
            sums.green += alpha * pixel[1];
            sums.blue += alpha * pixel[2];
        }
        else
        {
            sums.red += pixel[0];
            sums.green += pixel[1];
            sums.blue += pixel[2];
        }
    }

    if constexpr (bytesPerPixel == 3)
    {
        sums.alpha = 255u * count;
        sums.red *= 255u;
        sums.green *= 255u;
        sums.blue *= 255u;
    }

    return sums;
}

template <int bytesPerPixel>
void BoxFilter::sumRow (const std::uint8_t* row) noexcept
{
    std::fill (rowSums.begin(), rowSums.end(), Sums {});

    const auto add = [this] (std::uint32_t column, std::uint64_t weight, const Sums& sums) {
        auto& target = rowSums[column];
        target.alpha += weight * sums.alpha;
        target.red += weight * sums.red;
        target.green += weight * sums.green;
        target.blue += weight * sums.blue;
    };

    // Same scheme as the rows: source pixel x spans [x * resultWidth, (x + 1) * resultWidth),
    // result column i spans [i * sourceWidth, (i + 1) * sourceWidth). The pixels wholly inside
    // a column are summed first and weighed once; a pixel on a boundary is split between the
    // two columns it touches. The last column ends exactly where the last pixel does.
    const std::uint64_t pixelWidth = resultWidth;
    std::uint64_t pixelStart = 0, columnEnd = sourceWidth;
    std::uint32_t x = 0, column = 0;

    while (x < sourceWidth)
    {
        const auto whole = static_cast<std::uint32_t> ((columnEnd - pixelStart) / pixelWidth);
        add (column, pixelWidth, sumPixels<bytesPerPixel> (row + static_cast<std::size_t> (x) * bytesPerPixel, whole));
        x += whole;
        pixelStart += whole * pixelWidth;

        if (pixelStart < columnEnd)
        {
            const auto inCurrent = columnEnd - pixelStart;
            const auto split = sumPixels<bytesPerPixel> (row + static_cast<std::size_t> (x) * bytesPerPixel, 1);
            add (column, inCurrent, split);
            add (column + 1, pixelWidth - inCurrent, split);
            ++x;
            pixelStart += pixelWidth;
        }

        ++column;
        columnEnd += sourceWidth;
    }
}

void BoxFilter::addRowSums (std::uint64_t weight) noexcept
{
    if (weight == 0 || resultRow >= resultHeight)
        return;

    for (std::size_t i = 0; i < resultSums.size(); ++i)
    {
        resultSums[i].alpha += weight * rowSums[i].alpha;
        resultSums[i].red += weight * rowSums[i].red;
        resultSums[i].green += weight * rowSums[i].green;
        resultSums[i].blue += weight * rowSums[i].blue;
    }
}

void BoxFilter::emitResultRow() noexcept
{
    if (resultRow >= resultHeight)
        return;

    // Every result pixel covers the same area: sourceWidth x sourceHeight units.
    const auto area = static_cast<std::uint64_t> (sourceWidth) * sourceHeight;
    auto* out = pixels.data() + static_cast<std::size_t> (resultRow) * resultWidth;

    for (auto& sums : resultSums)
    {
        std::uint32_t pixel = 0;
        const auto alpha = static_cast<std::uint32_t> ((sums.alpha + area / 2) / area);

        // A little alpha spread over a large area rounds to none: that pixel is fully
        // transparent and so 0, whatever colour the little alpha had.
        if (alpha != 0)
        {
            const auto average = [&sums] (std::uint64_t weighted) {
                return static_cast<std::uint32_t> ((weighted + sums.alpha / 2) / sums.alpha);
            };

            pixel = (alpha << 24) | (average (sums.red) << 16) | (average (sums.green) << 8) | average (sums.blue);
        }

        *out++ = pixel;
        sums = Sums {};
    }

    ++resultRow;
    resultRowEnd += sourceHeight;
}

} // namespace zorvaplugins::zorvamanager::picture
