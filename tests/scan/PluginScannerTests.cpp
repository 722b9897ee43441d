#include "scan/PluginScanner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

using namespace zorvaplugins::zorvamanager;
using install::PluginFormat;
using scan::InstalledPlugin;
using scan::PluginScanner;
namespace fs = std::filesystem;

fs::path makeVst3Bundle (const fs::path& folder, const std::string& fileName, const std::optional<std::string>& moduleInfo)
{
    const auto bundle = folder / fileName;
    zorvatest::writeFile (bundle / "Contents/x86_64-linux" / (bundle.stem().string() + ".so"), "binary");

    if (moduleInfo)
        zorvatest::writeFile (bundle / "Contents/Resources/moduleinfo.json", *moduleInfo);

    return bundle;
}

std::string moduleInfoWithVersion (const std::string& version)
{
    return "{\n  \"Name\": \"Synth\",\n  \"Version\": \"" + version + "\",\n  \"Factory Info\": {}\n}\n";
}

std::vector<std::string> namesOf (const std::vector<InstalledPlugin>& plugins)
{
    std::vector<std::string> names;

    for (const auto& plugin : plugins)
        names.push_back (plugin.name);

    return names;
}

using Names = std::vector<std::string>;

TEST (PluginScanner, FindsAVst3BundleWithItsVersion)
{
    zorvatest::TempDir dir;
    const auto bundle = makeVst3Bundle (dir.path(), "Synth.vst3", moduleInfoWithVersion ("1.2.0"));

    const auto found = PluginScanner::scanPaths ({ dir.path() }, PluginFormat::Vst3).plugins;
    ASSERT_EQ (found.size(), 1u);
    EXPECT_EQ (found[0].format, PluginFormat::Vst3);
    EXPECT_EQ (found[0].name, "Synth");
    EXPECT_EQ (found[0].path.native(), bundle.native());
    EXPECT_EQ (found[0].version, "1.2.0");
}

TEST (PluginScanner, RecognisesEntriesByExactExtensionAndKind)
{
    zorvatest::TempDir dir;
    const auto folder = dir / "plugins";
    makeVst3Bundle (folder, "Bundle.vst3", moduleInfoWithVersion ("2.0"));
    makeVst3Bundle (folder, "Upper.VST3", moduleInfoWithVersion ("2.0"));
    makeVst3Bundle (folder, "Vendor/Nested.vst3", moduleInfoWithVersion ("2.0"));
    makeVst3Bundle (folder, "Backup.vst3.bak", moduleInfoWithVersion ("2.0"));
    zorvatest::writeFile (folder / "FileNamed.vst3", "not a bundle");
    zorvatest::writeFile (folder / "Single.clap", "binary");
    zorvatest::writeFile (folder / "Upper.CLAP", "binary");
    zorvatest::writeFile (folder / "Vendor/Nested.clap", "binary");
    makeVst3Bundle (folder, "Folder.clap", moduleInfoWithVersion ("3.0"));
    fs::create_directories (folder / ".vst3");
    fs::create_directories (folder / ".clap");

    // Links are followed for the kind, and the link's own path is reported.
    fs::create_directory_symlink (folder / "Bundle.vst3", folder / "Linked.vst3");
    fs::create_symlink (folder / "Single.clap", folder / "LinkedFile.clap");
    fs::create_symlink (folder / "gone.vst3", folder / "Dangling.vst3");
    fs::create_symlink (folder / "gone.clap", folder / "Dangling.clap");
    ASSERT_EQ (::mkfifo ((folder / "Pipe.clap").c_str(), 0644), 0);

    const auto vst3 = PluginScanner::scanPaths ({ folder }, PluginFormat::Vst3).plugins;
    EXPECT_EQ (namesOf (vst3), (Names { "Bundle", "Linked" }));

    for (const auto& plugin : vst3)
    {
        EXPECT_EQ (plugin.format, PluginFormat::Vst3);
        EXPECT_EQ (plugin.version, "2.0");
        EXPECT_EQ (plugin.path.parent_path(), folder);
    }

    const auto clap = PluginScanner::scanPaths ({ folder }, PluginFormat::Clap).plugins;
    EXPECT_EQ (namesOf (clap), (Names { "Folder", "LinkedFile", "Single" }));

    for (const auto& plugin : clap)
    {
        EXPECT_EQ (plugin.format, PluginFormat::Clap);
        EXPECT_EQ (plugin.version, ""); // never read for CLAP, even with a moduleinfo.json
    }

    EXPECT_EQ (clap[1].path.native(), (folder / "LinkedFile.clap").native());
}

