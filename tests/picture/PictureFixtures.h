#pragma once

#include "picture/PictureDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

// Pictures made at test time with libpng's, libjpeg's and giflib's writers, and by hand where a
// writer would refuse the bytes (damaged chunks, impossible sizes). Test thread only; the
// writers abort the test run on a misuse.
namespace zorvatest
{

using zorvaplugins::zorvamanager::picture::DecodedPicture;
using zorvaplugins::zorvamanager::picture::PictureLimits;

constexpr std::uint32_t argb (std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}

DecodedPicture decodeBytes (const std::string& bytes, const PictureLimits& limits = {});

// A PNG as libpng writes it from packed rows (png_get_rowbytes each). Colour type and bit
// depth are libpng's PNG_COLOR_TYPE_* and 1 to 16.
struct PngRecipe
{
    std::uint32_t width = 1, height = 1;
    int colourType = 6; // PNG_COLOR_TYPE_RGB_ALPHA
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> palette;         // R, G, B per entry
    std::vector<std::uint8_t> paletteAlpha;    // tRNS of a palette picture
    std::vector<std::uint16_t> transparentKey; // tRNS of a grey (1 value) or RGB (3) picture
    std::vector<std::string> texts;            // tEXt chunks, before the image data
};

std::string encodePng (const PngRecipe& recipe);

// An 8-bit RGBA PNG from 0xAARRGGBB pixels.
std::string encodeRgbaPng (std::uint32_t width, std::uint32_t height, const std::vector<std::uint32_t>& pixels, bool interlaced = false);

// An 8-bit grey PNG of one value, for sizes.
std::string encodeGreyPng (std::uint32_t width, std::uint32_t height, std::uint8_t grey = 0x80);

// One PNG chunk and the file made of chunks.
struct PngChunk
{
    std::string type;
    std::string data;
    std::uint32_t crc = 0; // as found in the file
};

std::vector<PngChunk> splitPngChunks (const std::string& png);
std::string joinPngChunks (const std::vector<PngChunk>& chunks); // keeps each chunk's crc
std::uint32_t pngChunkCrc (const PngChunk& chunk);               // the right one
PngChunk makePngChunk (const std::string& type, const std::string& data);

// Signature, an IHDR of any size (8-bit grey), a small IDAT and IEND, CRCs right.
std::string pngWithDeclaredSize (std::uint32_t width, std::uint32_t height);

std::string bigEndian32 (std::uint32_t value);

// A JPEG as libjpeg writes it from interleaved samples. Components 1 (grey), 3 (RGB) or 4
// (CMYK samples as Adobe's inverted inks; stored as CMYK or, with ycck, as YCCK).
struct JpegRecipe
{
    std::uint32_t width = 1, height = 1;
    int components = 3;
    bool ycck = false;
    bool progressive = false;
    bool fullChroma = true; // 4:4:4; otherwise libjpeg's default 4:2:0
    int quality = 95;
    std::vector<std::uint8_t> samples;
};

std::string encodeJpeg (const JpegRecipe& recipe);

// An RGB JPEG of 0xRRGGBB pixels.
std::string encodeRgbJpeg (std::uint32_t width, std::uint32_t height, const std::vector<std::uint32_t>& pixels, bool progressive = false);

// Offsets of a JPEG's frame header (the SOFn marker's first byte) and of each scan header (SOS).
std::size_t jpegFrameOffset (const std::string& jpeg);
std::vector<std::size_t> jpegScanOffsets (const std::string& jpeg);

// The same JPEG declaring another size in its frame header.
std::string withJpegSize (std::string jpeg, std::uint16_t width, std::uint16_t height);

struct GifColour
{
    std::uint8_t red = 0, green = 0, blue = 0;
};

struct GifFrame
{
    std::uint32_t left = 0, top = 0, width = 1, height = 1;
    bool interlaced = false;
    std::vector<std::uint8_t> indices;   // row-major, width x height
    std::vector<GifColour> localColours; // a power of two entries, or none
    int transparentIndex = -1;           // written in a graphic control extension when >= 0
};

struct GifRecipe
{
    std::uint32_t screenWidth = 1, screenHeight = 1;
    std::vector<GifColour> globalColours; // a power of two entries, or none
    std::vector<GifFrame> frames;
};

std::string encodeGif (const GifRecipe& recipe);

// The same GIF declaring another logical screen.
std::string withGifScreen (std::string gif, std::uint16_t width, std::uint16_t height);

// True when an error reads as one: one line, lower-case start, no final full stop.
bool isWellFormedError (const std::string& error);

} // namespace zorvatest
