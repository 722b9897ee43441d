#include "picture/PictureDecoder.h"

#include "picture/BoxFilter.h"
#include "picture/PictureFormats.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zorvaplugins::zorvamanager::picture
{

namespace
{

enum class Format
{
    unknown,
    png,
    jpeg,
    gif
};

bool startsWith (const std::uint8_t* data, std::size_t size, const char* magic, std::size_t magicSize)
{
    return size >= magicSize && std::memcmp (data, magic, magicSize) == 0;
}

Format recogniseFormat (const std::uint8_t* data, std::size_t size)
{
    if (startsWith (data, size, "\x89PNG\r\n\x1a\n", 8))
        return Format::png;

    if (startsWith (data, size, "\xff\xd8\xff", 3))
        return Format::jpeg;

    if (startsWith (data, size, "GIF87a", 6) || startsWith (data, size, "GIF89a", 6))
        return Format::gif;

    return Format::unknown;
}

// Built without letting an allocation failure escape: this is what is left when memory ran out.
DecodedPicture outOfMemory() noexcept
{
    DecodedPicture result;

    try
    {
        result.error = "not enough memory to decode the picture";
    }
    catch (...)
    {}

    return result;
}

} // namespace

DecodedPicture pictureFailure (std::string error)
{
    DecodedPicture result;
    result.error = std::move (error);
    return result;
}

DecodedPicture finishedPicture (std::uint32_t sourceWidth, std::uint32_t sourceHeight, BoxFilter& filter)
{
    DecodedPicture result;
    result.ok = true;
    result.sourceWidth = sourceWidth;
    result.sourceHeight = sourceHeight;
    result.width = filter.getResultWidth();
    result.height = filter.getResultHeight();
    result.pixels = filter.takePixels();
    return result;
}

std::string checkDeclaredSize (std::uint64_t width, std::uint64_t height, const PictureLimits& limits)
{
    const auto size = std::to_string (width) + "x" + std::to_string (height);

    if (width == 0 || height == 0)
        return "picture has zero size: " + size;

    // Beyond 2^32 pixels the box filter's sums could overflow, whatever the limits allow.
    if (width > limits.maxWidth || height > limits.maxHeight || width * height > limits.maxPixels ||
        width * height > (std::uint64_t { 1 } << 32))
        return "picture too large: " + size;

    return {};
}

PictureSize fittedSize (std::uint32_t width, std::uint32_t height, const PictureLimits& limits)
{
    const std::uint64_t boxWidth = limits.fitWidth, boxHeight = limits.fitHeight;

    if (width <= boxWidth && height <= boxHeight)
        return { width, height };

    // Whichever side meets the box first sets the scale; the other is rounded to the nearest
    // pixel (halves up), at least 1. Products of two 32-bit sizes fit in 64 bits.
    if (width * boxHeight >= height * boxWidth)
    {
        const auto scaledHeight = (height * boxWidth + width / 2) / width;
        return { static_cast<std::uint32_t> (boxWidth), static_cast<std::uint32_t> (std::max<std::uint64_t> (1, scaledHeight)) };
    }

    const auto scaledWidth = (width * boxHeight + height / 2) / height;
    return { static_cast<std::uint32_t> (std::max<std::uint64_t> (1, scaledWidth)), static_cast<std::uint32_t> (boxHeight) };
}

std::string libraryMessage (const char* message)
{
    std::string text (message != nullptr ? message : "");

    for (auto& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';

    while (! text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();

    return text.empty() ? "unknown error" : text;
}

DecodedPicture PictureDecoder::decode (const std::uint8_t* data, std::size_t size, const PictureLimits& limits) noexcept
{
    try
    {
        if (data == nullptr || size == 0)
            return pictureFailure ("no picture data");

        if (limits.fitWidth == 0 || limits.fitHeight == 0)
            return pictureFailure ("picture fit box is empty");

        switch (recogniseFormat (data, size))
        {
            case Format::png:
                return decodePng (data, size, limits);
            case Format::jpeg:
                return decodeJpeg (data, size, limits);
            case Format::gif:
                return decodeGif (data, size, limits);
            case Format::unknown:
                break;
        }

        return pictureFailure ("unrecognised picture format");
    }
    catch (...)
    {
        // Only allocations throw on the way (std::bad_alloc, or std::length_error for a size
        // no vector can hold).
        return outOfMemory();
    }
}

} // namespace zorvaplugins::zorvamanager::picture
