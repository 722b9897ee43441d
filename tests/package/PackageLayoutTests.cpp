#include "package/PackageLayout.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fs = std::filesystem;

using zorvaplugins::zorvamanager::package::LayoutResult;
using zorvaplugins::zorvamanager::package::PackageLayout;

namespace
{

const std::vector<std::string> synthVst3 = { "Synth.vst3/Contents/x86_64-linux/Synth.so", "Synth.vst3/Contents/Resources/moduleinfo.json" };

std::vector<std::string> with (std::vector<std::string> base, const std::vector<std::string>& more)
{
    base.insert (base.end(), more.begin(), more.end());
    return base;
}

// "format name relative-path" per plug-in, in result order.
std::vector<std::string> describe (const LayoutResult& result)
{
    std::vector<std::string> lines;

    for (const auto& plugin : result.plugins)
        lines.push_back (plugin.format + " " + plugin.name + " " + plugin.relativePath.generic_string());

    return lines;
}

struct TreeCase
{
    const char* label;
    std::vector<std::string> tree;
    std::string error;                // empty: valid
    std::vector<std::string> plugins; // when valid
};

} // namespace

TEST (PackageLayout, ValidatesTrees)
{
    const TreeCase cases[] = {
        { "one of each", with (synthVst3, { "Synth.clap" }), "", { "clap Synth Synth.clap", "vst3 Synth Synth.vst3" } },
        { "no CLAP", synthVst3, "package contains no CLAP plugin", {} },
        { "empty", {}, "package contains no VST3 plugin", {} },
        { "only CLAP", { "Synth.clap" }, "package contains no VST3 plugin", {} },
        { "VST3 file is no bundle", { "Readme.vst3", "Synth.clap" }, "package contains no VST3 plugin", {} },
        { "upper-case extension", { "Synth.VST3/Contents/x", "Synth.clap" }, "package contains no VST3 plugin", {} },
        { "CLAP inside a bundle", with (synthVst3, { "Synth.vst3/Contents/Resources/Other.clap" }), "package contains no CLAP plugin", {} },
        { "folders per format",
          { "VST3/Synth.vst3/Contents/x86_64-linux/Synth.so", "CLAP/Synth.clap/Contents/x86_64-linux/Synth.so", "README.txt" },
          "",
          { "clap Synth CLAP/Synth.clap", "vst3 Synth VST3/Synth.vst3" } },
        { "several, sorted by bytes, nested bundles skipped",
          { "b.vst3/", "A.vst3/Contents/inner.vst3/", "Z/A.clap", "a.clap", "A.vst3/Contents/x.clap/", "Linux/CLAP/Synth.clap" },
          "",
          { "vst3 A A.vst3", "clap Synth Linux/CLAP/Synth.clap", "clap A Z/A.clap", "clap a a.clap", "vst3 b b.vst3" } },
        { "drive-like name", with (synthVst3, { "Synth.clap", "C:notes" }), "unsafe package entry: windows drive prefix", {} },
        { "control character", with (synthVst3, { "Synth.clap", "bad\tname" }), "unsafe package entry: control character", {} },
        { "control character inside a bundle",
          with (synthVst3, { "Synth.clap", "Synth.vst3/Contents/a\nb" }),
          "unsafe package entry: control character",
          {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        zorvatest::TempDir temp;
        zorvatest::writeTree (temp / "package", c.tree);

        const auto result = PackageLayout::validateDirectory (temp / "package");

        EXPECT_EQ (result.ok, c.error.empty());
        EXPECT_EQ (result.error, c.error);
        EXPECT_EQ (describe (result), c.plugins);
    }
}

TEST (PackageLayout, RefusesEverySymlink)
{
    struct LinkCase
    {
        const char* label;
        fs::path link;
        fs::path target;
    };

    const LinkCase cases[] = {
        { "inside a bundle, pointing inside", "Synth.vst3/Contents/link", "x86_64-linux" },
        { "top level, pointing at a bundle", "Other.vst3", "Synth.vst3" },
        { "file link", "Synth.vst3/Contents/x86_64-linux/Synth2.so", "Synth.so" },
        { "dangling", "Synth.vst3/Contents/missing", "nowhere" },
        { "pointing to itself", "loop", "loop" },
        { "pointing outside", "Synth.vst3/Contents/escape", "../../.." },
        { "absolute", "Synth.vst3/Contents/etc", "/etc" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        zorvatest::TempDir temp;
        const auto root = temp / "package";
        zorvatest::writeTree (root, with (synthVst3, { "Synth.clap" }));
        fs::create_symlink (c.target, root / c.link);

        const auto result = PackageLayout::validateDirectory (root);

        EXPECT_FALSE (result.ok);
        EXPECT_TRUE (result.plugins.empty());

        // Wherever it points, a link is refused as a link: its target is never looked at.
        EXPECT_EQ (result.error, "package contains symlink");
    }
}

TEST (PackageLayout, RootMustBeAFolderButMayBeALinkToOne)
{
    zorvatest::TempDir temp;
    zorvatest::writeFile (temp / "file", "x");

    for (const auto& root : { temp / "file", temp / "missing" })
    {
        const auto result = PackageLayout::validateDirectory (root);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "package root is not a directory");
    }

    zorvatest::writeTree (temp / "package", with (synthVst3, { "Synth.clap" }));
    fs::create_directory_symlink ("package", temp / "link");

    const auto result = PackageLayout::validateDirectory (temp / "link");

    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_EQ (describe (result), (std::vector<std::string> { "clap Synth Synth.clap", "vst3 Synth Synth.vst3" }));
}
