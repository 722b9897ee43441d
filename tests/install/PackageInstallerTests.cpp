#include "install/PackageInstaller.h"

#include "package/ArchiveExtractor.h"
#include "package/ArchiveFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using zorvaplugins::zorvamanager::install::InstallResult;
using zorvaplugins::zorvamanager::install::PackageInstaller;
using zorvaplugins::zorvamanager::install::PackageInstallRequest;

namespace
{

const std::vector<std::string> synthPackage = { "Synth.vst3/Contents/x86_64-linux/Synth.so",
                                                "Synth.vst3/Contents/Resources/moduleinfo.json",
                                                "Synth.clap" };

// A package folder and two install folders that do not exist yet.
struct Install
{
    zorvatest::TempDir temp;
    fs::path package = temp / "package";
    fs::path vst3 = temp / "home/.vst3";
    fs::path clap = temp / "home/.clap";

    explicit Install (const std::vector<std::string>& tree = synthPackage) { zorvatest::writeTree (package, tree); }

    PackageInstallRequest both() const { return { { { true, vst3 }, { true, clap } } }; }

    InstallResult run (const PackageInstallRequest& request) const { return PackageInstaller::installDirectory (package, request); }
};

std::set<std::string> treeOf (const fs::path& root)
{
    std::set<std::string> tree;

    for (auto it = fs::recursive_directory_iterator (root); it != fs::recursive_directory_iterator(); ++it)
        tree.insert (it->path().lexically_relative (root).generic_string() + (it->is_directory() ? "/" : ""));

    return tree;
}

const std::set<std::string> synthBundle = { "Synth.vst3/",
                                            "Synth.vst3/Contents/",
                                            "Synth.vst3/Contents/x86_64-linux/",
                                            "Synth.vst3/Contents/x86_64-linux/Synth.so",
                                            "Synth.vst3/Contents/Resources/",
                                            "Synth.vst3/Contents/Resources/moduleinfo.json" };

} // namespace

TEST (PackageInstaller, InstallsBothFormatsInSortedOrder)
{
    Install install;

    const auto result = install.run (install.both());

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.error, "");
    EXPECT_EQ (result.installedPaths, (std::vector<fs::path> { install.clap / "Synth.clap", install.vst3 / "Synth.vst3" }));
    EXPECT_EQ (treeOf (install.vst3), synthBundle);
    EXPECT_EQ (treeOf (install.clap), (std::set<std::string> { "Synth.clap" }));
    EXPECT_EQ (zorvatest::readFile (install.vst3 / "Synth.vst3/Contents/x86_64-linux/Synth.so"),
               "Synth.vst3/Contents/x86_64-linux/Synth.so");
    EXPECT_EQ (zorvatest::readFile (install.clap / "Synth.clap"), "Synth.clap");
}

TEST (PackageInstaller, InstallsOnlySelectedFormatsAndCreatesNoOtherFolder)
{
    Install vst3Only;
    const auto vst3 = vst3Only.run ({ { { true, vst3Only.vst3 }, { false, {} } } });
    ASSERT_TRUE (vst3.ok) << vst3.error;
    EXPECT_EQ (vst3.installedPaths, (std::vector<fs::path> { vst3Only.vst3 / "Synth.vst3" }));
    EXPECT_FALSE (fs::exists (vst3Only.clap));

    Install clapOnly;
    const auto clap = clapOnly.run ({ { { false, clapOnly.vst3 }, { true, clapOnly.clap } } });
    ASSERT_TRUE (clap.ok) << clap.error;
    EXPECT_EQ (clap.installedPaths, (std::vector<fs::path> { clapOnly.clap / "Synth.clap" }));
    EXPECT_FALSE (fs::exists (clapOnly.vst3));
}

