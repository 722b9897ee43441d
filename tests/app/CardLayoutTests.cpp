#include "ProductCard.h"

#include <gtest/gtest.h>

#include <tuple>

// Whatever the list's width, a card's parts stay inside the card, the texts keep clear of the
// picture column and of the action button, and a narrow card shrinks its parts to nothing
// rather than give one a negative size.
TEST (CardLayout, EveryPartStaysInsideItsCardAtEveryWidth)
{
    const int rowTop = 137;

    for (const auto width : { 0, 1, 30, 70, 71, 150, 219, 300, 440, 866, 2000 })
    {
        SCOPED_TRACE (width);
        const auto layout = CardLayout::forRow (width, rowTop);

        EXPECT_EQ (layout.card, juce::Rectangle<int> (CardLayout::sideInset, rowTop + CardLayout::offsetInRow, width, CardLayout::height));
        EXPECT_TRUE (layout.outline.isEmpty() || layout.card.toFloat().contains (layout.outline));

        // Whether a part lies right of the picture column, and whether it may cover the
        // button's place (the loading bars do: a loading card has no button).
        const std::tuple<const char*, juce::Rectangle<int>, bool, bool> parts[] = {
            { "picture", layout.picture, false, false },
            { "placeholder", layout.placeholder, false, false },
            { "name", layout.name, true, false },
            { "pills", layout.pills, true, false },
            { "description", layout.description, true, false },
            { "versionLine", layout.versionLine, true, false },
            { "button", layout.button, true, true },
            { "nameBar", layout.nameBar, true, true },
            { "descriptionBar", layout.descriptionBar, true, true },
        };

        const auto textsLeft = CardLayout::sideInset + juce::jmin (width, 70);

        for (const auto& [name, part, besidePicture, mayMeetButton] : parts)
        {
            EXPECT_GE (part.getWidth(), 0) << name;
            EXPECT_GE (part.getHeight(), 0) << name;

            if (part.isEmpty())
                continue;

            EXPECT_TRUE (layout.card.contains (part)) << name << " " << part.toString();

            EXPECT_TRUE (! besidePicture || part.getX() >= textsLeft) << name;
            EXPECT_TRUE (mayMeetButton || ! part.intersects (layout.button)) << name;
        }

        // The name's row, the description and the version line follow each other down the card.
        EXPECT_LE (layout.name.getBottom(), layout.description.getY());
        EXPECT_LE (layout.description.getBottom(), layout.versionLine.getY());
    }
}
