// A product picture as the maker's web site serves it: any bytes. A decoded picture fits the
// limits and the box, holds exactly its pixels and no colour under full transparency; a
// failure is an error and nothing else.
#include "FuzzSupport.h"

#include "picture/PictureDecoder.h"

#include <string>

using namespace zorvaplugins::zorvamanager::picture;

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const PictureLimits limits;
    const auto picture = PictureDecoder::decode (data, size, limits);

    if (! picture.ok)
    {
        zorvafuzz::check (
            ! picture.error.empty() && picture.error.find ('\n') == std::string::npos, "a failure without a one-line error", picture.error);
        zorvafuzz::check (
            picture.pixels.empty() && picture.width == 0 && picture.height == 0, "a failure with a partial picture", picture.error);
        zorvafuzz::check (picture.sourceWidth == 0 && picture.sourceHeight == 0, "a failure with a source size", picture.error);
        return 0;
    }

    zorvafuzz::check (picture.error.empty(), "a decoded picture carries an error", picture.error);

    const auto sourceWidth = picture.sourceWidth, sourceHeight = picture.sourceHeight;
    zorvafuzz::check (sourceWidth > 0 && sourceHeight > 0, "a decoded picture of zero source size");
    zorvafuzz::check (sourceWidth <= limits.maxWidth && sourceHeight <= limits.maxHeight, "a decoded picture beyond the size limits");
    zorvafuzz::check (std::uint64_t { sourceWidth } * sourceHeight <= limits.maxPixels, "a decoded picture beyond the pixel limit");

    const auto width = picture.width, height = picture.height;
    zorvafuzz::check (width > 0 && height > 0, "a decoded picture of zero size");
    zorvafuzz::check (width <= limits.fitWidth && height <= limits.fitHeight, "a decoded picture that does not fit the box");
    zorvafuzz::check (width <= sourceWidth && height <= sourceHeight, "a decoded picture larger than its source");
    zorvafuzz::check (picture.pixels.size() == std::size_t { width } * height, "pixels that do not match the size");

    // Aspect kept: the side that is not the box's (or the source's) comes within a pixel of the
    // source's proportion, or is the single pixel a very thin picture keeps.
    const auto keepsAspect = [] (std::uint64_t side, std::uint64_t other, std::uint64_t sourceSide, std::uint64_t sourceOther) {
        const auto exact2 = 2 * other * sourceSide; // twice side x sourceOther, as the source proportion gives it
        const auto actual2 = 2 * side * sourceOther;
        return side == 1 || (actual2 + sourceOther >= exact2 && actual2 <= exact2 + sourceOther);
    };
    zorvafuzz::check (keepsAspect (height, width, sourceHeight, sourceWidth) || keepsAspect (width, height, sourceWidth, sourceHeight),
                      "a decoded picture of another aspect");

    for (const auto pixel : picture.pixels)
        zorvafuzz::check ((pixel >> 24) != 0 || pixel == 0, "a fully transparent pixel that keeps a colour");

    return 0;
}
