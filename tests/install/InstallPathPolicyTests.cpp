#include "install/InstallPathPolicy.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager::install;
namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

TEST (InstallPathPolicy, UserFoldersFollowHomeOnEveryCall)
{
    zorvatest::TempDir dir;
    const auto first = dir / "first-home";
    const auto second = dir / "second-home";

    {
        zorvatest::ScopedEnv home ("HOME", first.string());
        EXPECT_EQ (InstallPathPolicy::defaultInstallPaths (PluginFormat::Vst3), Paths { first / ".vst3" });
        EXPECT_EQ (InstallPathPolicy::defaultInstallPaths (PluginFormat::Clap), Paths { first / ".clap" });
        EXPECT_EQ (InstallPathPolicy::defaultUserPaths (PluginFormat::Vst3), Paths { first / ".vst3" });
        EXPECT_EQ (InstallPathPolicy::defaultUserPaths (PluginFormat::Clap), Paths { first / ".clap" });
    }

    zorvatest::ScopedEnv home ("HOME", second.string());
    EXPECT_EQ (InstallPathPolicy::defaultInstallPaths (PluginFormat::Vst3), Paths { second / ".vst3" });
    EXPECT_EQ (InstallPathPolicy::defaultUserPaths (PluginFormat::Clap), Paths { second / ".clap" });

    // Naming a folder never creates it.
    EXPECT_FALSE (fs::exists (first));
    EXPECT_FALSE (fs::exists (second));
}

TEST (InstallPathPolicy, UnsetHomeGivesRelativeFolders)
{
    zorvatest::ScopedEnv home ("HOME", std::nullopt);
    EXPECT_EQ (InstallPathPolicy::defaultInstallPaths (PluginFormat::Vst3), Paths { ".vst3" });
    EXPECT_EQ (InstallPathPolicy::defaultInstallPaths (PluginFormat::Clap), Paths { ".clap" });
    EXPECT_EQ (InstallPathPolicy::defaultUserPaths (PluginFormat::Clap), Paths { ".clap" });
    EXPECT_TRUE (InstallPathPolicy::defaultInstallPaths (PluginFormat::Vst3).front().is_relative());
}

TEST (InstallPathPolicy, SystemFoldersAreFixedAndIndependentOfHome)
{
    const Paths vst3 { "/usr/local/lib/vst3", "/usr/lib/vst3" };
    const Paths clap { "/usr/local/lib/clap", "/usr/lib/clap" };

    for (const auto& value : { std::optional<std::string> ("/home/someone"), std::optional<std::string>() })
    {
        zorvatest::ScopedEnv home ("HOME", value);
        EXPECT_EQ (InstallPathPolicy::defaultSystemScanPaths (PluginFormat::Vst3), vst3);
        EXPECT_EQ (InstallPathPolicy::defaultSystemScanPaths (PluginFormat::Clap), clap);
    }

    // Paths compare by components; the native text must be exact too.
    EXPECT_EQ (InstallPathPolicy::defaultSystemScanPaths (PluginFormat::Vst3)[0].native(), "/usr/local/lib/vst3");
}

TEST (InstallPathPolicy, FormatsKeepTheirNumbers)
{
    EXPECT_EQ (static_cast<int> (PluginFormat::Vst3), 0);
    EXPECT_EQ (static_cast<int> (PluginFormat::Clap), 1);
}

TEST (InstallPathPolicy, ScanPathsPutTheChosenFolderFirstAndDropDuplicates)
{
    zorvatest::ScopedEnv home ("HOME", "/home/musician");

    EXPECT_EQ (InstallPathPolicy::scanPathsFor (PluginFormat::Vst3, "/home/musician/.vst3"),
               (std::vector<fs::path> { "/home/musician/.vst3", "/usr/local/lib/vst3", "/usr/lib/vst3" }));
    EXPECT_EQ (InstallPathPolicy::scanPathsFor (PluginFormat::Vst3, "/home/musician/./.vst3"),
               (std::vector<fs::path> { "/home/musician/.vst3", "/usr/local/lib/vst3", "/usr/lib/vst3" }));
    EXPECT_EQ (InstallPathPolicy::scanPathsFor (PluginFormat::Clap, "/opt/plugins/clap"),
               (std::vector<fs::path> { "/opt/plugins/clap", "/home/musician/.clap", "/usr/local/lib/clap", "/usr/lib/clap" }));
    EXPECT_EQ (InstallPathPolicy::scanPathsFor (PluginFormat::Clap, {}),
               (std::vector<fs::path> { "/home/musician/.clap", "/usr/local/lib/clap", "/usr/lib/clap" }));
}

TEST (InstallPathPolicy, FirstDefaultPathIsTheHomeFolderOfTheFormat)
{
    zorvatest::ScopedEnv home ("HOME", "/home/musician");

    EXPECT_EQ (InstallPathPolicy::firstDefaultPath (PluginFormat::Vst3), fs::path ("/home/musician/.vst3"));
    EXPECT_EQ (InstallPathPolicy::firstDefaultPath (PluginFormat::Clap), fs::path ("/home/musician/.clap"));
    EXPECT_EQ (InstallPathPolicy::defaultInstallFolders(), (FormatFolders { "/home/musician/.vst3", "/home/musician/.clap" }));
}

} // namespace
