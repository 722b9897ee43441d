#include "cli/CommandLine.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager::cli;

TEST (CliArguments, CommandsAndTheirOptions)
{
    struct Case
    {
        std::vector<std::string> arguments;
        CommandKind kind;
        std::vector<std::string> names;
        bool all, json, vst3, clap;
        ListView view;
        std::string search;
        int jobs;
    };

    const std::vector<Case> cases {
        { { "list" }, CommandKind::list, {}, false, false, true, true, ListView::all, "", 4 },
        { { "list", "--updates", "--search", "tape echo", "--json" },
          CommandKind::list,
          {},
          false,
          true,
          true,
          true,
          ListView::updates,
          "tape echo",
          4 },
        { { "list", "--search", "--json" }, CommandKind::list, {}, false, false, true, true, ListView::all, "--json", 4 },
        { { "install", "prism-eq", "--clap-only", "Tape Echo", "--jobs", "2" },
          CommandKind::install,
          { "prism-eq", "Tape Echo" },
          false,
          false,
          false,
          true,
          ListView::all,
          "",
          2 },
        { { "install", "--all", "--vst3-only" }, CommandKind::install, {}, true, false, true, false, ListView::all, "", 4 },
        // "--" ends the options: a product could be named like one.
        { { "remove", "--", "--all" }, CommandKind::remove, { "--all" }, false, false, true, true, ListView::all, "", 4 },
        // update without names updates everything that has an update.
        { { "update" }, CommandKind::update, {}, true, false, true, true, ListView::all, "", 4 },
        { { "update", "halo-chorus" }, CommandKind::update, { "halo-chorus" }, false, false, true, true, ListView::all, "", 4 },
        { { "scan", "--json", "--clap-only" }, CommandKind::scan, {}, false, true, false, true, ListView::all, "", 4 },
        { { "list", "--version", "--bogus" }, CommandKind::version, {}, false, false, true, true, ListView::all, "", 4 },
        { { "bogus", "--help" }, CommandKind::help, {}, false, false, true, true, ListView::all, "", 4 },
        { { "help" }, CommandKind::help, {}, false, false, true, true, ListView::all, "", 4 },
        { { "help", "install" }, CommandKind::help, {}, false, false, true, true, ListView::all, "", 4 },
    };

    for (const auto& c : cases)
    {
        const auto parsed = parseCommandLine (c.arguments);
        SCOPED_TRACE (c.arguments.front() + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
        ASSERT_TRUE (parsed.ok) << parsed.error;
        const auto& command = parsed.command;
        EXPECT_EQ (command.kind, c.kind);
        EXPECT_EQ (command.names, c.names);
        EXPECT_EQ (command.all, c.all);
        EXPECT_EQ (command.json, c.json);
        EXPECT_EQ (command.vst3, c.vst3);
        EXPECT_EQ (command.clap, c.clap);
        EXPECT_EQ (command.view, c.view);
        EXPECT_EQ (command.searchText, c.search);
        EXPECT_EQ (command.jobs, c.jobs);
    }
}

TEST (CliArguments, UsageErrorsSayWhatIsWrong)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases {
        { {}, "no command given (try --help)" },
        { { "instal", "x" }, "unknown command: instal (try --help)" },
        { { "install" }, "install needs product names or --all" },
        { { "remove", "a", "--all" }, "give product names or --all, not both" },
        { { "list", "--free", "--installed" }, "--installed, --updates and --free exclude each other" },
        { { "list", "--search" }, "--search needs a text" },
        { { "list", "prism" }, "unexpected argument: prism" },
        { { "scan", "--all" }, "unknown option for scan: --all" },
        { { "install", "a", "--json" }, "unknown option for install: --json" },
        { { "install", "a", "--vst3-only", "--clap-only" }, "--vst3-only and --clap-only exclude each other" },
        { { "install", "a", "--jobs" }, "--jobs needs a number from 1 to 4" },
        { { "install", "a", "--jobs", "5" }, "--jobs takes a number from 1 to 4: 5" },
        { { "install", "a", "--jobs", "01" }, "--jobs takes a number from 1 to 4: 01" },
        { { "install", "a", "--jobs", "-1" }, "--jobs takes a number from 1 to 4: -1" },
        { { "install", "a", "--clap-dir", "" }, "--clap-dir needs a folder" },
        { { "install", "a", "--vst3-dir" }, "--vst3-dir needs a folder" },
    };

    for (const auto& [arguments, error] : cases)
    {
        const auto parsed = parseCommandLine (arguments);
        EXPECT_FALSE (parsed.ok) << error;
        EXPECT_EQ (parsed.error, error);
    }
}

TEST (CliArguments, FoldersAreMadeAbsolute)
{
    const auto parsed = parseCommandLine ({ "install", "a", "--vst3-dir", "studio/./vst3", "--clap-dir", "/opt/clap/../clap" });
    ASSERT_TRUE (parsed.ok);
    EXPECT_EQ (parsed.command.vst3Folder, (std::filesystem::current_path() / "studio/vst3").lexically_normal());
    EXPECT_EQ (parsed.command.clapFolder, std::filesystem::path ("/opt/clap"));
}

} // namespace
