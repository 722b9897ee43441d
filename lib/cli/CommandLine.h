#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::cli
{

// The program's exit statuses when it runs a command.
enum ExitStatus
{
    exitSuccess = 0,         // everything asked for succeeded
    exitProductFailed = 1,   // at least one product failed
    exitUsage = 2,           // the arguments were wrong (also a name that matches no product, or several)
    exitCatalogueFailed = 3, // the catalogue could not be loaded
    exitInterrupted = 130    // Ctrl+C (or SIGTERM): 128 + SIGINT, as shells report it
};

enum class CommandKind
{
    list,
    install,
    update,
    remove,
    scan,
    help,
    version
};

// Which rows `list` shows besides the search; the window's "My Products", "My Updates" and
// "Free" views.
enum class ListView
{
    all,
    installed,
    updates,
    free
};

// One command line, parsed.
struct Command
{
    CommandKind kind = CommandKind::help;
    std::vector<std::string> names; // install, update, remove: as typed
    bool all = false;               // install, update, remove: --all
    ListView view = ListView::all;
    std::string searchText;
    bool json = false;
    bool vst3 = true;
    bool clap = true;
    std::filesystem::path vst3Folder; // --vst3-dir, made absolute; empty: the remembered folder
    std::filesystem::path clapFolder; // --clap-dir, likewise
    int jobs = 4;                     // 1 to 4
};

struct CommandLineResult
{
    bool ok = false;
    std::string error; // one line, for "ZorvaManager: " + error
    Command command;
};

// Parses the arguments after the program's name. The first argument is the command; options
// may stand anywhere after it, "--" ends them. "--help" and "--version" win over everything
// else. Relative folders are made absolute against the working directory. Pure but for that;
// any thread.
CommandLineResult parseCommandLine (const std::vector<std::string>& arguments);

// The text of --help, ending in a line feed.
std::string usageText();

} // namespace zorvaplugins::zorvamanager::cli
