#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The framework's dark scheme in the program's palette: its embedded fonts, its colours for
// editors, menus, scroll bars, tooltips and message boxes, accent-coloured "primary" buttons
// (component name exactly "primary") that look muted while disabled, and folder buttons that
// show the end of a long path on one line. Message thread.
class ZorvaLookAndFeel : public juce::LookAndFeel_V4
{
public:
    ZorvaLookAndFeel();

    static constexpr const char* primaryButtonName = "primary";

    // Marks a button whose text is a folder path.
    static void markAsPathButton (juce::Button& button);

    // A control that Tab reaches, with the focus ring while it has the keyboard focus; a
    // click acts on it without moving the focus, so the ring shows only for the keyboard.
    static void reachableByKeyboard (juce::Component& control);

    // The light ring around the control that has the keyboard focus.
    std::unique_ptr<juce::FocusOutline> createFocusOutlineForComponent (juce::Component& control) override;

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font& font) override;
    juce::Font getTextButtonFont (juce::TextButton& button, int buttonHeight) override;
    juce::Font getPopupMenuFont() override;
    juce::Font getComboBoxFont (juce::ComboBox& box) override;
    void drawButtonBackground (
        juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour, bool isHighlighted, bool isDown) override;
    void drawButtonText (juce::Graphics& g, juce::TextButton& button, bool isHighlighted, bool isDown) override;

    // The framework's message box, with its message kept as the property "message" so that
    // what it says can be read back (accessibility and tests).
    juce::AlertWindow* createAlertWindow (const juce::String& title,
                                          const juce::String& message,
                                          const juce::String& button1,
                                          const juce::String& button2,
                                          const juce::String& button3,
                                          juce::MessageBoxIconType iconType,
                                          int numButtons,
                                          juce::Component* associatedComponent) override;

    // The fill of an enabled button in a given state; exposed so the drawing rule can be checked.
    static juce::Colour buttonFill (bool primary, bool highlighted, bool down);

    // A text shortened from its start ("…/Plugins/VST3") until it fits a width.
    static juce::String elideStart (const juce::Font& font, const juce::String& text, float width);
};
