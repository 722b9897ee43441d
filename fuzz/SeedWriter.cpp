// Writes seed inputs for the archive, picture and moduleinfo targets with the fixtures the test
// suites build their archives and pictures with: every container, every picture kind the
// decoder reads, and the hostile shapes the suites check. Usage: fuzz_seed_writer FOLDER
#include "picture/PictureFixtures.h"
#include "support/PackageFixtures.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace zorvatest;

// Few and small pixels: the fuzzer mutates seeds, so a short seed is worth more than a big one.
std::vector<std::uint8_t> gradient (std::size_t count, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes (count);

    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t> ((i * 37 + seed * 11) & 0xff);

    return bytes;
}

void writePackages (const fs::path& folder)
{
    const Container containers[] = { Container::Tar, Container::TarGz, Container::TarXz, Container::Zip, Container::Cpio };

    struct Shape
    {
        const char* name;
        std::vector<ArchiveEntry> extra;
    };

    const Shape shapes[] = {
        { "plain", {} },
        { "symlink", { { "Linux/CLAP/link.clap", EntryKind::Symlink, {}, "../../outside" } } },
        { "hardlink", { { "Linux/CLAP/hard.clap", EntryKind::HardLink, {}, "Linux/CLAP/Seed.clap", 1 } } },
        { "fifo", { { "Linux/fifo", EntryKind::Fifo } } },
        { "device", { { "Linux/device", EntryKind::CharDevice } } },
        { "traversal", { { "../escaped.clap", EntryKind::File, "x" } } },
        { "absolute", { { "/absolute.clap", EntryKind::File, "x" } } },
        { "file-then-folder", { { "Linux/blocker", EntryKind::File, "x" }, { "Linux/blocker/inside.clap", EntryKind::File, "y" } } },
        { "nested-bundle", { { "Linux/VST3/Outer.vst3/Inner.clap", EntryKind::File, "z" } } },
        { "sparse-zeros", { { "Linux/zeros.bin", EntryKind::File, std::string (70000, '\0') + "end" } } },
    };

    for (const auto container : containers)
    {
        for (const auto& shape : shapes)
        {
            PackageRecipe recipe ("Seed", "1.2.3");
            recipe.payloadBytes = 96;
            recipe.extra = shape.extra;

            try
            {
                writePackage (folder / (containerName (container) + "-" + shape.name), recipe, container);
            }
            catch (const std::exception&)
            {
                // Some containers cannot hold some entry kinds; those seeds are simply absent.
            }
        }
    }

    // Shapes no writer makes: raw tar blocks.
    writeFile (folder / "raw-tar-symlink", rawTarHeader ("Linux/CLAP/a.clap", '2', 0, "/etc/passwd") + rawTarEnd());
    writeFile (folder / "raw-tar-pax-path",
               rawPaxHeader ({ { "path", "Linux/VST3/P\xc3\xa4x.vst3/x" } }) + rawTarHeader ("short", '0', 5) + rawTarData ("hello") +
                   rawTarEnd());
    writeFile (folder / "raw-tar-dot-dot", rawTarHeader ("a/../../b", '0', 1) + rawTarData ("b") + rawTarEnd());
    writeFile (folder / "raw-tar-gnu-longname",
               rawTarHeader ("././@LongLink", 'L', 21) + rawTarData ("Linux/CLAP/Long.clap\n") + rawTarHeader ("x", '0', 2) +
                   rawTarData ("ab") + rawTarEnd());
}

