#include "install/PackageUninstaller.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace
{

using namespace zorvaplugins::zorvamanager::install;
namespace fs = std::filesystem;

const std::string extensionMessage = "uninstall path must be a .vst3 or .clap plugin";

bool isPresent (const fs::path& path)
{
    std::error_code ec;
    return fs::exists (fs::symlink_status (path, ec));
}

// A VST3 bundle with nested folders and files.
fs::path makeBundle (const fs::path& folder, const std::string& fileName)
{
    const auto bundle = folder / fileName;
    zorvatest::writeFile (bundle / "Contents/x86_64-linux/Synth.so", "binary");
    zorvatest::writeFile (bundle / "Contents/Resources/moduleinfo.json", R"({"Version": "1.0.0"})");
    return bundle;
}

TEST (PackageUninstaller, RemovesABundleWithEverythingInside)
{
    zorvatest::TempDir dir;
    const auto bundle = makeBundle (dir.path(), "Synth.vst3");
    const auto neighbour = makeBundle (dir.path(), "Other.vst3");

    const auto result = PackageUninstaller::uninstallPluginPath (bundle);
    EXPECT_TRUE (result.ok);
    EXPECT_EQ (result.error, "");
    EXPECT_FALSE (isPresent (bundle));
    EXPECT_TRUE (isPresent (neighbour / "Contents/x86_64-linux/Synth.so"));
    EXPECT_TRUE (isPresent (dir.path()));
}

TEST (PackageUninstaller, RemovesASingleFileClap)
{
    zorvatest::TempDir dir;
    const auto plugin = dir / "Synth.clap";
    zorvatest::writeFile (plugin, "binary");

    const auto result = PackageUninstaller::uninstallPluginPath (plugin);
    EXPECT_TRUE (result.ok);
    EXPECT_FALSE (isPresent (plugin));
}

TEST (PackageUninstaller, RefusesEveryOtherExtensionAndChangesNothing)
{
    zorvatest::TempDir dir;
    const auto home = dir / "home";
    const auto vst3Folder = home / ".vst3";
    makeBundle (vst3Folder, "Synth.vst3");
    makeBundle (vst3Folder, "Synth.VST3");
    makeBundle (vst3Folder, "Synth.vst3.bak");
    makeBundle (vst3Folder, "Synth.Clap");
    makeBundle (vst3Folder, "vst3");

    const std::vector<fs::path> refused = {
        vst3Folder / "Synth.VST3", // case-sensitive
        vst3Folder / "Synth.Clap",
        vst3Folder / "Synth.vst3.bak",                   // extension is .bak
        vst3Folder / "vst3",                             // no dot at all
        fs::path (vst3Folder.string() + "/Synth.vst3/"), // trailing separator: no extension
        vst3Folder / "Synth.vst3" / ".",
        vst3Folder / "Synth.vst3" / "..",
        vst3Folder, // ".vst3" is a hidden name, not an extension
        home / ".clap",
        fs::path(),
    };

    for (const auto& path : refused)
    {
        SCOPED_TRACE (path.native());
        const auto result = PackageUninstaller::uninstallPluginPath (path);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, extensionMessage);
    }

    for (const auto* name : { "Synth.vst3", "Synth.VST3", "Synth.vst3.bak", "Synth.Clap", "vst3" })
        EXPECT_TRUE (isPresent (vst3Folder / name / "Contents/x86_64-linux/Synth.so")) << name;
}

TEST (PackageUninstaller, SecondRemovalReportsTheMissingPath)
{
    zorvatest::TempDir dir;
    const auto bundle = makeBundle (dir.path(), "Synth.vst3");

    EXPECT_TRUE (PackageUninstaller::uninstallPluginPath (bundle).ok);

    const auto again = PackageUninstaller::uninstallPluginPath (bundle);
    EXPECT_FALSE (again.ok);
    EXPECT_EQ (again.error, "plugin path does not exist: " + bundle.native());
}

TEST (PackageUninstaller, DanglingLinkDoesNotExistAndStays)
{
    zorvatest::TempDir dir;
    const auto link = dir / "Synth.clap";
    fs::create_symlink (dir / "gone.clap", link);

    const auto result = PackageUninstaller::uninstallPluginPath (link);
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "plugin path does not exist: " + link.native());
    EXPECT_TRUE (fs::is_symlink (link));
}

TEST (PackageUninstaller, LinkToABundleRemovesTheLinkOnly)
{
    zorvatest::TempDir dir;
    const auto target = makeBundle (dir / "elsewhere", "Synth.vst3");
    const auto link = dir / "vst3" / "Synth.vst3";
    fs::create_directories (link.parent_path());
    fs::create_directory_symlink (target, link);

    const auto result = PackageUninstaller::uninstallPluginPath (link);
    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_FALSE (isPresent (link));
    EXPECT_TRUE (isPresent (target / "Contents/x86_64-linux/Synth.so"));
    EXPECT_TRUE (isPresent (target / "Contents/Resources/moduleinfo.json"));
}

TEST (PackageUninstaller, FailedRemovalNamesThePath)
{
    // The bundle lies in a folder its user may not write: the removal fails. As root that
    // needs an unprivileged child, since root ignores permission bits.
    zorvatest::TempDir dir;
    fs::permissions (dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const auto folder = dir / "system-vst3";
    const auto bundle = makeBundle (folder, "Synth.vst3");

    if (::geteuid() != 0)
        fs::permissions (folder, fs::perms::owner_write, fs::perm_options::remove);

    const auto expected = "cannot remove plugin path: " + bundle.native();
    const auto status = zorvatest::runWithoutPrivileges ([&] {
        const auto result = PackageUninstaller::uninstallPluginPath (bundle);
        return ! result.ok && result.error == expected ? 0 : 1;
    });
    EXPECT_EQ (status, 0);

    fs::permissions (folder, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE (isPresent (bundle));
}

} // namespace