TEST (PluginScanner, SortsByPathBytesAcrossFoldersWithoutDeduplicating)
{
    zorvatest::TempDir dir;
    const auto system = dir / "usr/lib/vst3";
    const auto user = dir / "home/someone/.vst3";
    makeVst3Bundle (system, "Alpha.vst3", std::nullopt);
    makeVst3Bundle (system, "zeta.vst3", std::nullopt);
    makeVst3Bundle (system, "\xc3\x89lan.vst3", std::nullopt); // non-ASCII sorts after ASCII
    makeVst3Bundle (user, "Synth.vst3", std::nullopt);
    makeVst3Bundle (user, "Zulu.vst3", std::nullopt);

    const auto found = PluginScanner::scanPaths ({ system, user }, PluginFormat::Vst3).plugins;
    EXPECT_EQ (namesOf (found), (Names { "Synth", "Zulu", "Alpha", "zeta", "\xc3\x89lan" }));

    for (std::size_t i = 1; i < found.size(); ++i)
        EXPECT_LT (found[i - 1].path.native(), found[i].path.native());

    // The same folder twice, once under another spelling, reports everything twice.
    const auto twice = PluginScanner::scanPaths ({ user, user / "." / "" }, PluginFormat::Vst3).plugins;
    EXPECT_EQ (twice.size(), 4u);
}

TEST (PluginScanner, UnusableFoldersContributeNothing)
{
    zorvatest::TempDir dir;
    const auto folder = dir / "vst3";
    makeVst3Bundle (folder, "Synth.vst3", std::nullopt);
    zorvatest::writeFile (dir / "file.vst3", "not a folder");
    fs::create_directory_symlink (folder, dir / "linked-folder");
    fs::create_symlink (dir / "gone", dir / "dangling-folder");

    const auto scan = PluginScanner::scanPaths (
        { dir / "missing", dir / "file.vst3", dir / "dangling-folder", fs::path(), dir / "linked-folder" }, PluginFormat::Vst3);
    EXPECT_TRUE (scan.ok); // unusable folders are no failure
    EXPECT_EQ (scan.error, "");
    const auto& found = scan.plugins;
    ASSERT_EQ (found.size(), 1u);
    EXPECT_EQ (found[0].path.native(), (dir / "linked-folder" / "Synth.vst3").native());

    EXPECT_TRUE (PluginScanner::scanPaths ({}, PluginFormat::Clap).plugins.empty());
}

