#include "picture/BoxFilter.h"
#include "picture/PictureFormats.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace zorvaplugins::zorvamanager::picture
{

namespace
{

// What libpng's callbacks and the setjmp-guarded steps share. Plain data only: libpng's error
// path longjmps over the frames between png_error and the setjmp, so nothing on that path may
// own anything that needs a destructor.
struct PngJob
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    bool truncated = false;
    char message[200] = {};

    png_uint_32 width = 0, height = 0;
    int bytesPerPixel = 4;
    int passes = 1;
};

[[noreturn]] void pngError (png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*> (png_get_error_ptr (png));
    std::strncpy (job->message, message != nullptr ? message : "", sizeof (job->message) - 1);
    png_longjmp (png, 1);
}

void pngWarning (png_structp, png_const_charp) {}

void pngRead (png_structp png, png_bytep out, std::size_t length)
{
    auto* job = static_cast<PngJob*> (png_get_io_ptr (png));

    if (length > job->size - job->offset)
    {
        job->truncated = true;
        png_error (png, "unexpected end of data");
    }

    std::memcpy (out, job->data + job->offset, length);
    job->offset += length;
}

// Owns libpng's read and info structures.
class PngReadStruct
{
public:
    explicit PngReadStruct (PngJob& job)
        : png (png_create_read_struct (PNG_LIBPNG_VER_STRING, &job, pngError, pngWarning))
        , info (png != nullptr ? png_create_info_struct (png) : nullptr)
    {}

    ~PngReadStruct() { png_destroy_read_struct (&png, info != nullptr ? &info : nullptr, nullptr); }

    PngReadStruct (const PngReadStruct&) = delete;
    PngReadStruct& operator= (const PngReadStruct&) = delete;

    png_structp png;
    png_infop info;
};

// Ancillary chunks that play no part in the card's picture: passed over, neither kept nor
// inflated (their CRC is still checked), so none of them can make libpng allocate anything.
constexpr png_byte ignoredChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                     "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
constexpr int ignoredChunkCount = 17;

void setSafeguards (png_structp png, const PictureLimits& limits)
{
    constexpr png_uint_32 largestPngSide = 0x7fffffff;
    png_set_user_limits (png,
                         limits.maxWidth < largestPngSide ? limits.maxWidth : largestPngSide,
                         limits.maxHeight < largestPngSide ? limits.maxHeight : largestPngSide);
    png_set_chunk_cache_max (png, 16);
    png_set_chunk_malloc_max (png, 1024 * 1024);
    png_set_crc_action (png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);

    // Every byte of the compressed stream is already covered by its IDAT chunk's CRC, so
    // zlib's own Adler-32 adds no protection; skipping it saves a fifth of the decoding time.
    png_set_option (png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_set_keep_unknown_chunks (png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks (png, PNG_HANDLE_CHUNK_NEVER, ignoredChunks, ignoredChunkCount);
}

// Every colour type and depth becomes 8-bit R, G, B, with A when the picture has any
// transparency (an alpha channel or a tRNS chunk); returns the bytes per pixel.
int setTransforms (png_structp png, png_infop info)
{
    const auto colourType = png_get_color_type (png, info);
    const bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid (png, info, PNG_INFO_tRNS) != 0;

    png_set_scale_16 (png);
    png_set_expand (png);

    if ((colourType & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb (png);

    return hasAlpha ? 4 : 3;
}

// Reads everything up to the first IDAT and sets the transforms. Nothing here may need
// destroying when png_error longjmps back.
bool readPngHeader (png_structp png, png_infop info, PngJob* job)
{
    if (setjmp (png_jmpbuf (png)))
        return false;

    png_read_info (png, info);
    job->width = png_get_image_width (png, info);
    job->height = png_get_image_height (png, info);
    job->bytesPerPixel = setTransforms (png, info);
    job->passes = png_set_interlace_handling (png);
    png_read_update_info (png, info);

    if (png_get_rowbytes (png, info) != static_cast<std::size_t> (job->width) * static_cast<std::size_t> (job->bytesPerPixel))
        png_error (png, "unexpected row size");

    return true;
}

// Without interlacing each row goes straight to the filter; an interlaced picture's passes
// are gathered into `rows` (the whole picture) first.
void streamPngRows (png_structp png, const PngJob* job, BoxFilter* filter, std::uint8_t* rows)
{
    const auto rowBytes = static_cast<std::size_t> (job->width) * static_cast<std::size_t> (job->bytesPerPixel);

    if (job->passes == 1)
    {
        for (png_uint_32 y = 0; y < job->height; ++y)
        {
            png_read_row (png, rows, nullptr);
            filter->addRow (rows, job->bytesPerPixel);
        }
    }
    else
    {
        for (int pass = 0; pass < job->passes; ++pass)
            for (png_uint_32 y = 0; y < job->height; ++y)
                png_read_row (png, rows + y * rowBytes, nullptr);

        for (png_uint_32 y = 0; y < job->height; ++y)
            filter->addRow (rows + y * rowBytes, job->bytesPerPixel);
    }

    // Through IEND, so that a damaged or truncated end is an error too.
    png_read_end (png, nullptr);
}

bool readPngRows (png_structp png, const PngJob* job, BoxFilter* filter, std::uint8_t* rows)
{
    if (setjmp (png_jmpbuf (png)))
        return false;

    streamPngRows (png, job, filter, rows);
    return true;
}

DecodedPicture libpngFailure (const PngJob& job)
{
    if (job.truncated)
        return pictureFailure ("truncated PNG picture");

    return pictureFailure ("damaged PNG picture: " + libraryMessage (job.message));
}

std::uint32_t bigEndian32 (const std::uint8_t* bytes)
{
    return (std::uint32_t { bytes[0] } << 24) | (std::uint32_t { bytes[1] } << 16) | (std::uint32_t { bytes[2] } << 8) | bytes[3];
}

} // namespace

DecodedPicture decodePng (const std::uint8_t* data, std::size_t size, const PictureLimits& limits)
{
    // IHDR must come first, right after the signature: its size is checked here, before
    // libpng is involved at all, so that the refusal carries our own message.
    constexpr std::size_t ihdrSizeEnd = 8 + 8 + 8;

    if (size < ihdrSizeEnd)
        return pictureFailure ("truncated PNG picture");

    if (std::memcmp (data + 12, "IHDR", 4) != 0)
        return pictureFailure ("damaged PNG picture: IHDR is not the first chunk");

    if (auto error = checkDeclaredSize (bigEndian32 (data + 16), bigEndian32 (data + 20), limits); ! error.empty())
        return pictureFailure (std::move (error));

    PngJob job;
    job.data = data;
    job.size = size;

    PngReadStruct reader (job);

    if (reader.png == nullptr || reader.info == nullptr)
        return pictureFailure ("cannot initialise libpng");

    png_set_read_fn (reader.png, &job, pngRead);
    setSafeguards (reader.png, limits);

    if (! readPngHeader (reader.png, reader.info, &job))
        return libpngFailure (job);

    const auto fitted = fittedSize (job.width, job.height, limits);
    BoxFilter filter (job.width, job.height, fitted.width, fitted.height);
    std::vector<std::uint8_t> rows (static_cast<std::size_t> (job.width) * static_cast<std::size_t> (job.bytesPerPixel) *
                                    (job.passes == 1 ? 1 : job.height));

    if (! readPngRows (reader.png, &job, &filter, rows.data()))
        return libpngFailure (job);

    return finishedPicture (job.width, job.height, filter);
}

} // namespace zorvaplugins::zorvamanager::picture
