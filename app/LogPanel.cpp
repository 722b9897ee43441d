#include "LogPanel.h"

#include "Fonts.h"
#include "GuiStrings.h"
#include "Layout.h"
#include "Painting.h"
#include "Palette.h"

#include <numeric>

LogPanel::LogPanel()
{
    addAndMakeVisible (editor);
    editor.setComponentID ("logEditor");
    editor.setMultiLine (true, true);
    editor.setReadOnly (true);
    editor.setCaretVisible (false); // its blinking timer would run for as long as the window
    editor.setScrollbarsShown (true);
    editor.setFont (fonts::ui (15.0f));

    const juce::String firstLine ("Ready. ZorvaManager never silently auto-updates plugins.\n");
    editor.setText (firstLine, false);
    lineLengths.push_back (firstLine.length());
}

void LogPanel::append (LogLevel level, const juce::String& message)
{
    if (lineCount() >= maxLines)
        dropOldestLines (maxLines / 10);

    const auto colour = level == LogLevel::error ? palette::destructive : level == LogLevel::warn ? palette::warning : palette::primaryText;
    const auto time = juce::Time::getCurrentTime().formatted ("%H:%M:%S");

    // One message, one line: a line break inside it would make lines the count does not know.
    const auto line = time + "  " + logLevelText (level) + "  " + shownText::message (message).replaceCharacters ("\r\n", "  ") + "\n";

    // The editor colours text as it is inserted; the default comes back for the next line.
    editor.moveCaretToEnd();
    editor.setColour (juce::TextEditor::textColourId, colour);
    editor.insertTextAtCaret (line);
    editor.removeColour (juce::TextEditor::textColourId);
    lineLengths.push_back (line.length());
}

void LogPanel::dropOldestLines (int count)
{
    count = juce::jmin (count, lineCount());
    const auto characters = std::accumulate (lineLengths.begin(), lineLengths.begin() + count, 0);
    lineLengths.erase (lineLengths.begin(), lineLengths.begin() + count);

    // A read-only editor keeps no undo history, so the removed text is gone for good.
    editor.setHighlightedRegion ({ 0, characters });
    editor.insertTextAtCaret ({});
}

void LogPanel::paint (juce::Graphics& g)
{
    drawPanel (g, getLocalBounds(), 9.0f);
}

void LogPanel::resized()
{
    auto contents = getLocalBounds().reduced (16);
    layout::cutTop (contents, 18);
    editor.setBounds (contents);
}
