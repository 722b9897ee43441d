#include "Painting.h"

#include "Fonts.h"
#include "Palette.h"
#include "TextFit.h"

juce::Rectangle<float> outlineInside (juce::Rectangle<int> area)
{
    return area.toFloat()
        .translated (0.5f, 0.5f)
        .withSize (juce::jmax (0.0f, static_cast<float> (area.getWidth()) - 1.0f),
                   juce::jmax (0.0f, static_cast<float> (area.getHeight()) - 1.0f));
}

void drawPanel (juce::Graphics& g, juce::Rectangle<int> area, float cornerSize)
{
    g.setColour (palette::panelFill);
    g.fillRoundedRectangle (area.toFloat(), cornerSize);
    g.setColour (palette::outline);
    g.drawRoundedRectangle (outlineInside (area), cornerSize, 1.0f);
}

void drawPill (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& text, juce::Colour colour)
{
    g.setColour (colour);
    g.fillRoundedRectangle (area.toFloat(), 5.0f);
    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (13.75f, true));
    drawFittedLine (g, text, area, juce::Justification::centred);
}

void drawFocusRing (juce::Graphics& g, juce::Rectangle<float> bounds, float cornerSize)
{
    g.setColour (palette::primaryText);
    g.drawRoundedRectangle (bounds.reduced (1.0f), cornerSize, 2.0f);
}

void drawSpinner (juce::Graphics& g, juce::Point<float> centre, float radius, float phase)
{
    juce::Path arc;
    arc.addCentredArc (centre.x, centre.y, radius, radius, 0.0f, phase, phase + 1.4f * juce::MathConstants<float>::pi, true);
    g.setColour (palette::accent);
    g.strokePath (arc, juce::PathStrokeType (2.4f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}
