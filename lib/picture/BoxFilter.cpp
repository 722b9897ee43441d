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
    , resultWidth (resultWidthToUse)
    , resultHeight (resultHeightToUse)
    , rowSums (resultWidthToUse)
    , resultSums (resultWidthToUse)
    , pixels (static_cast<std::size_t> (resultWidthToUse) * resultHeightToUse, 0u)
    , resultRowEnd (sourceHeightToUse)
{
}

void BoxFilter::addRow (const std::uint8_t* row, int bytesPerPixel) noexcept
{
    if (rowsAdded >= sourceHeight)
        return;

    sumRow (row, bytesPerPixel);

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

void BoxFilter::sumRow (const std::uint8_t* row, int bytesPerPixel) noexcept
{
    std::fill (rowSums.begin(), rowSums.end(), Sums {});

    const auto add = [] (Sums& sums, std::uint64_t weight, const std::uint8_t* pixel, std::uint64_t alpha) {
        const auto weightedAlpha = weight * alpha;
        sums.alpha += weightedAlpha;
        sums.red += weightedAlpha * pixel[0];
        sums.green += weightedAlpha * pixel[1];
        sums.blue += weightedAlpha * pixel[2];
    };

    // Same scheme as the rows: source pixel x spans [x * resultWidth, (x + 1) * resultWidth),
    // result column i spans [i * sourceWidth, (i + 1) * sourceWidth).
    const std::uint64_t pixelWidth = resultWidth;
    std::uint64_t pixelStart = 0, columnEnd = sourceWidth;
    std::uint32_t column = 0;
    const auto stride = static_cast<std::size_t> (bytesPerPixel);

    for (std::uint32_t x = 0; x < sourceWidth; ++x, row += stride)
    {
        const auto pixelEnd = pixelStart + pixelWidth;
        const std::uint64_t alpha = bytesPerPixel == 4 ? row[3] : 255u;

        if (pixelEnd <= columnEnd)
        {
            if (alpha != 0)
                add (rowSums[column], pixelWidth, row, alpha);

            if (pixelEnd == columnEnd)
            {
                ++column;
                columnEnd += sourceWidth;
            }
        }
        else
        {
            const auto inCurrent = columnEnd - pixelStart;

            if (alpha != 0)
            {
                add (rowSums[column], inCurrent, row, alpha);
                add (rowSums[column + 1], pixelWidth - inCurrent, row, alpha);
            }

            ++column;
            columnEnd += sourceWidth;
        }

        pixelStart = pixelEnd;
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

        if (sums.alpha != 0)
        {
            const auto average = [&sums] (std::uint64_t weighted) {
                return static_cast<std::uint32_t> ((weighted + sums.alpha / 2) / sums.alpha);
            };

            const auto alpha = static_cast<std::uint32_t> ((sums.alpha + area / 2) / area);
            pixel = (alpha << 24) | (average (sums.red) << 16) | (average (sums.green) << 8) | average (sums.blue);
        }

        *out++ = pixel;
        sums = Sums {};
    }

    ++resultRow;
    resultRowEnd += sourceHeight;
}

} // namespace zorvaplugins::zorvamanager::picture
