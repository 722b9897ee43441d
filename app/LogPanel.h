#pragma once

#include "LogLevel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <deque>

// The panel across the bottom: a read-only log, one line per message, "HH:MM:SS  LEVEL
// message", with warnings and errors in their own colours. Each message is cut to a bounded
// length and kept on one line, and the panel keeps the latest lines only (at most maxLines);
// nothing of it goes anywhere else. Its text editor's component ID is "logEditor". Message
// thread only.
class LogPanel : public juce::Component
{
public:
    static constexpr int maxLines = 1000;

    LogPanel();

    // Appends one line at the end, with the level's word and colour. When the panel holds
    // maxLines lines, the oldest tenth goes first.
    void append (LogLevel level, const juce::String& message);

    juce::String text() const { return editor.getText(); }
    int lineCount() const { return static_cast<int> (lineLengths.size()); }

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void dropOldestLines (int count);

    juce::TextEditor editor;

    std::deque<int> lineLengths; // in characters, line feed included, oldest first

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LogPanel)
};
