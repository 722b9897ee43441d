#include "ZorvaLookAndFeel.h"

#include "Palette.h"

namespace
{
constexpr float fontScale = 1.25f;
constexpr float cornerSize = 6.0f;
} // namespace

juce::Font ZorvaLookAndFeel::getTextButtonFont (juce::TextButton& button, int buttonHeight)
{
    auto font = LookAndFeel_V4::getTextButtonFont (button, buttonHeight);
    return font.withHeight (font.getHeight() * fontScale);
}

juce::Font ZorvaLookAndFeel::getPopupMenuFont()
{
    auto font = LookAndFeel_V4::getPopupMenuFont();
    return font.withHeight (font.getHeight() * fontScale);
}

juce::Font ZorvaLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    auto font = LookAndFeel_V4::getComboBoxFont (box);
    return font.withHeight (font.getHeight() * fontScale);
}

juce::Colour ZorvaLookAndFeel::buttonFill (bool primary, bool highlighted, bool down)
{
    auto colour = primary ? (highlighted ? juce::Colour (255, 130, 18) : juce::Colour (255, 120, 0))
                          : (highlighted ? juce::Colour (35, 43, 51) : juce::Colour (18, 27, 35));

    if (down)
    {
        const auto darken = [] (juce::uint8 channel) { return static_cast<juce::uint8> (static_cast<int> (channel * 0.8474576)); };
        colour = juce::Colour (darken (colour.getRed()), darken (colour.getGreen()), darken (colour.getBlue()));
    }

    return colour;
}

void ZorvaLookAndFeel::drawButtonBackground (juce::Graphics& g,
                                             juce::Button& button,
                                             const juce::Colour&,
                                             bool isHighlighted,
                                             bool isDown)
{
    const auto primary = button.getName() == "primary";
    const juce::Rectangle<float> area (0.5f,
                                       0.5f,
                                       juce::jmax (static_cast<float> (button.getWidth()) - 1.0f, 0.0f),
                                       juce::jmax (static_cast<float> (button.getHeight()) - 1.0f, 0.0f));

    g.setColour (buttonFill (primary, isHighlighted, isDown));
    g.fillRoundedRectangle (area, cornerSize);
    g.setColour (primary ? juce::Colour (0xffff8921) : palette::outline);
    g.drawRoundedRectangle (area, cornerSize, 1.0f);
}
