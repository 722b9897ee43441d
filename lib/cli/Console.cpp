#include "cli/Console.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zorvaplugins::zorvamanager::cli
{

namespace
{

// The step of an activity text: "Downloading... 42%" is the step "Downloading...".
std::string stepOf (const std::string& text)
{
    const auto dots = text.find ("...");
    return dots == std::string::npos ? text : text.substr (0, dots + 3);
}

std::size_t terminalWidth (std::FILE* stream)
{
    winsize size {};

    if (ioctl (fileno (stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;

    return 80;
}

// Cuts a UTF-8 line to at most `columns` characters, never inside a character.
std::string fitted (const std::string& line, std::size_t columns)
{
    std::size_t characters = 0;

    for (std::size_t i = 0; i < line.size(); ++i)
    {
        if ((static_cast<unsigned char> (line[i]) & 0xC0) == 0x80)
            continue;

        if (++characters > columns)
            return line.substr (0, i);
    }

    return line;
}

} // namespace

Console::Console (std::FILE* outStream, std::FILE* errStream, bool liveLines)
    : out (outStream)
    , err (errStream)
    , live (liveLines)
{}

bool Console::errorIsTerminal()
{
    const char* term = std::getenv ("TERM");
    return isatty (STDERR_FILENO) == 1 && term != nullptr && std::strcmp (term, "dumb") != 0 && *term != '\0';
}

void Console::emit (std::FILE* stream, const std::string& line)
{
    // Standard output first: on a shared terminal its lines must appear before the live block.
    std::fflush (out);
    std::fputs (line.c_str(), stream);
    std::fputc ('\n', stream);
    std::fflush (stream);
}

void Console::eraseLive()
{
    if (! live || drawnLines == 0)
        return;

    std::string erase;

    for (std::size_t i = 0; i < drawnLines; ++i)
        erase += "\x1b[1A\x1b[2K";

    std::fputs (erase.c_str(), err);
    drawnLines = 0;
}

void Console::drawLive()
{
    if (! live)
        return;

    const auto width = terminalWidth (err);
    std::string block;

    for (const auto& [product, text] : running)
        block += fitted (product + ": " + text, width > 1 ? width - 1 : width) + "\n";

    std::fputs (block.c_str(), err);
    std::fflush (err);
    drawnLines = running.size();
}

void Console::info (const std::string& line)
{
    std::lock_guard<std::mutex> guard (lock);
    eraseLive();
    emit (out, line);
    drawLive();
}

void Console::problem (const std::string& line)
{
    std::lock_guard<std::mutex> guard (lock);
    eraseLive();
    emit (err, line);
    drawLive();
}

void Console::write (const std::string& text)
{
    std::lock_guard<std::mutex> guard (lock);
    eraseLive();
    std::fputs (text.c_str(), out);
    std::fflush (out);
    drawLive();
}

void Console::activity (const std::string& product, const std::string& text)
{
    std::lock_guard<std::mutex> guard (lock);
    auto entry = std::find_if (running.begin(), running.end(), [&] (const auto& item) { return item.first == product; });
    const bool newStep = entry == running.end() || stepOf (entry->second) != stepOf (text);

    if (entry == running.end())
        entry = running.insert (running.end(), { product, text });
    else
        entry->second = text;

    if (live)
    {
        eraseLive();
        drawLive();
    }
    else if (newStep)
    {
        emit (out, product + ": " + stepOf (text));
    }
}

void Console::finished (const std::string& product)
{
    std::lock_guard<std::mutex> guard (lock);
    eraseLive();
    running.erase (std::remove_if (running.begin(), running.end(), [&] (const auto& item) { return item.first == product; }),
                   running.end());
    drawLive();
}

} // namespace zorvaplugins::zorvamanager::cli
