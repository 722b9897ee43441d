#pragma once

#include "GuiStrings.h"

#include <juce_graphics/juce_graphics.h>

// One line of text in a box, cut to the bound of a shown line first: squeezed horizontally (down to 70 % of its width) before an
// ellipsis cuts it. Message thread.
inline void drawFittedLine (juce::Graphics& g, const juce::String& text, juce::Rectangle<int> area, juce::Justification justification)
{
    g.drawFittedText (shownText::line (text), area, justification, 1, 0.7f);
}

// One line that must never be cut (a version number): squeezed as far as it takes to fit.
inline void drawWholeLine (juce::Graphics& g, const juce::String& text, juce::Rectangle<int> area, juce::Justification justification)
{
    if (area.getWidth() <= 0)
        return;

    const auto shown = shownText::line (text);

    // A little margin under the exact ratio: the framework measures glyph edges, not advances.
    const auto width = g.getCurrentFont().getStringWidthFloat (shown);
    const auto needed = width > 0.0f ? 0.97f * static_cast<float> (area.getWidth()) / width : 1.0f;
    g.drawFittedText (shown, area, justification, 1, juce::jlimit (0.05f, 0.7f, needed));
}

// The width a text takes in a font, rounded up.
inline int textWidth (const juce::Font& font, const juce::String& text)
{
    return static_cast<int> (std::ceil (font.getStringWidthFloat (text)));
}
