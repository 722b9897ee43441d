#pragma once

#include <juce_core/juce_core.h>

#include <string>

// The library speaks UTF-8 narrow strings; the window shows them as GUI strings. Any thread.
inline juce::String toGuiString (const std::string& text)
{
    return juce::String::fromUTF8 (text.data(), static_cast<int> (text.size()));
}

// Every text the window lays out is cut to a bounded length first: laying out a text costs
// memory and time for each of its characters, and a catalogue or an error may hold megabytes
// in one text. A one-line text is cut far beyond what its widest box shows; a message (a log
// line, a message box, a failure) keeps enough to read.
namespace shownText
{
constexpr int maxLineCharacters = 300;
constexpr int maxMessageCharacters = 2000;

// The text cut to `maxCharacters`, with an ellipsis where it was cut. Any thread.
inline juce::String cut (const juce::String& text, int maxCharacters)
{
    // Walks at most maxCharacters + 1 characters, whatever the text's length.
    auto end = text.getCharPointer();

    for (int i = 0; i <= maxCharacters; ++i, ++end)
        if (end.isEmpty())
            return text;

    auto start = text.getCharPointer();
    auto last = start;
    last += maxCharacters - 1;
    return juce::String (start, last) + juce::String::charToString (0x2026);
}

// A library text cut before it is converted, so that a huge one is never converted whole: four
// bytes are the most one character takes in UTF-8, and the cut lands on a character's start.
inline juce::String cut (const std::string& text, int maxCharacters)
{
    auto bytes = juce::jmin (text.size(), static_cast<std::size_t> (maxCharacters + 2) * 4);

    while (bytes > 0 && bytes < text.size() && (static_cast<unsigned char> (text[bytes]) & 0xc0) == 0x80)
        --bytes;

    return cut (juce::String::fromUTF8 (text.data(), static_cast<int> (bytes)), maxCharacters);
}

template <typename Text>
juce::String line (const Text& text)
{
    return cut (text, maxLineCharacters);
}

template <typename Text>
juce::String message (const Text& text)
{
    return cut (text, maxMessageCharacters);
}
} // namespace shownText
