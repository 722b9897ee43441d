#include "ZorvaLookAndFeel.h"

#include <gtest/gtest.h>

TEST (ZorvaLookAndFeel, ButtonFillFollowsStateAndPrimaryFlag)
{
    struct Case
    {
        bool primary, highlighted, down;
        juce::uint32 argb;
    };

    const Case cases[] = {
        { true, false, false, 0xffff7800 }, { true, true, false, 0xffff8212 },   { true, false, true, 0xffd86500 },
        { true, true, true, 0xffd86e0f },   { false, false, false, 0xff121b23 }, { false, true, false, 0xff232b33 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (ZorvaLookAndFeel::buttonFill (c.primary, c.highlighted, c.down).getARGB(), c.argb)
            << c.primary << c.highlighted << c.down;
}

TEST (ZorvaLookAndFeel, OnlyAButtonNamedExactlyPrimaryIsDrawnInTheAccent)
{
    ZorvaLookAndFeel lookAndFeel;

    const auto centreColour = [&lookAndFeel] (const juce::String& name, int width, int height) {
        juce::TextButton button;
        button.setName (name);
        button.setSize (width, height);
        juce::Image image (juce::Image::ARGB, juce::jmax (width, 1), juce::jmax (height, 1), true);
        juce::Graphics g (image);
        lookAndFeel.drawButtonBackground (g, button, juce::Colours::blue, false, false);
        return image.getPixelAt (width / 2, height / 2);
    };

    EXPECT_EQ (centreColour ("primary", 40, 20), juce::Colour (0xffff7800));
    EXPECT_EQ (centreColour ("Primary", 40, 20), juce::Colour (0xff121b23));
    EXPECT_EQ (centreColour ("", 40, 20), juce::Colour (0xff121b23));

    // A 1 x 1 button draws an empty rectangle without trouble.
    EXPECT_EQ (centreColour ("primary", 1, 1).getAlpha(), 0);
}

TEST (ZorvaLookAndFeel, ADisabledPrimaryButtonNoLongerLooksClickable)
{
    ZorvaLookAndFeel lookAndFeel;
    juce::TextButton button;
    button.setName ("primary");
    button.setSize (40, 20);
    button.setEnabled (false);

    juce::Image image (juce::Image::ARGB, 40, 20, true);
    juce::Graphics g (image);
    g.fillAll (juce::Colour (0xff111a21));
    lookAndFeel.drawButtonBackground (g, button, juce::Colours::blue, false, false);
    const auto centre = image.getPixelAt (20, 10);

    EXPECT_NE (centre, juce::Colour (0xffff7800));
    EXPECT_LT (centre.getBrightness(), juce::Colour (0xffff7800).getBrightness() * 0.6f);
}

TEST (ZorvaLookAndFeel, FontsOfTheDefaultFaceAreTheEmbeddedOnes)
{
    ZorvaLookAndFeel lookAndFeel;
    const auto regular = lookAndFeel.getTypefaceForFont (juce::Font (15.0f));
    const auto bold = lookAndFeel.getTypefaceForFont (juce::Font (15.0f, juce::Font::bold));

    EXPECT_EQ (regular->getName(), "Liberation Sans");
    EXPECT_EQ (bold->getName(), "Liberation Sans");
    EXPECT_EQ (bold->getStyle(), "Bold");
    EXPECT_EQ (regular->getStyle(), "Regular");
}