TEST (PackageInstaller, InstallsNestedBundlesFlatAndCopiesFolderClaps)
{
    Install install ({ "VST3/Synth.vst3/Contents/x86_64-linux/Synth.so",
                       "CLAP/Synth.clap/Contents/x86_64-linux/Synth.so",
                       "Extras/Other.vst3/Contents/Resources/moduleinfo.json",
                       "README.txt" });

    const auto result = install.run (install.both());

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.installedPaths,
               (std::vector<fs::path> { install.clap / "Synth.clap", install.vst3 / "Other.vst3", install.vst3 / "Synth.vst3" }));
    EXPECT_EQ (
        treeOf (install.clap),
        (std::set<std::string> {
            "Synth.clap/", "Synth.clap/Contents/", "Synth.clap/Contents/x86_64-linux/", "Synth.clap/Contents/x86_64-linux/Synth.so" }));
    EXPECT_TRUE (fs::is_regular_file (install.vst3 / "Synth.vst3/Contents/x86_64-linux/Synth.so"));
    EXPECT_TRUE (fs::is_regular_file (install.vst3 / "Other.vst3/Contents/Resources/moduleinfo.json"));
}

TEST (PackageInstaller, ReplacesAnExistingBundleAndAStaleTemporaryCopy)
{
    Install install;
    zorvatest::writeTree (install.vst3,
                          { "Synth.vst3/Contents/x86_64-linux/Synth.so",
                            "Synth.vst3/Contents/old-only.txt",
                            "Synth.vst3.zorvamanager-tmp/Contents/leftover.txt",
                            "Keep.vst3/file" });
    zorvatest::writeFile (install.vst3 / "Synth.vst3/Contents/x86_64-linux/Synth.so", "old binary");
    zorvatest::writeFile (install.clap / "Synth.clap.zorvamanager-tmp", "half a copy");

    const auto result = install.run (install.both());

    ASSERT_TRUE (result.ok) << result.error;
    auto expected = synthBundle;
    expected.insert ({ "Keep.vst3/", "Keep.vst3/file" });
    EXPECT_EQ (treeOf (install.vst3), expected);
    EXPECT_EQ (zorvatest::readFile (install.vst3 / "Synth.vst3/Contents/x86_64-linux/Synth.so"),
               "Synth.vst3/Contents/x86_64-linux/Synth.so");
    EXPECT_EQ (treeOf (install.clap), (std::set<std::string> { "Synth.clap" }));
}

TEST (PackageInstaller, ChecksTheRequestBeforeThePackage)
{
    zorvatest::TempDir temp;
    const auto missingPackage = temp / "no-package";
    const std::pair<PackageInstallRequest, std::string> cases[] = {
        { { { { false, temp / "vst3" }, { false, temp / "clap" } } }, "no plugin formats selected" },
        { { { { true, {} }, { true, temp / "clap" } } }, "missing VST3 install path" },
        { { { { true, {} }, { false, temp / "clap" } } }, "missing VST3 install path" },
        { { { { true, temp / "vst3" }, { true, {} } } }, "missing CLAP install path" },
        { { { { true, {} }, { true, {} } } }, "missing VST3 install path" },
        { { { { false, {} }, { true, {} } } }, "missing CLAP install path" },
        { { { { false, {} }, { true, temp / "clap" } } }, "package root is not a directory" },
    };

    for (const auto& [request, error] : cases)
    {
        const auto result = PackageInstaller::installDirectory (missingPackage, request);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, error);
        EXPECT_TRUE (result.installedPaths.empty());
    }

    EXPECT_EQ (treeOf (temp.path()), std::set<std::string>());
}

TEST (PackageInstaller, InvalidLayoutCreatesNoInstallFolder)
{
    struct LayoutCase
    {
        std::vector<std::string> tree;
        std::string error;
    };

    const LayoutCase cases[] = {
        { { "Synth.vst3/Contents/x86_64-linux/Synth.so" }, "package contains no CLAP plugin" },
        { { "Synth.clap" }, "package contains no VST3 plugin" },
        { { "Synth.vst3/Contents/x86_64-linux/Synth.so", "Synth.clap", "C:evil" }, "unsafe package entry: windows drive prefix" },
    };

    for (const auto& c : cases)
    {
        Install install (c.tree);
        const auto result = install.run (install.both());
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, c.error);
        EXPECT_FALSE (fs::exists (install.temp / "home"));
    }
}

