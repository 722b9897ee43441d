#pragma once

#include "cli/CommandLine.h"
#include "cli/Console.h"

#include <atomic>
#include <string>

namespace zorvaplugins::zorvamanager::cli
{

// What a command runs against.
struct CommandContext
{
    std::string catalogueUrl;                  // the maker's release catalogue
    const std::atomic<bool>* cancel = nullptr; // raised by Ctrl+C
};

// Runs one parsed command (not help or version) with the window's rules: the same catalogue
// records, installed scan, receipts and rows; the same install and remove jobs, checks, log
// texts and receipts; the same remembered install folders unless the command names others.
// Up to `command.jobs` products are worked on at once; each job files or forgets its
// product's receipt under the receipts lock. When `cancel` is raised, no further product starts, running transfers stop
// within about a second and an installation already under way completes, so every bundle is
// whole and every receipt true; the result is then exitInterrupted. Returns the exit status.
// Blocking; the program's main thread.
int runCommand (const Command& command, const CommandContext& context, Console& console);

// The whole command-line program: parses the arguments after the program's name, prints help,
// the version or a usage error, catches Ctrl+C and SIGTERM as a cancel request and runs the
// command. Never touches a display. Returns the exit status. Main thread, once.
int runCommandLine (int argc, const char* const* argv, const std::string& version);

} // namespace zorvaplugins::zorvamanager::cli
