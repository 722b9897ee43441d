#pragma once

#include <juce_graphics/juce_graphics.h>

// Layout strips: each cut takes the size it asks for, or all that is left, never a negative
// size, so that controls shrink to nothing instead of overlapping in a small window.
namespace layout
{
inline juce::Rectangle<int> cutTop (juce::Rectangle<int>& area, int wanted)
{
    return area.removeFromTop (juce::jlimit (0, area.getHeight(), wanted));
}

inline juce::Rectangle<int> cutLeft (juce::Rectangle<int>& area, int wanted)
{
    return area.removeFromLeft (juce::jlimit (0, area.getWidth(), wanted));
}

inline juce::Rectangle<int> cutRight (juce::Rectangle<int>& area, int wanted)
{
    return area.removeFromRight (juce::jlimit (0, area.getWidth(), wanted));
}
} // namespace layout
