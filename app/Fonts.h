#pragma once

#include <juce_graphics/juce_graphics.h>

// The window draws every text in Liberation Sans, embedded in the program: the layout's fixed
// widths were made for Arial's metrics, which Liberation Sans shares, and an embedded face
// draws the same on every machine, whatever fonts it has. Message thread.
namespace fonts
{
// The embedded faces.
juce::Typeface::Ptr regular();
juce::Typeface::Ptr bold();

// The window's font at a height; the look-and-feel maps the default sans-serif name to the
// embedded faces, so fonts made here and fonts the framework makes agree.
juce::Font ui (float height, bool isBold = false);
} // namespace fonts
