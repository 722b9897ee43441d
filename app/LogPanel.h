#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The panel across the bottom: a read-only log, one line per message, "HH:MM:SS  LEVEL
// message", with warnings and errors in their own colours. It is never trimmed and nothing of
// it goes anywhere else. Message thread only.
class LogPanel : public juce::Component
{
public:
    LogPanel();

    // Appends one line at the end; level is "INFO", "WARN" or "ERROR".
    void append (const juce::String& level, const juce::String& message);

    juce::String text() const { return editor.getText(); }

    void paint (juce::Graphics& g) override;
    void resized() override;

    juce::TextEditor editor;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LogPanel)
};
