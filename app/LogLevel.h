#pragma once

#include <juce_core/juce_core.h>

// How serious a line of the log is; it picks the line's colour and its level word.
enum class LogLevel
{
    info,
    warn,
    error
};

// The level word the log shows: "INFO", "WARN" or "ERROR". Any thread.
inline juce::String logLevelText (LogLevel level)
{
    switch (level)
    {
        case LogLevel::warn:
            return "WARN";
        case LogLevel::error:
            return "ERROR";
        case LogLevel::info:
            break;
    }

    return "INFO";
}
