#pragma once

#include <juce_core/juce_core.h>

#include <string>

// The library speaks UTF-8 narrow strings; the window shows them as GUI strings. Any thread.
inline juce::String toGuiString (const std::string& text)
{
    return juce::String::fromUTF8 (text.data(), static_cast<int> (text.size()));
}
