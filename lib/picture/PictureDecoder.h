#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::picture
{

// What a product picture may declare, and the box its result must fit in.
struct PictureLimits
{
    std::uint32_t maxWidth = 8192, maxHeight = 8192; // declared source size beyond these is refused from the header
    std::uint64_t maxPixels = 24'000'000;            // declared width x height beyond this is refused from the header
    std::uint32_t fitWidth = 128, fitHeight = 128;   // the result fits in this box, aspect kept, never enlarged
};

// Outcome of decoding one picture.
struct DecodedPicture
{
    bool ok = false;
    std::string error;                               // one line; empty when ok
    std::uint32_t sourceWidth = 0, sourceHeight = 0; // as declared by the file (a GIF's logical screen)
    std::uint32_t width = 0, height = 0;             // of `pixels`
    std::vector<std::uint32_t> pixels;               // row-major 0xAARRGGBB, straight (not premultiplied) alpha
};

// Decodes a product picture from the maker's web site, which is untrusted input, into a small
// picture for the product card. The format is recognised by its first bytes, never by a name:
// PNG, baseline or progressive JPEG (greyscale, YCbCr, RGB, CMYK and YCCK) and GIF (its first
// image only; an animated GIF's later frames are never read).
//
// The header is read first: a declared width or height of zero, or beyond maxWidth, maxHeight
// or maxPixels, is refused before anything is allocated for pixels. Whatever the limits say,
// more than 2^32 pixels are always refused (the box filter's sums are exact below that).
// Damaged or truncated data of any format is an error, never a partial picture; a GIF counts
// as complete once its first image is, since nothing after it is read.
//
// The result fits in fitWidth x fitHeight with the source's aspect ratio (each side rounded to
// the nearest pixel, at least 1), is never enlarged, and is made with an area-average (box)
// filter that weighs colour by alpha, so transparent pixels lend no colour to their neighbours.
// Rows stream from the decoder into the filter, so memory stays near:
// - PNG: two source rows (libpng's and ours, 8 bytes a pixel at most) plus the result, except
//   for an interlaced (Adam7) PNG, which needs all its rows: width x height x 4 bytes, at most
//   maxPixels x 4;
// - JPEG: decoded at the smallest DCT scale (1/8 to 8/8) still as large as the result, one
//   scaled row plus libjpeg's own buffers; a progressive JPEG also keeps its coefficients,
//   about 2 bytes per pixel per colour component of the full size;
// - GIF: one row, except for an interlaced GIF, which keeps width x height bytes of indices;
// plus, in every case, 64 bytes per column of the result for the filter's sums and the
// result itself (4 bytes per pixel).
//
// Any thread; reentrant, with no global state. Never throws: running out of memory is an
// error like any other.
class PictureDecoder
{
public:
    PictureDecoder() = delete;

    // The largest file decodeFile reads.
    static constexpr std::size_t maxFileBytes = 16 * 1024 * 1024;

    static DecodedPicture decode (const std::uint8_t* data,
                                  std::size_t size,
                                  const PictureLimits& limits = {}) noexcept;

    // Reads the whole file (refusing one larger than maxFileBytes before reading it, or while
    // reading it when it is not a regular file) and decodes it.
    static DecodedPicture decodeFile (const std::filesystem::path& file,
                                      const PictureLimits& limits = {}) noexcept;
};

} // namespace zorvaplugins::zorvamanager::picture
