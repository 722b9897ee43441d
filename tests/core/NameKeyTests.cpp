#include "core/NameKey.h"
#include "core/TemporaryRoot.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace zorvaplugins::zorvamanager::core;
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
        { std::string ("A\0B", 3), "ab" },
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
        EXPECT_EQ (root.filename().string().rfind (temporaryRootPrefix, 0), 0u) << root;
    }
}

TEST (MakeTemporaryRoot, ThrowsWhenTheFolderCannotBeCreated)
{
    zorvatest::TempDir tmp;
    zorvatest::writeFile (tmp / "file", "not a folder");
    zorvatest::ScopedEnv tmpdir ("TMPDIR", (tmp / "file").string());

    EXPECT_THROW (makeTemporaryRoot(), fs::filesystem_error);
}
