#include "ZorvaLookAndFeel.h"

#include "Fonts.h"
#include "GuiStrings.h"
#include "Palette.h"

namespace
{
constexpr float fontScale = 1.25f;
constexpr float cornerSize = 6.0f;
const juce::Identifier pathButtonProperty ("zorvamanagerPathButton");
} // namespace

ZorvaLookAndFeel::ZorvaLookAndFeel()
{
    const std::pair<int, juce::Colour> scheme[] = {
        { juce::TextEditor::backgroundColourId, palette::fieldBackground },
        { juce::TextEditor::textColourId, palette::primaryText },
        { juce::TextEditor::outlineColourId, palette::outline },
        { juce::TextEditor::focusedOutlineColourId, palette::accent },
        { juce::TextEditor::highlightColourId, palette::accent.withAlpha (0.35f) },
        { juce::CaretComponent::caretColourId, palette::accent },
        { juce::ComboBox::backgroundColourId, palette::fieldBackground },
        { juce::ComboBox::textColourId, palette::primaryText },
        { juce::ComboBox::outlineColourId, palette::outline },
        { juce::PopupMenu::backgroundColourId, palette::panelFill },
        { juce::PopupMenu::textColourId, palette::primaryText },
        { juce::PopupMenu::highlightedBackgroundColourId, palette::accent },
        { juce::Label::textColourId, palette::secondaryText },
        { juce::ToggleButton::textColourId, palette::primaryText },
        { juce::ScrollBar::thumbColourId, palette::secondaryText.withAlpha (0.55f) },
        { juce::ScrollBar::trackColourId, juce::Colours::transparentBlack },
        { juce::TooltipWindow::backgroundColourId, palette::panelFill },
        { juce::TooltipWindow::textColourId, palette::primaryText },
        { juce::TooltipWindow::outlineColourId, palette::outline },
        { juce::AlertWindow::backgroundColourId, palette::panelFill },
        { juce::AlertWindow::textColourId, palette::primaryText },
        { juce::AlertWindow::outlineColourId, palette::outline },
        { juce::ResizableWindow::backgroundColourId, palette::windowBackground },
    };

    for (const auto& [id, colour] : scheme)
        setColour (id, colour);
}

void ZorvaLookAndFeel::markAsPathButton (juce::Button& button)
{
    button.getProperties().set (pathButtonProperty, true);
}

juce::Typeface::Ptr ZorvaLookAndFeel::getTypefaceForFont (const juce::Font& font)
{
    if (font.getTypefaceName() == juce::Font::getDefaultSansSerifFontName())
        return font.isBold() ? fonts::bold() : fonts::regular();

    return LookAndFeel_V4::getTypefaceForFont (font);
}

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
    auto colour = primary ? (highlighted ? palette::primaryHighlight : palette::primaryFill)
                          : (highlighted ? palette::buttonHighlight : palette::buttonFill);

    if (down)
    {
        const auto darken = [] (juce::uint8 channel) { return static_cast<juce::uint8> (static_cast<int> (channel * 0.8474576)); };
        colour = juce::Colour (darken (colour.getRed()), darken (colour.getGreen()), darken (colour.getBlue()));
    }

    return colour;
}

void ZorvaLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour&, bool isHighlighted, bool isDown)
{
    const auto primary = button.getName() == primaryButtonName;
    const juce::Rectangle<float> area (0.5f,
                                       0.5f,
                                       juce::jmax (static_cast<float> (button.getWidth()) - 1.0f, 0.0f),
                                       juce::jmax (static_cast<float> (button.getHeight()) - 1.0f, 0.0f));

    // A disabled button shows a muted fill, so that an orange button always means "click me".
    const auto enabled = button.isEnabled();
    const auto fill = enabled ? buttonFill (primary, isHighlighted, isDown)
                              : (primary ? palette::primaryFill.withAlpha (0.28f) : palette::buttonFill.withAlpha (0.6f));
    const auto outline = primary ? palette::primaryOutline : palette::outline;

    g.setColour (fill);
    g.fillRoundedRectangle (area, cornerSize);
    g.setColour (enabled ? outline : outline.withAlpha (0.4f));
    g.drawRoundedRectangle (area, cornerSize, 1.0f);
}

juce::String ZorvaLookAndFeel::elideStart (const juce::Font& font, const juce::String& text, float width)
{
    if (font.getStringWidthFloat (text) <= width)
        return text;

    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));

    // The fewest characters dropped from the start that make it fit; dropping more never widens it.
    int low = 1, high = text.length();

    while (low < high)
    {
        const auto middle = (low + high) / 2;

        if (font.getStringWidthFloat (ellipsis + text.substring (middle)) <= width)
            high = middle;
        else
            low = middle + 1;
    }

    return ellipsis + text.substring (low);
}

void ZorvaLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool isHighlighted, bool isDown)
{
    if (! static_cast<bool> (button.getProperties()[pathButtonProperty]))
        return LookAndFeel_V4::drawButtonText (g, button, isHighlighted, isDown);

    // A folder path: one line at the button's normal size, its end kept (the folder's own name
    // matters most) and the whole path in the tooltip.
    const auto font = getTextButtonFont (button, button.getHeight());
    const auto area = button.getLocalBounds().reduced (8, 2);
    const auto colour = button.findColour (button.getToggleState() ? juce::TextButton::textColourOnId : juce::TextButton::textColourOffId);

    g.setFont (font);
    g.setColour (colour.withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f));
    g.drawText (elideStart (font, button.getButtonText(), static_cast<float> (area.getWidth())), area, juce::Justification::centred, false);
}

void ZorvaLookAndFeel::reachableByKeyboard (juce::Component& control)
{
    control.setWantsKeyboardFocus (true);
    control.setMouseClickGrabsKeyboardFocus (false);
    control.setHasFocusOutline (true);
}

std::unique_ptr<juce::FocusOutline> ZorvaLookAndFeel::createFocusOutlineForComponent (juce::Component&)
{
    struct Ring : juce::FocusOutline::OutlineWindowProperties
    {
        juce::Rectangle<int> getOutlineBounds (juce::Component& control) override { return control.getScreenBounds().expanded (3); }

        void drawOutline (juce::Graphics& g, int width, int height) override
        {
            g.setColour (palette::primaryText);
            g.drawRoundedRectangle (
                juce::Rectangle<float> (static_cast<float> (width), static_cast<float> (height)).reduced (1.0f), 8.0f, 2.0f);
        }
    };

    return std::make_unique<juce::FocusOutline> (std::make_unique<Ring>());
}

juce::AlertWindow* ZorvaLookAndFeel::createAlertWindow (const juce::String& title,
                                                        const juce::String& message,
                                                        const juce::String& button1,
                                                        const juce::String& button2,
                                                        const juce::String& button3,
                                                        juce::MessageBoxIconType iconType,
                                                        int numButtons,
                                                        juce::Component* associatedComponent)
{
    // A message box lays out its whole message, which may carry an error text of any length.
    const auto shown = shownText::message (message);
    auto* window = LookAndFeel_V4::createAlertWindow (
        shownText::line (title), shown, button1, button2, button3, iconType, numButtons, associatedComponent);
    window->getProperties().set ("message", shown);
    window->setDescription (shown);
    return window;
}
