#include "AppHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using zorvaplugins::zorvamanager::install::PluginFormat;
namespace fs = std::filesystem;

TEST (NormaliseName, KeepsLowerCaseAsciiLettersAndDigitsOnly)
{
    const std::pair<std::string, std::string> cases[] = {
        { "Echo Delay 2", "echodelay2" },
        { "R\xc3\xa9-Verb", "rverb" },
        { "echo-delay", "echodelay" },
        { "ECHO_delay", "echodelay" },
        { "", "" },
        { "--- \xe2\x80\x94 !!!", "" },
        { "Tape 99%", "tape99" },
    };

    for (const auto& [text, key] : cases)
        EXPECT_EQ (normaliseName (text), key) << text;
}

TEST (MakeTemporaryRoot, CreatesAFreshPrefixedFolderUnderTheTemporaryDirectory)
{
    zorvatest::TempDir tmp;
    zorvatest::ScopedEnv tmpdir ("TMPDIR", tmp.path().string());

    const auto first = makeTemporaryRoot();
    const auto second = makeTemporaryRoot();

    EXPECT_NE (first, second);

    for (const auto& root : { first, second })
    {
        EXPECT_TRUE (fs::is_directory (root));
        EXPECT_EQ (root.parent_path(), tmp.path());
        EXPECT_EQ (root.filename().string().rfind ("zorvamanager-ui-", 0), 0u) << root;
    }
}

TEST (MakeTemporaryRoot, ThrowsWhenTheFolderCannotBeCreated)
{
    zorvatest::TempDir tmp;
    zorvatest::writeFile (tmp / "file", "not a folder");
    zorvatest::ScopedEnv tmpdir ("TMPDIR", (tmp / "file").string());

    EXPECT_THROW (makeTemporaryRoot(), fs::filesystem_error);
}

TEST (ScanPathsFor, PutsTheChosenFolderFirstAndDropsDuplicates)
{
    zorvatest::ScopedEnv home ("HOME", "/home/musician");

    EXPECT_EQ (scanPathsFor (PluginFormat::Vst3, "/home/musician/.vst3"),
               (std::vector<fs::path> { "/home/musician/.vst3", "/usr/local/lib/vst3", "/usr/lib/vst3" }));
    EXPECT_EQ (scanPathsFor (PluginFormat::Vst3, "/home/musician/./.vst3"),
               (std::vector<fs::path> { "/home/musician/.vst3", "/usr/local/lib/vst3", "/usr/lib/vst3" }));
    EXPECT_EQ (scanPathsFor (PluginFormat::Clap, "/opt/plugins/clap"),
               (std::vector<fs::path> { "/opt/plugins/clap", "/home/musician/.clap", "/usr/local/lib/clap", "/usr/lib/clap" }));
    EXPECT_EQ (scanPathsFor (PluginFormat::Clap, {}),
               (std::vector<fs::path> { "/home/musician/.clap", "/usr/local/lib/clap", "/usr/lib/clap" }));
}

TEST (FirstDefaultPath, IsTheHomeFolderOfTheFormat)
{
    zorvatest::ScopedEnv home ("HOME", "/home/musician");

    EXPECT_EQ (firstDefaultPath (PluginFormat::Vst3), fs::path ("/home/musician/.vst3"));
    EXPECT_EQ (firstDefaultPath (PluginFormat::Clap), fs::path ("/home/musician/.clap"));
}