TEST (PackageInstaller, RefusesALinkPlantedInAnExtractedPackage)
{
    Install install (std::vector<std::string> {});
    const auto archive = install.temp / "package.tar.gz";
    zorvatest::writeArchive (archive,
                             zorvatest::Container::TarGz,
                             { { "Synth.vst3/Contents/x86_64-linux/Synth.so", zorvatest::EntryKind::File, "so" },
                               { "Synth.vst3/Contents/Resources/moduleinfo.json", zorvatest::EntryKind::File, "{}" },
                               { "Synth.clap", zorvatest::EntryKind::File, "clap" } });
    const auto extracted = install.temp / "work/extract";
    const auto extraction = zorvaplugins::zorvamanager::package::ArchiveExtractor::extractToDirectory (archive, extracted);
    ASSERT_TRUE (extraction.ok) << extraction.error;

    // Something plants a link in the tree between extraction and installation.
    fs::create_symlink ("moduleinfo.json", extracted / "Synth.vst3/Contents/Resources/info.json");
    const auto result = PackageInstaller::installDirectory (extracted, install.both());

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "package contains symlink");
    EXPECT_FALSE (fs::exists (install.temp / "home"));
}

TEST (PackageInstaller, CreatesMissingInstallFoldersWithParents)
{
    Install install;
    const PackageInstallRequest request { { { true, install.temp / "a/b/c/vst3" }, { true, install.temp / "d/e/clap" } } };

    const auto result = install.run (request);

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_TRUE (fs::is_directory (install.temp / "a/b/c/vst3/Synth.vst3"));
    EXPECT_TRUE (fs::is_regular_file (install.temp / "d/e/clap/Synth.clap"));
}

TEST (PackageInstaller, ReportsAnInstallFolderThatCannotBeCreated)
{
    Install install;
    zorvatest::writeFile (install.temp / "blocker", "a file where a folder is needed");
    const auto folder = install.temp / "blocker/clap";

    const auto result = install.run ({ { { true, install.vst3 }, { true, folder } } });

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "cannot create install directory: " + folder.string());
    EXPECT_TRUE (result.installedPaths.empty());
    // The CLAP plug-in sorts first, so nothing was installed before the failure.
    EXPECT_FALSE (fs::exists (install.vst3));
}

// Every bundle is copied before any is put in place, so a failure on the way changes nothing.
TEST (PackageInstaller, FailureBeforeTheRenamesLeavesEveryBundleAsItWas)
{
    Install install;
    zorvatest::writeFile (install.temp / "blocker", "x");
    const auto folder = install.temp / "blocker/vst3";

    const auto result = install.run ({ { { true, folder }, { true, install.clap } } });

    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "cannot create install directory: " + folder.string());
    EXPECT_TRUE (result.installedPaths.empty());
    EXPECT_FALSE (fs::exists (install.clap / "Synth.clap"));
}

TEST (PackageInstaller, FailedCopyLeavesNoTemporaryAndNoFinalName)
{
    Install install;
    // A FIFO inside a bundle passes the layout rules but cannot be copied.
    ASSERT_EQ (::mkfifo ((install.package / "Synth.vst3/Contents/pipe").c_str(), 0600), 0);
    zorvatest::writeTree (install.vst3, { "Synth.vst3/Contents/previous.txt" });

    const auto result = install.run (install.both());

    EXPECT_FALSE (result.ok);
    // The temporary name is unique to the job: the bundle's name, the process id and a number.
    const auto prefix = "cannot copy plugin to temporary install path: " + (install.vst3 / "Synth.vst3.").string();
    EXPECT_EQ (result.error.rfind (prefix, 0), 0u) << result.error;
    EXPECT_NE (result.error.find ("." + std::to_string (::getpid()) + "-"), std::string::npos) << result.error;
    EXPECT_TRUE (result.error.size() > prefix.size() && result.error.substr (result.error.size() - 17) == ".zorvamanager-tmp")
        << result.error;
    EXPECT_TRUE (result.installedPaths.empty());
    // The old bundle is untouched and no partial copy is left anywhere.
    EXPECT_EQ (treeOf (install.vst3),
               (std::set<std::string> { "Synth.vst3/", "Synth.vst3/Contents/", "Synth.vst3/Contents/previous.txt" }));
}
