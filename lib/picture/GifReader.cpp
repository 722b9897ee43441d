#include "picture/BoxFilter.h"
#include "picture/PictureFormats.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace zorvaplugins::zorvamanager::picture
{

namespace
{

struct GifInput
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    bool truncated = false;
};

// giflib treats a short count as a read failure.
int gifRead (GifFileType* gif, GifByteType* out, int length)
{
    auto& input = *static_cast<GifInput*> (gif->UserData);

    if (length <= 0)
        return 0;

    const auto wanted = static_cast<std::size_t> (length);
    const auto count = std::min (wanted, input.size - input.offset);
    input.truncated = input.truncated || count < wanted;
    std::memcpy (out, input.data + input.offset, count);
    input.offset += count;
    return static_cast<int> (count);
}

struct GifFileCloser
{
    void operator() (GifFileType* gif) const noexcept
    {
        int ignored = 0;
        DGifCloseFile (gif, &ignored);
    }
};

using GifFile = std::unique_ptr<GifFileType, GifFileCloser>;

DecodedPicture giflibFailure (const GifInput& input, int errorCode)
{
    if (input.truncated)
        return pictureFailure ("truncated GIF picture");

    return pictureFailure ("damaged GIF picture: " + libraryMessage (GifErrorString (errorCode)));
}

// The transparent index that a graphic control extension sets for the next image, or -1.
int transparentIndexOf (const GifByteType* extension)
{
    if (extension == nullptr || extension[0] < 4)
        return -1;

    return (extension[1] & 0x01) != 0 ? extension[4] : -1;
}

// Reads the extension blocks before the first image, keeping its transparent index.
bool skipExtension (GifFileType* gif, int& transparentIndex)
{
    int code = 0;
    GifByteType* block = nullptr;

    if (DGifGetExtension (gif, &code, &block) == GIF_ERROR)
        return false;

    if (code == GRAPHICS_EXT_FUNC_CODE)
        transparentIndex = transparentIndexOf (block);

    while (block != nullptr)
        if (DGifGetExtensionNext (gif, &block) == GIF_ERROR)
            return false;

    return true;
}

// Lays one line of the image's indices into a screen-wide row, whose other pixels stay
// transparent: what lies outside the first image has not been drawn yet.
void paintLine (const GifByteType* indices, std::size_t width, const ColorMapObject& colours, int transparentIndex, std::uint8_t* out)
{
    for (std::size_t x = 0; x < width; ++x, out += 4)
    {
        const int index = indices[x];

        // An index past the colour map has no colour to show.
        if (index == transparentIndex || index >= colours.ColorCount)
        {
            std::memset (out, 0, 4);
            continue;
        }

        const auto& colour = colours.Colors[index];
        out[0] = colour.Red;
        out[1] = colour.Green;
        out[2] = colour.Blue;
        out[3] = 0xff;
    }
}

DecodedPicture decodeFirstImage (GifFileType* gif, const GifInput& input, int transparentIndex, const PictureLimits& limits)
{
    if (DGifGetImageDesc (gif) == GIF_ERROR)
        return giflibFailure (input, gif->Error);

    const auto& image = gif->Image;
    const auto screenWidth = static_cast<std::uint32_t> (gif->SWidth);
    const auto screenHeight = static_cast<std::uint32_t> (gif->SHeight);

    if (image.Width <= 0 || image.Height <= 0)
        return pictureFailure ("damaged GIF picture: image has zero size");

    const auto left = static_cast<std::uint32_t> (image.Left), top = static_cast<std::uint32_t> (image.Top);
    const auto width = static_cast<std::uint32_t> (image.Width), height = static_cast<std::uint32_t> (image.Height);

    if (left + width > screenWidth || top + height > screenHeight)
        return pictureFailure ("damaged GIF picture: image lies outside the screen");

    const auto* colours = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;

    if (colours == nullptr)
        return pictureFailure ("damaged GIF picture: no colour map");

    const auto fitted = fittedSize (screenWidth, screenHeight, limits);
    BoxFilter filter (screenWidth, screenHeight, fitted.width, fitted.height);
    std::vector<std::uint8_t> screenRow (static_cast<std::size_t> (screenWidth) * 4, 0);
    auto* imageRow = screenRow.data() + static_cast<std::size_t> (left) * 4;

    // Interlaced images arrive in four passes of rows and are gathered whole; the others
    // stream one line at a time.
    std::vector<GifByteType> indices (static_cast<std::size_t> (width) * (image.Interlace ? height : 1));

    const auto readLine = [&] (std::uint32_t y) {
        return DGifGetLine (gif, indices.data() + static_cast<std::size_t> (y) * width, image.Width) != GIF_ERROR;
    };

    if (image.Interlace)
    {
        constexpr std::uint32_t passStart[] = { 0, 4, 2, 1 }, passStep[] = { 8, 8, 4, 2 };

        for (int pass = 0; pass < 4; ++pass)
            for (auto y = passStart[pass]; y < height; y += passStep[pass])
                if (! readLine (y))
                    return giflibFailure (input, gif->Error);
    }

    const std::vector<std::uint8_t> emptyRow (screenRow.size(), 0);

    for (std::uint32_t y = 0; y < screenHeight; ++y)
    {
        if (y < top || y >= top + height)
        {
            filter.addRow (emptyRow.data(), 4);
            continue;
        }

        const auto line = y - top;

        if (! image.Interlace && ! readLine (0))
            return giflibFailure (input, gif->Error);

        const auto* lineIndices = indices.data() + (image.Interlace ? static_cast<std::size_t> (line) * width : 0);
        paintLine (lineIndices, width, *colours, transparentIndex, imageRow);
        filter.addRow (screenRow.data(), 4);
    }

    return finishedPicture (screenWidth, screenHeight, filter);
}

} // namespace

DecodedPicture decodeGif (const std::uint8_t* data, std::size_t size, const PictureLimits& limits)
{
    GifInput input;
    input.data = data;
    input.size = size;

    int openError = 0;
    const GifFile gif (DGifOpen (&input, gifRead, &openError));

    if (gif == nullptr)
        return giflibFailure (input, openError);

    if (auto error = checkDeclaredSize (static_cast<std::uint32_t> (gif->SWidth), static_cast<std::uint32_t> (gif->SHeight), limits);
        ! error.empty())
        return pictureFailure (std::move (error));

    // Records are read one by one up to the first image: whatever follows it (an animation's
    // other frames) is never read, however many there are.
    int transparentIndex = -1;

    for (;;)
    {
        GifRecordType record = UNDEFINED_RECORD_TYPE;

        if (DGifGetRecordType (gif.get(), &record) == GIF_ERROR)
            return giflibFailure (input, gif->Error);

        switch (record)
        {
            case EXTENSION_RECORD_TYPE:
                if (! skipExtension (gif.get(), transparentIndex))
                    return giflibFailure (input, gif->Error);
                break;

            case IMAGE_DESC_RECORD_TYPE:
                return decodeFirstImage (gif.get(), input, transparentIndex, limits);

            case TERMINATE_RECORD_TYPE:
                return pictureFailure ("damaged GIF picture: no image");

            case UNDEFINED_RECORD_TYPE:
            case SCREEN_DESC_RECORD_TYPE:
                return pictureFailure ("damaged GIF picture: unexpected record");
        }
    }
}

} // namespace zorvaplugins::zorvamanager::picture
