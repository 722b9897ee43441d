#include "picture/PictureFixtures.h"

#include <gif_lib.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace zorvatest
{

namespace
{

void appendPng (png_structp png, png_bytep data, std::size_t length)
{
    static_cast<std::string*> (png_get_io_ptr (png))->append (reinterpret_cast<const char*> (data), length);
}

void flushNothing (png_structp) {}

int appendGif (GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<std::string*> (gif->UserData)->append (reinterpret_cast<const char*> (data), static_cast<std::size_t> (length));
    return length;
}

void require (bool condition, const char* what)
{
    if (! condition)
    {
        std::fprintf (stderr, "picture fixture: %s\n", what);
        std::abort();
    }
}

ColorMapObject* makeColourMap (const std::vector<GifColour>& colours)
{
    if (colours.empty())
        return nullptr;

    std::vector<GifColorType> entries;

    for (const auto& colour : colours)
        entries.push_back ({ colour.red, colour.green, colour.blue });

    auto* map = GifMakeMapObject (static_cast<int> (entries.size()), entries.data());
    require (map != nullptr, "a GIF colour map needs a power of two entries");
    return map;
}

std::uint8_t byteAt (const std::string& bytes, std::size_t offset)
{
    return static_cast<std::uint8_t> (bytes.at (offset));
}

} // namespace

DecodedPicture decodeBytes (const std::string& bytes, const PictureLimits& limits)
{
    return zorvaplugins::zorvamanager::picture::PictureDecoder::decode (
        reinterpret_cast<const std::uint8_t*> (bytes.data()), bytes.size(), limits);
}

std::string encodePng (const PngRecipe& recipe)
{
    std::string out;
    auto* png = png_create_write_struct (PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    auto* info = png_create_info_struct (png);
    require (png != nullptr && info != nullptr, "cannot create libpng's writer");

    png_set_write_fn (png, &out, appendPng, flushNothing);
    png_set_IHDR (png,
                  info,
                  recipe.width,
                  recipe.height,
                  recipe.bitDepth,
                  recipe.colourType,
                  recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                  PNG_COMPRESSION_TYPE_DEFAULT,
                  PNG_FILTER_TYPE_DEFAULT);

    std::vector<png_color> palette;

    for (std::size_t i = 0; i + 2 < recipe.palette.size(); i += 3)
        palette.push_back ({ recipe.palette[i], recipe.palette[i + 1], recipe.palette[i + 2] });

    if (! palette.empty())
        png_set_PLTE (png, info, palette.data(), static_cast<int> (palette.size()));

    if (! recipe.paletteAlpha.empty())
        png_set_tRNS (png, info, recipe.paletteAlpha.data(), static_cast<int> (recipe.paletteAlpha.size()), nullptr);

    if (! recipe.transparentKey.empty())
    {
        png_color_16 key {};

        if (recipe.transparentKey.size() == 1)
            key.gray = recipe.transparentKey[0];
        else
        {
            key.red = recipe.transparentKey.at (0);
            key.green = recipe.transparentKey.at (1);
            key.blue = recipe.transparentKey.at (2);
        }

        png_set_tRNS (png, info, nullptr, 0, &key);
    }

    std::vector<png_text> texts;

    for (const auto& text : recipe.texts)
    {
        png_text entry {};
        entry.compression = PNG_TEXT_COMPRESSION_NONE;
        entry.key = const_cast<char*> ("Comment");
        entry.text = const_cast<char*> (text.c_str());
        entry.text_length = text.size();
        texts.push_back (entry);
    }

    if (! texts.empty())
        png_set_text (png, info, texts.data(), static_cast<int> (texts.size()));

    png_write_info (png, info);

    const auto rowBytes = png_get_rowbytes (png, info);
    require (recipe.rows.size() == rowBytes * recipe.height, "PNG rows do not match the size");
    const auto passes = png_set_interlace_handling (png);

    for (int pass = 0; pass < passes; ++pass)
        for (std::uint32_t y = 0; y < recipe.height; ++y)
            png_write_row (png, recipe.rows.data() + y * rowBytes);

    png_write_end (png, info);
    png_destroy_write_struct (&png, &info);
    return out;
}

std::string encodeRgbaPng (std::uint32_t width, std::uint32_t height, const std::vector<std::uint32_t>& pixels, bool interlaced)
{
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.interlaced = interlaced;

    for (const auto pixel : pixels)
        for (const int shift : { 16, 8, 0, 24 })
            recipe.rows.push_back (static_cast<std::uint8_t> (pixel >> shift));

    return encodePng (recipe);
}

std::string encodeGreyPng (std::uint32_t width, std::uint32_t height, std::uint8_t grey)
{
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colourType = PNG_COLOR_TYPE_GRAY;
    recipe.rows.assign (static_cast<std::size_t> (width) * height, grey);
    return encodePng (recipe);
}

std::string bigEndian32 (std::uint32_t value)
{
    return { static_cast<char> (value >> 24), static_cast<char> (value >> 16), static_cast<char> (value >> 8), static_cast<char> (value) };
}

std::vector<PngChunk> splitPngChunks (const std::string& png)
{
    std::vector<PngChunk> chunks;

    for (std::size_t offset = 8; offset + 12 <= png.size();)
    {
        const auto length = (std::uint32_t { byteAt (png, offset) } << 24) | (std::uint32_t { byteAt (png, offset + 1) } << 16) |
            (std::uint32_t { byteAt (png, offset + 2) } << 8) | byteAt (png, offset + 3);
        PngChunk chunk;
        chunk.type = png.substr (offset + 4, 4);
        chunk.data = png.substr (offset + 8, length);
        const auto crcAt = offset + 8 + length;
        chunk.crc = (std::uint32_t { byteAt (png, crcAt) } << 24) | (std::uint32_t { byteAt (png, crcAt + 1) } << 16) |
            (std::uint32_t { byteAt (png, crcAt + 2) } << 8) | byteAt (png, crcAt + 3);
        chunks.push_back (chunk);
        offset = crcAt + 4;
    }

    return chunks;
}

std::string joinPngChunks (const std::vector<PngChunk>& chunks)
{
    std::string png ("\x89PNG\r\n\x1a\n", 8);

    for (const auto& chunk : chunks)
        png += bigEndian32 (static_cast<std::uint32_t> (chunk.data.size())) + chunk.type + chunk.data + bigEndian32 (chunk.crc);

    return png;
}

std::uint32_t pngChunkCrc (const PngChunk& chunk)
{
    const auto typeAndData = chunk.type + chunk.data;
    return static_cast<std::uint32_t> (
        crc32 (0, reinterpret_cast<const Bytef*> (typeAndData.data()), static_cast<uInt> (typeAndData.size())));
}

PngChunk makePngChunk (const std::string& type, const std::string& data)
{
    PngChunk chunk { type, data, 0 };
    chunk.crc = pngChunkCrc (chunk);
    return chunk;
}

std::string pngWithDeclaredSize (std::uint32_t width, std::uint32_t height)
{
    const std::string header = bigEndian32 (width) + bigEndian32 (height) + std::string ("\x08\x00\x00\x00\x00", 5);

    // A few rows of zeros, as any size would start.
    const std::string rows (64, '\0');
    std::string compressed (compressBound (rows.size()), '\0');
    auto compressedSize = static_cast<uLongf> (compressed.size());
    require (compress (reinterpret_cast<Bytef*> (compressed.data()),
                       &compressedSize,
                       reinterpret_cast<const Bytef*> (rows.data()),
                       rows.size()) == Z_OK,
             "cannot compress");
    compressed.resize (compressedSize);

    return joinPngChunks ({ makePngChunk ("IHDR", header), makePngChunk ("IDAT", compressed), makePngChunk ("IEND", "") });
}

std::string encodeJpeg (const JpegRecipe& recipe)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error (&errors); // a misuse prints libjpeg's message and exits
    jpeg_create_compress (&info);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest (&info, &buffer, &size);

    info.image_width = recipe.width;
    info.image_height = recipe.height;
    info.input_components = recipe.components;
    info.in_color_space = recipe.components == 1 ? JCS_GRAYSCALE : (recipe.components == 3 ? JCS_RGB : JCS_CMYK);
    jpeg_set_defaults (&info);

    if (recipe.ycck)
        jpeg_set_colorspace (&info, JCS_YCCK);

    jpeg_set_quality (&info, recipe.quality, TRUE);

    if (recipe.fullChroma)
        for (int i = 0; i < info.num_components; ++i)
            info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;

    if (recipe.progressive)
        jpeg_simple_progression (&info);

    jpeg_start_compress (&info, TRUE);
    const auto rowBytes = static_cast<std::size_t> (recipe.width) * static_cast<std::size_t> (recipe.components);
    require (recipe.samples.size() == rowBytes * recipe.height, "JPEG samples do not match the size");
    std::vector<std::uint8_t> row (rowBytes);

    while (info.next_scanline < info.image_height)
    {
        const auto* start = recipe.samples.data() + info.next_scanline * rowBytes;
        row.assign (start, start + rowBytes);
        JSAMPROW rows[] = { row.data() };
        jpeg_write_scanlines (&info, rows, 1);
    }

    jpeg_finish_compress (&info);
    jpeg_destroy_compress (&info);

    std::string out (reinterpret_cast<const char*> (buffer), size);
    std::free (buffer);
    return out;
}

std::string encodeRgbJpeg (std::uint32_t width, std::uint32_t height, const std::vector<std::uint32_t>& pixels, bool progressive)
{
    JpegRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.progressive = progressive;

    for (const auto pixel : pixels)
        for (const int shift : { 16, 8, 0 })
            recipe.samples.push_back (static_cast<std::uint8_t> (pixel >> shift));

    return encodeJpeg (recipe);
}

namespace
{

// Calls found (offset, marker) for every marker segment up to the end of the data, stepping
// over entropy-coded data (where 0xff 0x00 and restart markers are not segments).
template <typename Visit>
void walkJpegMarkers (const std::string& jpeg, Visit&& visit)
{
    std::size_t offset = 2;

    while (offset + 4 <= jpeg.size())
    {
        require (byteAt (jpeg, offset) == 0xff, "JPEG marker expected");
        const auto marker = byteAt (jpeg, offset + 1);

        if (marker == 0xd9)
            return;

        visit (offset, marker);
        const auto length = (static_cast<std::size_t> (byteAt (jpeg, offset + 2)) << 8) | byteAt (jpeg, offset + 3);
        offset += 2 + length;

        if (marker == 0xda)
        {
            while (offset + 1 < jpeg.size() &&
                   ! (byteAt (jpeg, offset) == 0xff && byteAt (jpeg, offset + 1) != 0 &&
                      (byteAt (jpeg, offset + 1) < 0xd0 || byteAt (jpeg, offset + 1) > 0xd7)))
                ++offset;
        }
    }
}

} // namespace

std::size_t jpegFrameOffset (const std::string& jpeg)
{
    std::size_t found = 0;

    walkJpegMarkers (jpeg, [&found] (std::size_t offset, std::uint8_t marker) {
        if (found == 0 && marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
            found = offset;
    });

    require (found != 0, "JPEG without a frame header");
    return found;
}

std::vector<std::size_t> jpegScanOffsets (const std::string& jpeg)
{
    std::vector<std::size_t> scans;

    walkJpegMarkers (jpeg, [&scans] (std::size_t offset, std::uint8_t marker) {
        if (marker == 0xda)
            scans.push_back (offset);
    });

    return scans;
}

std::string withJpegSize (std::string jpeg, std::uint16_t width, std::uint16_t height)
{
    const auto frame = jpegFrameOffset (jpeg);
    jpeg[frame + 5] = static_cast<char> (height >> 8);
    jpeg[frame + 6] = static_cast<char> (height);
    jpeg[frame + 7] = static_cast<char> (width >> 8);
    jpeg[frame + 8] = static_cast<char> (width);
    return jpeg;
}

std::string encodeGif (const GifRecipe& recipe)
{
    std::string out;
    int error = 0;
    auto* gif = EGifOpen (&out, appendGif, &error);
    require (gif != nullptr, "cannot create giflib's writer");
    EGifSetGifVersion (gif, true);

    auto* global = makeColourMap (recipe.globalColours);
    require (EGifPutScreenDesc (gif, static_cast<int> (recipe.screenWidth), static_cast<int> (recipe.screenHeight), 8, 0, global) == GIF_OK,
             "cannot write the GIF screen");
    GifFreeMapObject (global);

    for (const auto& frame : recipe.frames)
    {
        if (frame.transparentIndex >= 0)
        {
            GraphicsControlBlock control {};
            control.DisposalMode = DISPOSAL_UNSPECIFIED;
            control.TransparentColor = frame.transparentIndex;
            GifByteType extension[4] = {};
            const auto length = EGifGCBToExtension (&control, extension);
            require (EGifPutExtension (gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int> (length), extension) == GIF_OK,
                     "cannot write a GIF extension");
        }

        auto* local = makeColourMap (frame.localColours);
        require (EGifPutImageDesc (gif,
                                   static_cast<int> (frame.left),
                                   static_cast<int> (frame.top),
                                   static_cast<int> (frame.width),
                                   static_cast<int> (frame.height),
                                   frame.interlaced,
                                   local) == GIF_OK,
                 "cannot write a GIF image descriptor");
        GifFreeMapObject (local);

        require (frame.indices.size() == static_cast<std::size_t> (frame.width) * frame.height, "GIF indices do not match the size");
        std::vector<std::uint32_t> order;

        if (frame.interlaced)
        {
            for (const auto& [start, step] : { std::pair { 0u, 8u }, { 4u, 8u }, { 2u, 4u }, { 1u, 2u } })
                for (auto y = start; y < frame.height; y += step)
                    order.push_back (y);
        }
        else
        {
            for (std::uint32_t y = 0; y < frame.height; ++y)
                order.push_back (y);
        }

        for (const auto y : order)
        {
            // EGifPutLine masks the line in place, so it gets a copy.
            std::vector<GifPixelType> line (frame.indices.begin() + static_cast<std::ptrdiff_t> (y * frame.width),
                                            frame.indices.begin() + static_cast<std::ptrdiff_t> ((y + 1) * frame.width));
            require (EGifPutLine (gif, line.data(), static_cast<int> (frame.width)) == GIF_OK, "cannot write a GIF line");
        }
    }

    require (EGifCloseFile (gif, &error) == GIF_OK, "cannot finish the GIF");
    return out;
}

std::string withGifScreen (std::string gif, std::uint16_t width, std::uint16_t height)
{
    gif[6] = static_cast<char> (width);
    gif[7] = static_cast<char> (width >> 8);
    gif[8] = static_cast<char> (height);
    gif[9] = static_cast<char> (height >> 8);
    return gif;
}

bool isWellFormedError (const std::string& error)
{
    return ! error.empty() && error.find ('\n') == std::string::npos && error.front() >= 'a' && error.front() <= 'z' && error.back() != '.';
}

} // namespace zorvatest
