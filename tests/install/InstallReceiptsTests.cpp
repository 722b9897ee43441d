#include "install/InstallReceipts.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <optional>

namespace
{

using namespace zorvaplugins::zorvamanager::install;
namespace fs = std::filesystem;
using zorvatest::readFile;
using zorvatest::writeFile;

// Every test gets its own configuration folder through XDG_CONFIG_HOME.
class Receipts : public ::testing::Test
{
protected:
    fs::path file() const { return config / "ZorvaPlugins/ZorvaManager/installed.json"; }

    // The names of everything in the receipts folder, to catch temporaries left behind.
    std::vector<std::string> folderEntries() const
    {
        std::vector<std::string> names;

        for (const auto& entry : fs::directory_iterator (file().parent_path()))
            names.push_back (entry.path().filename().string());

        std::sort (names.begin(), names.end());
        return names;
    }

    zorvatest::TempDir temp;
    fs::path config = temp / "config";
    zorvatest::ScopedEnv xdg { "XDG_CONFIG_HOME", config.string() };
};

TEST (ReceiptPath, FollowsTheEnvironment)
{
    zorvatest::TempDir tmp;
    zorvatest::ScopedEnv tmpdir ("TMPDIR", tmp.path().string());

    struct Case
    {
        std::optional<std::string> xdgConfigHome, home;
        fs::path expected;
    };

    const Case cases[] = {
        { "/x/config", "/home/m", "/x/config/ZorvaPlugins/ZorvaManager/installed.json" },
        { std::nullopt, "/home/m", "/home/m/.config/ZorvaPlugins/ZorvaManager/installed.json" },
        { std::nullopt, std::nullopt, tmp / "ZorvaManager-installed.json" },
        // Empty or relative values would put the file wherever the program was started.
        { "", "/home/m", "/home/m/.config/ZorvaPlugins/ZorvaManager/installed.json" },
        { "relative/config", "/home/m", "/home/m/.config/ZorvaPlugins/ZorvaManager/installed.json" },
        { std::nullopt, "", tmp / "ZorvaManager-installed.json" },
    };

    for (const auto& c : cases)
    {
        zorvatest::ScopedEnv xdg ("XDG_CONFIG_HOME", c.xdgConfigHome);
        zorvatest::ScopedEnv home ("HOME", c.home);
        EXPECT_EQ (receiptPath(), c.expected) << c.xdgConfigHome.value_or ("(unset)") << " " << c.home.value_or ("(unset)");
    }
}

TEST_F (Receipts, SaveCreatesTheFolderAndWritesTheExactFormat)
{
    EXPECT_TRUE (loadReceipts().empty());

    saveReceipt ("Foo Bar", "foo-bar", "1.2.0");

    // Name and slug normalise alike: one member.
    EXPECT_EQ (readFile (file()), "{\n  \"foobar\": {\n    \"name\": \"Foo Bar\",\n    \"version\": \"1.2.0\"\n  }\n}");
    EXPECT_EQ (loadReceipts(), (InstallReceipts { { "foobar", { "Foo Bar", "1.2.0" } } }));
}

TEST_F (Receipts, KeysAreSortedByteWiseAndTextStaysUnescapedUtf8)
{
    saveReceipt ("R\xc3\xa9-Verb", "room-verb", "2.0.0-beta");
    saveReceipt ("Amp", "", "1.0");

    EXPECT_EQ (readFile (file()),
               "{\n"
               "  \"amp\": {\n    \"name\": \"Amp\",\n    \"version\": \"1.0\"\n  },\n"
               "  \"roomverb\": {\n    \"name\": \"R\xc3\xa9-Verb\",\n    \"version\": \"2.0.0-beta\"\n  },\n"
               "  \"rverb\": {\n    \"name\": \"R\xc3\xa9-Verb\",\n    \"version\": \"2.0.0-beta\"\n  }\n"
               "}");
}

TEST_F (Receipts, SaveReplacesAndRemoveForgetsBothKeys)
{
    saveReceipt ("Tape Echo", "tape-echo-pro", "1.0.0");
    saveReceipt ("Tape Echo", "tape-echo-pro", "1.1.0");
    saveReceipt ("Solo", "", "3.0");

    EXPECT_EQ (loadReceipts(),
               (InstallReceipts {
                   { "solo", { "Solo", "3.0" } }, { "tapeecho", { "Tape Echo", "1.1.0" } }, { "tapeechopro", { "Tape Echo", "1.1.0" } } }));

    removeReceipt ("Tape Echo", "tape-echo-pro");
    EXPECT_EQ (loadReceipts(), (InstallReceipts { { "solo", { "Solo", "3.0" } } }));

    removeReceipt ("Nobody", "nobody"); // absent keys are fine; the file is written anyway
    removeReceipt ("Solo", "");
    EXPECT_EQ (readFile (file()), "{}");
    EXPECT_EQ (folderEntries(), (std::vector<std::string> { "installed.json", "installed.json.lock" }))
        << "the lock file stays, so that waiters never lock a removed one";
}

TEST (ParseReceipts, IsForgivingInTheWaysItPromises)
{
    const std::pair<std::string, InstallReceipts> cases[] = {
        { "", {} },
        { "null", {} },
        { "[]", {} },
        { "[{\"name\": \"A\", \"version\": \"1\"}]", {} },
        { "{ broken", {} },
        { "{\"a\": 3, \"b\": {\"name\": \"B\", \"version\": \"1.0\"}}", { { "b", { "B", "1.0" } } } },
        { "{\"a\": {\"name\": \"A\"}, \"b\": {}}", { { "a", { "A", "" } }, { "b", { "", "" } } } },
        { "{\"a\": {\"name\": \"A\", \"version\": 2}, \"b\": {\"name\": \"B\", \"version\": \"1\"}}", {} },
        { "{\"a\": {\"name\": null, \"version\": \"1\"}}", {} },
        { "{\"a\": {\"name\": \"A\", \"version\": \"1\", \"extra\": [1, 2]}}", { { "a", { "A", "1" } } } },
        { std::string ("{\"a\": {\"name\": \"A\"}}\0", 21), {} },
    };

    for (const auto& [text, expected] : cases)
        EXPECT_EQ (parseReceipts (text), expected) << text;
}

TEST_F (Receipts, AFileWithAWrongTypeReadsAsEmptyAndTheNextSaveKeepsOnlyTheNewReceipt)
{
    writeFile (file(), R"({"old": {"name": "Old", "version": 2}, "other": {"name": "Other", "version": "1"}})");
    EXPECT_TRUE (loadReceipts().empty());

    saveReceipt ("New", "", "1.0");
    EXPECT_EQ (loadReceipts(), (InstallReceipts { { "new", { "New", "1.0" } } }));
}

TEST_F (Receipts, SomethingOtherThanASmallRegularFileReadsAsEmpty)
{
    fs::create_directories (file().parent_path());

    // A FIFO would block a plain read for ever.
    ASSERT_EQ (::mkfifo (file().c_str(), 0644), 0);
    EXPECT_TRUE (loadReceipts().empty());
    fs::remove (file());

    fs::create_directory (file());
    EXPECT_TRUE (loadReceipts().empty());
    fs::remove (file());

    writeFile (file(), "{\"a\": {\"name\": \"A\", \"version\": \"1\"}, \"pad\": \"" + std::string (17u << 20, 'x') + "\"}");
    EXPECT_TRUE (loadReceipts().empty());
}

TEST_F (Receipts, AFailedWriteLeavesTheOldFileWhole)
{
    saveReceipt ("Keep Me", "keep-me", "1.0.0");
    const auto before = readFile (file());

    // A file size limit below the new content: the write fails part-way, as on a full disk.
    const auto status = zorvatest::runInChild ([] {
        ::signal (SIGXFSZ, SIG_IGN);
        const rlimit limit { 40, 40 };
        ::setrlimit (RLIMIT_FSIZE, &limit);

        InstallReceipts many;

        for (int i = 0; i < 50; ++i)
            many["product" + std::to_string (i)] = { "Product " + std::to_string (i), "1.0.0" };

        const auto written = writeReceipts (receiptPath(), many);
        return written.ok || written.error.find ("write failed") == std::string::npos ? 1 : 0;
    });

    EXPECT_EQ (status, 0);
    EXPECT_EQ (readFile (file()), before);
    EXPECT_EQ (folderEntries(), (std::vector<std::string> { "installed.json", "installed.json.lock" }))
        << "the lock file stays, so that waiters never lock a removed one";

    // A folder the program may not write to: the save reports it and changes nothing.
    fs::permissions (temp.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions (file().parent_path(),
                     fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                         fs::perms::others_exec);
    fs::permissions (file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read | fs::perms::group_read);

    const auto unprivileged = zorvatest::runWithoutPrivileges ([] {
        if (loadReceipts().size() != 1)
            return 2;

        if (saveReceipt ("Another", "", "9.9").ok)
            return 3;

        return loadReceipts().size() == 1 ? 0 : 1;
    });

    EXPECT_EQ (unprivileged, 0);
    EXPECT_EQ (readFile (file()), before);
    EXPECT_EQ (folderEntries(), (std::vector<std::string> { "installed.json", "installed.json.lock" }))
        << "the lock file stays, so that waiters never lock a removed one";
}

TEST_F (Receipts, WritingReplacesALinkInsteadOfWritingThroughIt)
{
    const auto elsewhere = temp / "elsewhere.json";
    writeFile (elsewhere, "{}");
    fs::create_directories (file().parent_path());
    fs::create_symlink (elsewhere, file());

    saveReceipt ("Amp", "", "1.0");

    EXPECT_FALSE (fs::is_symlink (file()));
    EXPECT_EQ (readFile (elsewhere), "{}");
    EXPECT_EQ (loadReceipts().size(), 1u);
}

} // namespace
