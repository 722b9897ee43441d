#include "cli/CommandLine.h"

#include <map>
#include <optional>

namespace zorvaplugins::zorvamanager::cli
{

namespace
{

const std::map<std::string, CommandKind>& commandNames()
{
    static const std::map<std::string, CommandKind> names {
        { "list", CommandKind::list },     { "install", CommandKind::install }, { "update", CommandKind::update },
        { "remove", CommandKind::remove }, { "scan", CommandKind::scan },       { "help", CommandKind::help },
    };
    return names;
}

bool takesNames (CommandKind kind)
{
    return kind == CommandKind::install || kind == CommandKind::update || kind == CommandKind::remove;
}

CommandLineResult failure (std::string error)
{
    CommandLineResult result;
    result.error = std::move (error);
    return result;
}

std::optional<int> parseJobs (const std::string& text)
{
    if (text.size() != 1 || text[0] < '1' || text[0] > '4')
        return std::nullopt;

    return text[0] - '0';
}

std::filesystem::path absoluteFolder (const std::string& text)
{
    std::error_code error;
    auto folder = std::filesystem::absolute (text, error);
    return error ? std::filesystem::path (text) : folder.lexically_normal();
}

} // namespace

std::string usageText()
{
    return "usage: ZorvaManager                      open the window\n"
           "       ZorvaManager COMMAND [OPTIONS]\n"
           "\n"
           "commands:\n"
           "  list [--installed | --updates | --free] [--search TEXT] [--json]\n"
           "                          the maker's products, with what is installed\n"
           "  install NAME... | --all  install products (--all: everything not installed\n"
           "                          or with an update)\n"
           "  update [NAME... | --all] update installed products that have an update\n"
           "                          (no name: all of them)\n"
           "  remove NAME... | --all   remove installed products\n"
           "  scan [--json]            the installed plug-ins found\n"
           "\n"
           "options:\n"
           "  --vst3-only, --clap-only only this plug-in format\n"
           "  --vst3-dir DIR, --clap-dir DIR\n"
           "                          install folders (default: the folders the window uses)\n"
           "  --jobs N                 products worked on at once, 1 to 4 (default 4)\n"
           "  --help, --version\n"
           "\n"
           "NAME is a product's slug or name, in any case.\n"
           "exit status: 0 done, 1 a product failed, 2 usage error, 3 catalogue not loaded,\n"
           "130 interrupted.\n";
}

CommandLineResult parseCommandLine (const std::vector<std::string>& arguments)
{
    CommandLineResult result;
    auto& command = result.command;

    for (const auto& argument : arguments)
    {
        if (argument == "--")
            break;

        if (argument == "--help" || argument == "-h")
        {
            command = {};
            command.kind = CommandKind::help;
            result.ok = true;
            return result;
        }

        if (argument == "--version")
        {
            command = {};
            command.kind = CommandKind::version;
            result.ok = true;
            return result;
        }
    }

    if (arguments.empty())
        return failure ("no command given (try --help)");

    const auto found = commandNames().find (arguments[0]);

    if (found == commandNames().end())
        return failure ("unknown command: " + arguments[0] + " (try --help)");

    command.kind = found->second;

    if (command.kind == CommandKind::help)
    {
        result.ok = true;
        return result;
    }

    bool optionsEnded = false;
    bool viewGiven = false;
    bool vst3Only = false;
    bool clapOnly = false;

    for (std::size_t i = 1; i < arguments.size(); ++i)
    {
        const auto& argument = arguments[i];

        auto value = [&] (std::string& out) {
            if (i + 1 >= arguments.size())
                return false;

            out = arguments[++i];
            return true;
        };

        if (optionsEnded || argument.empty() || argument[0] != '-')
        {
            if (! takesNames (command.kind))
                return failure ("unexpected argument: " + argument);

            command.names.push_back (argument);
            continue;
        }

        std::string text;

        if (argument == "--")
            optionsEnded = true;
        else if (argument == "--all" && takesNames (command.kind))
            command.all = true;
        else if (command.kind == CommandKind::list && (argument == "--installed" || argument == "--updates" || argument == "--free"))
        {
            if (viewGiven)
                return failure ("--installed, --updates and --free exclude each other");

            viewGiven = true;
            command.view = argument == "--installed" ? ListView::installed : argument == "--updates" ? ListView::updates : ListView::free;
        }
        else if (command.kind == CommandKind::list && argument == "--search")
        {
            if (! value (command.searchText))
                return failure ("--search needs a text");
        }
        else if ((command.kind == CommandKind::list || command.kind == CommandKind::scan) && argument == "--json")
            command.json = true;
        else if (argument == "--vst3-only")
            vst3Only = true;
        else if (argument == "--clap-only")
            clapOnly = true;
        else if (argument == "--vst3-dir" || argument == "--clap-dir")
        {
            if (! value (text) || text.empty())
                return failure (argument + " needs a folder");

            (argument == "--vst3-dir" ? command.vst3Folder : command.clapFolder) = absoluteFolder (text);
        }
        else if (argument == "--jobs")
        {
            if (! value (text))
                return failure ("--jobs needs a number from 1 to 4");

            const auto jobs = parseJobs (text);

            if (! jobs)
                return failure ("--jobs takes a number from 1 to 4: " + text);

            command.jobs = *jobs;
        }
        else
            return failure ("unknown option for " + arguments[0] + ": " + argument);
    }

    if (vst3Only && clapOnly)
        return failure ("--vst3-only and --clap-only exclude each other");

    command.vst3 = ! clapOnly;
    command.clap = ! vst3Only;

    if (takesNames (command.kind))
    {
        if (command.all && ! command.names.empty())
            return failure ("give product names or --all, not both");

        if (command.kind == CommandKind::update && command.names.empty())
            command.all = true;

        if (! command.all && command.names.empty())
            return failure (arguments[0] + " needs product names or --all");
    }

    result.ok = true;
    return result;
}

} // namespace zorvaplugins::zorvamanager::cli
