#include "Fonts.h"

#include "BinaryData.h"

namespace fonts
{

juce::Typeface::Ptr regular()
{
    static const auto face =
        juce::Typeface::createSystemTypefaceFor (BinaryData::LiberationSansRegular_ttf, BinaryData::LiberationSansRegular_ttfSize);
    return face;
}

juce::Typeface::Ptr bold()
{
    static const auto face =
        juce::Typeface::createSystemTypefaceFor (BinaryData::LiberationSansBold_ttf, BinaryData::LiberationSansBold_ttfSize);
    return face;
}

juce::Font ui (float height, bool isBold)
{
    return juce::Font (juce::Font::getDefaultSansSerifFontName(), height, isBold ? juce::Font::bold : juce::Font::plain);
}

} // namespace fonts
