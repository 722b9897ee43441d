#pragma once

#include <cstddef>
#include <cstdint>
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
    std::uint32_t sourceWidth = 0, sourceHeight = 0; // as declared by the file (a GIF's logical screen); 0 unless ok
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
// more than 2^32 pixels are always refused (the box filter's sums are exact below that). A GIF
// is measured by its logical screen, and its first image must lie within it.
//
// Damaged or truncated data is an error, never a partial picture: every PNG chunk's CRC is
// checked, ancillary chunks included (zlib's Adler-32 is not: the IDAT CRCs already cover every
// compressed byte), through IEND; a JPEG must run to its end marker, and entropy-coded data that
// libjpeg can only warn about and resynchronise past decodes as it does in a web browser (JPEG
// has no checksum); a GIF is complete once its first image is. A progressive JPEG of more than
// 256 scans is refused, as no encoder writes more than a dozen.
//
// The result fits in fitWidth x fitHeight with the source's aspect ratio (the other side rounded
// to the nearest pixel, at least 1), is never enlarged, and is made with an area-average (box)
// filter that weighs colour by alpha, so transparent pixels lend no colour to their neighbours;
// a pixel that ends up fully transparent is 0. Rows stream from the decoder into the filter, so
// memory stays near:
// - PNG: a few source rows (libpng's and ours, 8 bytes a pixel at most), except for an
//   interlaced (Adam7) PNG, which needs all its rows: width x height x 4 bytes, at most
//   maxPixels x 4;
// - JPEG: decoded at the smallest DCT scale (1/8 to 8/8) still as large as the result, one
//   scaled row plus libjpeg's own buffers; a progressive (or other multi-scan) JPEG also keeps
//   all its coefficients, about 2 bytes per pixel per colour component at full size;
// - GIF: one screen row, except for an interlaced GIF, which keeps width x height bytes of
//   indices for its first image;
// plus, in every case, the filter's sums (64 bytes per result column) and the result (4 bytes
// per pixel).
//
// Errors, each one line:
//   no picture data                        (empty input)
//   unrecognised picture format
//   picture has zero size: WxH             (as declared)
//   picture too large: WxH                 (as declared)
//   picture fit box is empty               (a zero fitWidth or fitHeight)
//   truncated PNG picture, truncated JPEG picture, truncated GIF picture
//   damaged PNG picture: DETAIL, and likewise for JPEG and GIF (DETAIL is libpng's, libjpeg's
//                                          or giflib's message, or our own)
//   not enough memory to decode the picture
//
// Any thread; reentrant, with no global state (several decodings may run at once). Never
// throws: running out of memory is an error like any other.
class PictureDecoder
{
public:
    PictureDecoder() = delete;

    static DecodedPicture decode (const std::uint8_t* data, std::size_t size, const PictureLimits& limits = {}) noexcept;
};

} // namespace zorvaplugins::zorvamanager::picture
