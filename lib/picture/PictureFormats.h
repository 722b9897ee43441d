#pragma once

#include "picture/PictureDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What PictureDecoder's format readers share; not for use outside this folder. Any thread.
// The readers may throw std::bad_alloc (PictureDecoder turns it into an error); everything
// else comes back as a DecodedPicture.
namespace zorvaplugins::zorvamanager::picture
{

struct PictureSize
{
    std::uint32_t width = 0, height = 0;
};

DecodedPicture decodePng (const std::uint8_t* data, std::size_t size, const PictureLimits& limits);
DecodedPicture decodeJpeg (const std::uint8_t* data, std::size_t size, const PictureLimits& limits);
DecodedPicture decodeGif (const std::uint8_t* data, std::size_t size, const PictureLimits& limits);

class BoxFilter;

DecodedPicture pictureFailure (std::string error);

// The decoded picture: its declared source size and the filter's finished result.
DecodedPicture finishedPicture (std::uint32_t sourceWidth, std::uint32_t sourceHeight, BoxFilter& filter);

// Empty when a declared size is acceptable, otherwise the error that refuses it.
std::string checkDeclaredSize (std::uint64_t width, std::uint64_t height, const PictureLimits& limits);

// The size of the result for a source size: fitted into the box with the aspect kept, each
// side rounded to the nearest pixel and at least 1, never larger than the source.
PictureSize fittedSize (std::uint32_t width, std::uint32_t height, const PictureLimits& limits);

// A decoding library's message as one line of an error: no line breaks, no final full stop.
std::string libraryMessage (const char* message);

} // namespace zorvaplugins::zorvamanager::picture
