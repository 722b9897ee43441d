#include "install/InstallFolders.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager::install;
namespace fs = std::filesystem;

class CanWriteDirectory : public ::testing::Test
{
protected:
    zorvatest::TempDir temp;
};

TEST_F (CanWriteDirectory, CreatesTheFolderAndLeavesNoProbe)
{
    const auto folder = temp / "a/b/.vst3";
    const auto check = canWriteDirectory (folder);

    ASSERT_TRUE (check.ok) << check.error;
    EXPECT_TRUE (fs::is_directory (folder));
    EXPECT_TRUE (fs::is_empty (folder));
    EXPECT_TRUE (check.error.empty());
}

TEST_F (CanWriteDirectory, ReportsWhyAFolderCannotBeUsed)
{
    zorvatest::writeFile (temp / "file", "x");

    const auto underAFile = canWriteDirectory (temp / "file/sub");
    EXPECT_FALSE (underAFile.ok);
    EXPECT_EQ (underAFile.error, "cannot create install folder: " + (temp / "file/sub").string());

    const auto none = canWriteDirectory ({});
    EXPECT_FALSE (none.ok);
    EXPECT_EQ (none.error, "cannot create install folder: ");

    // A folder that exists but that the user may not write to: it stays as it is.
    const auto locked = temp / "locked";
    fs::create_directories (locked);
    fs::permissions (temp.path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions (locked, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);

    const auto status = zorvatest::runWithoutPrivileges ([&locked] {
        const auto check = canWriteDirectory (locked);
        return ! check.ok && check.error == "install folder is not writable: " + locked.string() ? 0 : 1;
    });

    EXPECT_EQ (status, 0);
    EXPECT_TRUE (fs::is_empty (locked));
}

TEST_F (CanWriteDirectory, NeverWritesThroughALinkInThePlaceOfTheProbe)
{
    const auto folder = temp / "plugins";
    const auto victim = temp / "victim";
    zorvatest::writeFile (victim, "precious");
    fs::create_directories (folder);
    fs::create_symlink (victim, folder / ".zorvamanager-write-test");

    const auto check = canWriteDirectory (folder);
    EXPECT_FALSE (check.ok);
    EXPECT_EQ (check.error, "install folder is not writable: " + folder.string());
    EXPECT_EQ (zorvatest::readFile (victim), "precious");
}

class FolderSettings : public ::testing::Test
{
protected:
    fs::path file() const { return temp / "config/ZorvaPlugins/ZorvaManager/settings.json"; }

    zorvatest::TempDir temp;
    zorvatest::ScopedEnv home { "HOME", (temp / "home").string() };
    zorvatest::ScopedEnv xdg { "XDG_CONFIG_HOME", (temp / "config").string() };
};

TEST_F (FolderSettings, DefaultsUntilSavedThenTheChoiceSurvives)
{
    const auto defaults = loadInstallFolderChoice();
    EXPECT_EQ (defaults.vst3, temp / "home/.vst3");
    EXPECT_EQ (defaults.clap, temp / "home/.clap");
    EXPECT_FALSE (fs::exists (file()));

    const auto saved = saveInstallFolderChoice ({ "/opt/my vst3", "/opt/clap \xc3\xa9" });
    ASSERT_TRUE (saved.ok) << saved.error;
    EXPECT_EQ (zorvatest::readFile (file()), "{\n  \"clapFolder\": \"/opt/clap \xc3\xa9\",\n  \"vst3Folder\": \"/opt/my vst3\"\n}");

    const auto loaded = loadInstallFolderChoice();
    EXPECT_EQ (loaded.vst3, fs::path ("/opt/my vst3"));
    EXPECT_EQ (loaded.clap, fs::path ("/opt/clap \xc3\xa9"));
}

TEST_F (FolderSettings, ADamagedFileGivesTheDefaultsForWhatItCannotSay)
{
    const auto vst3Default = temp / "home/.vst3";
    const auto clapDefault = temp / "home/.clap";

    const std::tuple<std::string, fs::path, fs::path> cases[] = {
        { "not json", vst3Default, clapDefault },
        { "[\"/opt/a\"]", vst3Default, clapDefault },
        { R"({"vst3Folder": "/opt/v"})", "/opt/v", clapDefault },
        { R"({"vst3Folder": 3, "clapFolder": "/opt/c"})", vst3Default, "/opt/c" },
        { R"({"vst3Folder": "", "clapFolder": "relative/c"})", vst3Default, clapDefault },
        { std::string (2u << 20, ' ') + R"({"vst3Folder": "/opt/v"})", vst3Default, clapDefault },
    };

    for (const auto& [text, vst3, clap] : cases)
    {
        zorvatest::writeFile (file(), text);
        const auto loaded = loadInstallFolderChoice();
        EXPECT_EQ (loaded.vst3, vst3) << text.substr (0, 60);
        EXPECT_EQ (loaded.clap, clap) << text.substr (0, 60);
    }
}

} // namespace
