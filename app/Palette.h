#pragma once

#include <juce_graphics/juce_graphics.h>

// The window's one dark palette with its orange accent, shared by every painted part and by
// the look-and-feel.
namespace palette
{
inline const juce::Colour windowBackground { 0xff091015 };
inline const juce::Colour fieldBackground { 0xff080f14 };
inline const juce::Colour panelFill { 0xff111a21 };
inline const juce::Colour cardFill { 0xff17212b };
inline const juce::Colour selectedCardFill { 0xff202b34 };
inline const juce::Colour skeleton { 0xff1c2630 };
inline const juce::Colour neutralBadge { 0xff22303b };
inline const juce::Colour freeBadge { 0xff24401c };
inline const juce::Colour outline { 0xff2a3541 };
inline const juce::Colour darkButton { 0xff0d141a };
inline const juce::Colour buttonFill { 0xff121b23 };
inline const juce::Colour buttonHighlight { 0xff232b33 };
inline const juce::Colour primaryFill { 0xffff7800 };
inline const juce::Colour primaryHighlight { 0xffff8212 };
inline const juce::Colour primaryOutline { 0xffff8921 };
inline const juce::Colour primaryText { 0xfff2f4f6 };
inline const juce::Colour secondaryText { 0xff9ba7b2 };
inline const juce::Colour accent { 0xffff7800 };
inline const juce::Colour installed { 0xff27d156 };
inline const juce::Colour destructive { 0xffff3b45 };
inline const juce::Colour warning { 0xffffb020 };
} // namespace palette
