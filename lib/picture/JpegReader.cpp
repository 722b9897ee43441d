#include "picture/BoxFilter.h"
#include "picture/PictureFormats.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace zorvaplugins::zorvamanager::picture
{

namespace
{

// Progressive JPEG lets a file repeat scans over the whole picture; a few hundred kilobytes of
// tiny scans would keep the decoder busy for minutes. Real encoders use about ten.
constexpr int maxScans = 256;

// What libjpeg's callbacks and the setjmp-guarded steps share. Plain data only: error_exit
// longjmps over the frames between it and the setjmp, so nothing on that path may own
// anything that needs a destructor.
struct JpegJob
{
    jpeg_error_mgr errors {};
    jpeg_source_mgr source {};
    jpeg_progress_mgr progress {};
    std::jmp_buf jump {};
    char message[JMSG_LENGTH_MAX] = {};
    int messageCode = 0;
    bool truncated = false;
    bool tooManyScans = false;
};

JpegJob& jobOf (j_common_ptr info)
{
    return *static_cast<JpegJob*> (info->client_data);
}

[[noreturn]] void jpegErrorExit (j_common_ptr info)
{
    auto& job = jobOf (info);
    job.messageCode = info->err->msg_code;
    (*info->err->format_message) (info, job.message);
    std::longjmp (job.jump, 1);
}

// Warnings (recoverable damage in the entropy-coded data, which libjpeg resynchronises past)
// and trace messages are not printed anywhere.
void jpegEmitMessage (j_common_ptr, int) {}
void jpegOutputMessage (j_common_ptr) {}

void jpegProgress (j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr> (info)->input_scan_number > maxScans)
    {
        auto& job = jobOf (info);
        job.tooManyScans = true;
        std::longjmp (job.jump, 1);
    }
}

// The whole file is in memory from the start: running out of it means the file is truncated,
// which is an error (libjpeg's own memory source would pad it with an end marker and carry
// on, leaving the rest of the picture grey).
void sourceInit (j_decompress_ptr) {}
void sourceTerm (j_decompress_ptr) {}

boolean sourceFill (j_decompress_ptr info)
{
    jobOf (reinterpret_cast<j_common_ptr> (info)).truncated = true;
    ERREXIT (info, JERR_INPUT_EOF);
    return FALSE;
}

void sourceSkip (j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;

    auto* source = info->src;

    if (static_cast<unsigned long> (count) > source->bytes_in_buffer)
        sourceFill (info);

    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t> (count);
}

// Owns libjpeg's decompression object; destroying one that was never (or only partly)
// created is harmless because it starts zeroed.
class JpegDecompressor
{
public:
    JpegDecompressor() = default;
    ~JpegDecompressor() { jpeg_destroy_decompress (&info); }

    JpegDecompressor (const JpegDecompressor&) = delete;
    JpegDecompressor& operator= (const JpegDecompressor&) = delete;

    jpeg_decompress_struct info {};
};

bool readJpegHeader (j_decompress_ptr info, JpegJob* job, const std::uint8_t* data, std::size_t size)
{
    info->err = jpeg_std_error (&job->errors);
    job->errors.error_exit = jpegErrorExit;
    job->errors.emit_message = jpegEmitMessage;
    job->errors.output_message = jpegOutputMessage;

    if (setjmp (job->jump))
        return false;

    jpeg_create_decompress (info);
    info->client_data = job;

    job->source.next_input_byte = data;
    job->source.bytes_in_buffer = size;
    job->source.init_source = sourceInit;
    job->source.fill_input_buffer = sourceFill;
    job->source.skip_input_data = sourceSkip;
    job->source.resync_to_restart = jpeg_resync_to_restart;
    job->source.term_source = sourceTerm;
    info->src = &job->source;

    job->progress.progress_monitor = jpegProgress;
    info->progress = &job->progress;

    jpeg_read_header (info, TRUE);
    return true;
}

bool isCmyk (J_COLOR_SPACE space)
{
    return space == JCS_CMYK || space == JCS_YCCK;
}

// Picks the smallest DCT scale (n/8) at which the decoded picture is still at least as large
// as the result, so the box filter only ever shrinks, then starts decompressing.
bool startJpeg (j_decompress_ptr info, JpegJob* job, PictureSize result)
{
    if (setjmp (job->jump))
        return false;

    info->out_color_space = isCmyk (info->jpeg_color_space) ? JCS_CMYK : JCS_RGB;
    info->scale_denom = 8;

    for (unsigned int eighths = 1; eighths <= 8; ++eighths)
    {
        info->scale_num = eighths;
        jpeg_calc_output_dimensions (info);

        if (info->output_width >= result.width && info->output_height >= result.height)
            break;
    }

    jpeg_start_decompress (info);
    return true;
}

// Adobe's CMYK JPEGs (the only common kind, and what libjpeg writes) store inverted inks.
void cmykToRgb (std::uint8_t* row, std::size_t width, bool inverted)
{
    for (std::size_t x = 0; x < width; ++x)
    {
        const auto* in = row + x * 4;
        unsigned int c = in[0], m = in[1], y = in[2], k = in[3];

        if (! inverted)
        {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }

        // Written after the four bytes are read; pixel x's three bytes never pass pixel x's four.
        auto* out = row + x * 3;
        out[0] = static_cast<std::uint8_t> ((c * k + 127) / 255);
        out[1] = static_cast<std::uint8_t> ((m * k + 127) / 255);
        out[2] = static_cast<std::uint8_t> ((y * k + 127) / 255);
    }
}

void streamJpegRows (j_decompress_ptr info, BoxFilter* filter, std::uint8_t* row)
{
    const bool cmyk = info->out_color_space == JCS_CMYK;

    while (info->output_scanline < info->output_height)
    {
        JSAMPROW rows[] = { row };

        if (jpeg_read_scanlines (info, rows, 1) != 1)
            ERREXIT (info, JERR_INPUT_EOF);

        if (cmyk)
            cmykToRgb (row, info->output_width, info->saw_Adobe_marker != 0);

        filter->addRow (row, 3);
    }

    // Through EOI, so that a truncated end is an error too.
    jpeg_finish_decompress (info);
}

bool readJpegRows (j_decompress_ptr info, JpegJob* job, BoxFilter* filter, std::uint8_t* row)
{
    if (setjmp (job->jump))
        return false;

    streamJpegRows (info, filter, row);
    return true;
}

DecodedPicture libjpegFailure (const JpegJob& job, const jpeg_decompress_struct& info)
{
    if (job.truncated)
        return pictureFailure ("truncated JPEG picture");

    if (job.tooManyScans)
        return pictureFailure ("damaged JPEG picture: more than " + std::to_string (maxScans) + " scans");

    // libjpeg refuses these sizes itself while reading the frame header, after storing them;
    // the errors then read like those of the other formats.
    const auto size = std::to_string (info.image_width) + "x" + std::to_string (info.image_height);

    if (job.messageCode == JERR_EMPTY_IMAGE && (info.image_width == 0 || info.image_height == 0))
        return pictureFailure ("picture has zero size: " + size);

    if (job.messageCode == JERR_IMAGE_TOO_BIG)
        return pictureFailure ("picture too large: " + size);

    return pictureFailure ("damaged JPEG picture: " + libraryMessage (job.message));
}

} // namespace

DecodedPicture decodeJpeg (const std::uint8_t* data, std::size_t size, const PictureLimits& limits)
{
    JpegJob job;
    JpegDecompressor decompressor;
    auto* info = &decompressor.info;

    if (! readJpegHeader (info, &job, data, size))
        return libjpegFailure (job, *info);

    if (auto error = checkDeclaredSize (info->image_width, info->image_height, limits); ! error.empty())
        return pictureFailure (std::move (error));

    const auto fitted = fittedSize (info->image_width, info->image_height, limits);

    if (! startJpeg (info, &job, fitted))
        return libjpegFailure (job, *info);

    BoxFilter filter (info->output_width, info->output_height, fitted.width, fitted.height);
    std::vector<std::uint8_t> row (static_cast<std::size_t> (info->output_width) * static_cast<std::size_t> (info->output_components));

    if (! readJpegRows (info, &job, &filter, row.data()))
        return libjpegFailure (job, *info);

    return finishedPicture (info->image_width, info->image_height, filter);
}

} // namespace zorvaplugins::zorvamanager::picture