TEST (PluginScanner, FolderWithoutReadPermissionIsEmpty)
{
    // As root, permission bits do not stop reads; the scan then runs as an unprivileged child.
    zorvatest::TempDir dir;
    fs::permissions (dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const auto locked = dir / "locked";
    const auto open = dir / "open";
    makeVst3Bundle (locked, "Hidden.vst3", std::nullopt);
    makeVst3Bundle (open, "Synth.vst3", moduleInfoWithVersion ("1.0"));
    fs::permissions (locked, fs::perms::none);

    const auto status = zorvatest::runWithoutPrivileges ([&] {
        const auto found = PluginScanner::scanPaths ({ locked, open }, PluginFormat::Vst3).plugins;
        return found.size() == 1 && found[0].name == "Synth" && found[0].version == "1.0" ? 0 : 1;
    });
    EXPECT_EQ (status, 0);
}

class Vst3Version : public ::testing::Test
{
protected:
    std::string versionFor (const std::string& moduleInfo)
    {
        const auto bundle = makeVst3Bundle (dir.path(), "Case" + std::to_string (++count) + ".vst3", moduleInfo);
        return scan::readVst3Version (bundle);
    }

    zorvatest::TempDir dir;
    int count = 0;
};

TEST_F (Vst3Version, FirstQuotedVersionAnywhereWins)
{
    const std::map<std::string, std::string> cases = {
        { R"({"Version": "1.2.0"})", "1.2.0" },
        { R"({"Version":"1.2.0"})", "1.2.0" },
        { "{\"Version\" \t\r\n:\n\t \"4.5.6\"}", "4.5.6" },
        { R"({"Version": ""})", "" },
        { R"({"Version": "1.0 beta, build 7"})", "1.0 beta, build 7" },
        // Nested first: no JSON structure is looked at.
        { R"({"Classes": [{"Name": "Synth", "Version": "0.9.1"}], "Version": "1.0.0"})", "0.9.1" },
        // A value that is not a quoted string is passed over.
        { R"({"Version": 3, "Other": {"Version": "2.1"}})", "2.1" },
        { R"({"Version": null})", "" },
        // Exact key: case, spelling and quoting matter.
        { R"({"version": "1.0"})", "" },
        { R"({"SDKVersion": "3.7.8"})", "" },
        { R"({"Version": "unterminated)", "" },
        { R"({Version: "1.0"})", "" },
        { "", "" },
        { "not json at all \"Version\" : \"7.7\" trailing", "7.7" },
    };

    for (const auto& [moduleInfo, expected] : cases)
        EXPECT_EQ (versionFor (moduleInfo), expected) << moduleInfo;
}

TEST_F (Vst3Version, MissingOrUnusableFileGivesEmpty)
{
    const auto withoutFile = makeVst3Bundle (dir.path(), "Bare.vst3", std::nullopt);
    EXPECT_EQ (scan::readVst3Version (withoutFile), "");

    const auto withFolder = makeVst3Bundle (dir.path(), "Folder.vst3", std::nullopt);
    fs::create_directories (withFolder / "Contents/Resources/moduleinfo.json");
    EXPECT_EQ (scan::readVst3Version (withFolder), "");

    EXPECT_EQ (scan::readVst3Version (dir / "Missing.vst3"), "");

    // A link to a real file is followed.
    const auto linked = makeVst3Bundle (dir.path(), "Linked.vst3", std::nullopt);
    zorvatest::writeFile (dir / "real-moduleinfo.json", R"({"Version": "5.0"})");
    fs::create_directories (linked / "Contents/Resources");
    fs::create_symlink (dir / "real-moduleinfo.json", linked / "Contents/Resources/moduleinfo.json");
    EXPECT_EQ (scan::readVst3Version (linked), "5.0");
}

TEST_F (Vst3Version, OverlongEntryIsPassedOverInsteadOfExhaustingTheStack)
{
    // std::regex recurses once per matched character; an entry this long used to crash.
    const std::string hugeValue (200000, 'x');
    const std::string hugeSpace (200000, ' ');

    EXPECT_EQ (versionFor (R"({"Version": ")" + hugeValue + R"("})"), "");
    EXPECT_EQ (versionFor ("{\"Version\"" + hugeSpace + ": \"1.0\"}"), "");
    EXPECT_EQ (versionFor (R"({"Version": ")" + hugeValue + R"(", "Inner": {"Version": "2.0"}})"), "2.0");

    // Long text around a normal entry is fine.
    EXPECT_EQ (versionFor (std::string (300000, ' ') + R"({"Version": "3.0"})" + hugeValue), "3.0");
    EXPECT_EQ (versionFor (R"({"Version": ")" + std::string (900, '9') + R"("})"), std::string (900, '9'));
}

TEST_F (Vst3Version, RealModuleInfoFiles)
{
    const auto data = fs::path (ZORVAMANAGER_SOURCE_DIR) / ".." / "shared" / "public-test-data" / "moduleinfo";

    if (! fs::exists (data / "MANIFEST.tsv"))
        GTEST_SKIP() << "shared test data not present";

    std::ifstream manifest (data / "MANIFEST.tsv");
    std::string line;
    int checked = 0;

    while (std::getline (manifest, line))
    {
        if (line.empty() || line[0] == '#')
            continue;

        const auto tab = line.find ('\t');
        const auto secondTab = line.find ('\t', tab + 1);
        ASSERT_NE (tab, std::string::npos);
        const auto file = line.substr (0, tab);
        const auto expected = line.substr (tab + 1, secondTab - tab - 1);

        const auto bundle = makeVst3Bundle (dir.path(), fs::path (file).stem().string() + ".vst3", zorvatest::readFile (data / file));
        EXPECT_EQ (scan::readVst3Version (bundle), expected) << file;
        ++checked;
    }

    EXPECT_GE (checked, 3);
}

} // namespace