void writePictures (const fs::path& folder)
{
    // PNG: every colour type at its usual depths, interlaced, with palette transparency and text.
    const struct
    {
        const char* name;
        int colourType, bitDepth, channels;
    } pngs[] = { { "grey1", 0, 1, 1 },    { "grey8", 0, 8, 1 },      { "grey16", 0, 16, 1 }, { "rgb8", 2, 8, 3 },   { "rgb16", 2, 16, 3 },
                 { "palette4", 3, 4, 1 }, { "greyalpha8", 4, 8, 2 }, { "rgba8", 6, 8, 4 },   { "rgba16", 6, 16, 4 } };

    for (const auto& png : pngs)
    {
        for (const bool interlaced : { false, true })
        {
            PngRecipe recipe;
            recipe.width = 9;
            recipe.height = 5;
            recipe.colourType = png.colourType;
            recipe.bitDepth = png.bitDepth;
            recipe.interlaced = interlaced;
            const auto rowBytes = (recipe.width * static_cast<std::uint32_t> (png.channels * png.bitDepth) + 7) / 8;
            recipe.rows = gradient (rowBytes * recipe.height, static_cast<std::uint32_t> (png.colourType));

            if (png.colourType == 3)
            {
                recipe.palette = gradient (16 * 3, 7);
                recipe.paletteAlpha = { 0, 128, 255 };
            }

            if (png.colourType == 2)
                recipe.transparentKey = { 1, 2, 3 };

            if (png.colourType == 0)
                recipe.texts = { "Comment" };

            writeFile (folder / (std::string ("png-") + png.name + (interlaced ? "-interlaced" : "")), encodePng (recipe));
        }
    }

    writeFile (folder / "png-declared-large", pngWithDeclaredSize (8192, 2929));

    // JPEG: grey, RGB, CMYK and YCCK, baseline and progressive, full and 4:2:0 chroma.
    const struct
    {
        const char* name;
        int components;
        bool ycck;
    } jpegs[] = { { "grey", 1, false }, { "rgb", 3, false }, { "cmyk", 4, false }, { "ycck", 4, true } };

    for (const auto& jpeg : jpegs)
    {
        for (const bool progressive : { false, true })
        {
            for (const bool fullChroma : { false, true })
            {
                JpegRecipe recipe;
                recipe.width = 17;
                recipe.height = 9;
                recipe.components = jpeg.components;
                recipe.ycck = jpeg.ycck;
                recipe.progressive = progressive;
                recipe.fullChroma = fullChroma;
                recipe.quality = 50;
                recipe.samples = gradient (recipe.width * recipe.height * static_cast<std::uint32_t> (jpeg.components), 3);
                writeFile (folder /
                               (std::string ("jpeg-") + jpeg.name + (progressive ? "-progressive" : "") + (fullChroma ? "-444" : "-420")),
                           encodeJpeg (recipe));
            }
        }
    }

    // GIF: global and local colours, interlaced, transparent, a frame inside a larger screen,
    // two frames.
    std::vector<GifColour> colours;

    for (int i = 0; i < 8; ++i)
        colours.push_back (
            { static_cast<std::uint8_t> (i * 30), static_cast<std::uint8_t> (255 - i * 30), static_cast<std::uint8_t> (i * 7) });

    GifFrame frame;
    frame.width = 7;
    frame.height = 5;
    frame.indices = gradient (35, 1);

    for (auto& index : frame.indices)
        index &= 7;

    GifRecipe plain;
    plain.screenWidth = 7;
    plain.screenHeight = 5;
    plain.globalColours = colours;
    plain.frames = { frame };
    writeFile (folder / "gif-plain", encodeGif (plain));

    auto interlaced = plain;
    interlaced.frames[0].interlaced = true;
    interlaced.frames[0].transparentIndex = 2;
    writeFile (folder / "gif-interlaced-transparent", encodeGif (interlaced));

    auto local = plain;
    local.globalColours.clear();
    local.frames[0].localColours = colours;
    local.screenWidth = 12;
    local.screenHeight = 9;
    local.frames[0].left = 3;
    local.frames[0].top = 2;
    writeFile (folder / "gif-local-offset", encodeGif (local));

    auto animated = plain;
    animated.frames.push_back (frame);
    writeFile (folder / "gif-two-frames", encodeGif (animated));
}

void writeModuleInfos (const fs::path& folder)
{
    int index = 0;

    for (const char* version : { "1.0.0", "2.1.0-beta.2", "", "3.7.4.0" })
    {
        PackageRecipe recipe ("Seed", version);
        writeFile (folder / ("fixture-" + std::to_string (index++)), vst3BundleFiles (recipe).at ("Contents/Resources/moduleinfo.json"));
    }
}

} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }

    try
    {
        const fs::path folder = argv[1];

        for (const char* target : { "archive", "picture", "moduleinfo" })
            fs::create_directories (folder / target);

        writePackages (folder / "archive");
        writePictures (folder / "picture");
        writeModuleInfos (folder / "moduleinfo");
    }
    catch (const std::exception& e)
    {
        std::fprintf (stderr, "fuzz_seed_writer: %s\n", e.what());
        return 1;
    }

    return 0;
}
