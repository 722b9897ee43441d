#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The framework's dark scheme with the program's fonts and its accent-coloured "primary"
// buttons (a button whose component name is exactly "primary"). Message thread.
class ZorvaLookAndFeel : public juce::LookAndFeel_V4
{
public:
    juce::Font getTextButtonFont (juce::TextButton& button, int buttonHeight) override;
    juce::Font getPopupMenuFont() override;
    juce::Font getComboBoxFont (juce::ComboBox& box) override;
    void drawButtonBackground (juce::Graphics& g,
                               juce::Button& button,
                               const juce::Colour& backgroundColour,
                               bool isHighlighted,
                               bool isDown) override;

    // The fill of a button in a given state; exposed so the drawing rule can be checked.
    static juce::Colour buttonFill (bool primary, bool highlighted, bool down);
};
