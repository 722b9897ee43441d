#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace zorvaplugins::zorvamanager::picture
{

// Shrinks a picture that arrives one row at a time, top to bottom, with an exact area-average
// (box) filter: each result pixel is the mean of the source area it covers, fractional pixels
// at its edges weighed by the part they cover. Colour is weighed by alpha, so a transparent
// pixel lends its colour to nothing; the result has straight alpha. The sums are exact 64-bit
// integers as long as the source has at most 2^32 pixels.
//
// Memory: 64 bytes per result column for the sums, plus the result; nothing is allocated after
// construction, so rows can be added from code that a C library may longjmp out of. One
// decoding at a time (no locking); different filters are independent on any threads.
class BoxFilter
{
public:
    // The result is no larger than the source in either direction, and at least 1 x 1 (a size
    // outside that range is clamped into it). Throws std::bad_alloc.
    BoxFilter (std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint32_t resultWidth, std::uint32_t resultHeight);

    // Adds the next source row of sourceWidth pixels of 3 bytes (R, G, B; opaque) or 4 bytes
    // (R, G, B, straight A). Rows past the last one are ignored.
    void addRow (const std::uint8_t* row, int bytesPerPixel) noexcept;

    // True once every source row has been added.
    bool isComplete() const noexcept { return rowsAdded == sourceHeight; }

    std::uint32_t getResultWidth() const noexcept { return resultWidth; }
    std::uint32_t getResultHeight() const noexcept { return resultHeight; }

    // The result, row-major 0xAARRGGBB; rows the source has not reached yet are transparent.
    std::vector<std::uint32_t> takePixels() noexcept { return std::move (pixels); }

private:
    struct Sums
    {
        std::uint64_t alpha = 0, red = 0, green = 0, blue = 0;
    };

    template <int bytesPerPixel>
    static Sums sumPixels (const std::uint8_t* pixel, std::uint32_t count) noexcept;
    template <int bytesPerPixel>
    void sumRow (const std::uint8_t* row) noexcept;
    void addRowSums (std::uint64_t weight) noexcept;
    void emitResultRow() noexcept;

    std::uint32_t sourceWidth, sourceHeight, resultWidth, resultHeight;
    std::vector<Sums> rowSums;    // the current source row, per result column
    std::vector<Sums> resultSums; // the current result row
    std::vector<std::uint32_t> pixels;

    // Positions in units of 1 / (resultHeight) source rows: source row y spans
    // [y * resultHeight, (y + 1) * resultHeight), result row j spans
    // [j * sourceHeight, (j + 1) * sourceHeight).
    std::uint32_t rowsAdded = 0, resultRow = 0;
    std::uint64_t resultRowEnd = 0;
};

} // namespace zorvaplugins::zorvamanager::picture
