#include "LogPanel.h"

#include "Fonts.h"
#include "Layout.h"
#include "Palette.h"
#include "ProductCard.h"

LogPanel::LogPanel()
{
    addAndMakeVisible (editor);
    editor.setMultiLine (true, true);
    editor.setReadOnly (true);
    editor.setScrollbarsShown (true);
    editor.setFont (fonts::ui (15.0f));
    editor.setText ("Ready. ZorvaManager never silently auto-updates plugins.\n", false);
}

void LogPanel::append (const juce::String& level, const juce::String& message)
{
    const auto colour = level == "ERROR" ? palette::destructive : level == "WARN" ? palette::warning
                                                                                  : palette::primaryText;
    const auto time = juce::Time::getCurrentTime().formatted ("%H:%M:%S");

    // The editor colours text as it is inserted; the default comes back for the next line.
    editor.moveCaretToEnd();
    editor.setColour (juce::TextEditor::textColourId, colour);
    editor.insertTextAtCaret (time + "  " + level + "  " + message + "\n");
    editor.removeColour (juce::TextEditor::textColourId);
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
