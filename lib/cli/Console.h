#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zorvaplugins::zorvamanager::cli
{

// Where a command's messages go. Log lines go to standard output, warnings and errors to
// standard error. The activity of each running job ("Downloading... 42%", "Verifying...")
// is either one line per job that is redrawn in place at the bottom of the terminal (live
// mode: standard error is a terminal), or a plain line "NAME: STEP" each time the job reaches
// a new step (the percentage left out). Any thread; the calls are serialised.
class Console
{
public:
    Console (std::FILE* out, std::FILE* err, bool live);

    // True when standard error is a terminal that understands cursor movement.
    static bool errorIsTerminal();

    void info (const std::string& line);
    void problem (const std::string& line);
    void activity (const std::string& product, const std::string& text);
    void finished (const std::string& product);

    // Text for standard output as it is (tables, JSON).
    void write (const std::string& text);

private:
    void eraseLive();
    void drawLive();
    void emit (std::FILE* stream, const std::string& line);

    std::FILE* out;
    std::FILE* err;
    const bool live;
    std::mutex lock;
    std::vector<std::pair<std::string, std::string>> running; // product, activity; in start order
    std::size_t drawnLines = 0;
};

} // namespace zorvaplugins::zorvamanager::cli
