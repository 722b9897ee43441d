#include "products/InstallPlan.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

api::ArtifactInfo artifact (const std::string& id, const std::string& platform, const std::string& format)
{
    api::ArtifactInfo a;
    a.id = id;
    a.platform = platform;
    a.format = format;
    return a;
}

api::ProductReleaseInfo productWith (std::vector<std::vector<api::ArtifactInfo>> releases)
{
    api::ProductReleaseInfo product;

    for (auto& artifacts : releases)
        product.releases.push_back ({ "1.0", "stable", "", "", "", "", std::move (artifacts) });

    return product;
}

TEST (ChooseArtifact, WantedFormatFirstThenAnyLinuxArtifactInCatalogueOrder)
{
    const auto winClap = artifact ("win-clap", "windows-x64", "clap");
    const auto linVst3 = artifact ("lin-vst3", "linux-x64", "vst3");
    const auto linClap = artifact ("lin-clap", "linux-x64", "clap");
    const auto linVst3Later = artifact ("lin-vst3-later", "linux-x64", "vst3");

    struct Case
    {
        const char* what;
        api::ProductReleaseInfo product;
        bool vst3Enabled;
        std::string expected; // artifact id; empty for none
    };

    const Case cases[] = {
        { "VST3 enabled takes the vst3 artifact", productWith ({ { linClap, linVst3 } }), true, "lin-vst3" },
        { "CLAP only prefers the clap artifact", productWith ({ { linVst3, linClap } }), false, "lin-clap" },
        { "CLAP only falls back to vst3", productWith ({ { linVst3 } }), false, "lin-vst3" },
        { "the first release with only Windows is passed over", productWith ({ { winClap }, { linVst3 } }), true, "lin-vst3" },
        { "an exact match in a later release beats a fallback in an earlier one",
          productWith ({ { linClap }, { linVst3Later } }),
          true,
          "lin-vst3-later" },
        { "the first match in catalogue order wins", productWith ({ { linVst3 }, { linVst3Later } }), true, "lin-vst3" },
        { "Windows only: none", productWith ({ { winClap } }), true, "" },
        { "no releases: none", productWith ({}), false, "" },
        { "platform text is exact", productWith ({ { artifact ("odd", "Linux-x64", "vst3") } }), true, "" },
    };

    for (const auto& c : cases)
    {
        const auto chosen = products::chooseArtifact (c.product, c.vst3Enabled);
        EXPECT_EQ (chosen ? chosen->id : std::string(), c.expected) << c.what;
    }
}

TEST (PathsToRemove, FollowTheFormatTogglesAndExactExtensions)
{
    const std::vector<fs::path> installed { "/v/A.vst3", "/c/A.clap", "/v/B.VST3", "/x/A.vst3.bak", "/v/.vst3", "/w/A.vst3" };

    EXPECT_EQ (products::pathsToRemove (installed, true, true), (std::vector<fs::path> { "/v/A.vst3", "/c/A.clap", "/w/A.vst3" }));
    EXPECT_EQ (products::pathsToRemove (installed, true, false), (std::vector<fs::path> { "/v/A.vst3", "/w/A.vst3" }));
    EXPECT_EQ (products::pathsToRemove (installed, false, true), (std::vector<fs::path> { "/c/A.clap" }));
    EXPECT_EQ (products::pathsToRemove (installed, false, false), std::vector<fs::path> {});
}

TEST (PackageFileName, KeepsTheDownloadInsideTheJobFolder)
{
    const std::pair<std::string, std::string> cases[] = {
        { "Tape-Echo-1.2.0-linux.tar.gz", "Tape-Echo-1.2.0-linux.tar.gz" },
        { "", "package.archive" },
        { ".", "package.archive" },
        { "..", "package.archive" },
        { "../evil.tar.gz", "package.archive" },
        { "/etc/passwd", "package.archive" },
        { "sub/file.zip", "package.archive" },
        { "back\\slash.zip", "package.archive" },
        { "line\nfeed.zip", "package.archive" },
        { std::string (256, 'a'), "package.archive" },
        { std::string (255, 'a'), std::string (255, 'a') },
        { "..hidden.zip", "..hidden.zip" },
    };

    for (const auto& [name, expected] : cases)
        EXPECT_EQ (products::packageFileName (name), fs::path (expected)) << name;
}

} // namespace
