#pragma once

#include <juce_graphics/juce_graphics.h>

// The drawing pieces the window's panels, cards and list share. Message thread.

// The outline of a one-pixel line drawn just inside an area: in by half a pixel on every side.
juce::Rectangle<float> outlineInside (juce::Rectangle<int> area);

// A rounded panel: filled, with its outline inside by half a pixel.
void drawPanel (juce::Graphics& g, juce::Rectangle<int> area, float cornerSize);

// A small rounded label on a card, its text squeezed rather than cut.
void drawPill (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& text, juce::Colour colour);

// The light ring around the control that has the keyboard focus, inside its bounds (the
// accent would vanish on the accent-coloured buttons).
void drawFocusRing (juce::Graphics& g, juce::Rectangle<float> bounds, float cornerSize);

// The orange arc of the busy and loading spinners.
void drawSpinner (juce::Graphics& g, juce::Point<float> centre, float radius, float phase);
