#pragma once

#include "products/ProductView.h"

#include <juce_graphics/juce_graphics.h>

// The parts of one product card, in the list's coordinates. The list stacks its rows one
// pitch apart; a row holds its card with half the gap to the next above and below, the card
// `sideInset` in from the list's left edge and as wide as the list's content: a picture
// column of up to 70, an action column of up to 150 and the texts between.
struct CardLayout
{
    static constexpr int sideInset = 20;
    static constexpr int height = 82;
    static constexpr int pitch = 92;                         // one row: a card and the gap to the next
    static constexpr int offsetInRow = (pitch - height) / 2; // the card's top below its row's
    static constexpr float cornerSize = 8.0f;

    // The card of the row whose top is at `rowTop`.
    static CardLayout forRow (int contentWidth, int rowTop);

    juce::Rectangle<int> card;
    juce::Rectangle<float> outline;
    juce::Rectangle<int> picture;     // a product picture, shrunk to fit, never enlarged
    juce::Rectangle<int> placeholder; // the round "Z" badge when there is no picture
    juce::Rectangle<int> name;
    juce::Rectangle<int> pills; // "UPDATE AVAILABLE", "FREE"
    juce::Rectangle<int> description;
    juce::Rectangle<int> versionLine; // versions, format pills, state
    juce::Rectangle<int> button;      // the action button

    // The grey bars a card shows in place of its name and description while the catalogue loads.
    juce::Rectangle<int> nameBar;
    juce::Rectangle<int> descriptionBar;
};

// What one card shows besides its row.
struct CardLook
{
    juce::Image picture;
    zorvaplugins::zorvamanager::products::RowButton button = zorvaplugins::zorvamanager::products::RowButton::unavailable;
    bool selected = false;
    float animationPhase = 0.0f; // start angle of the busy spinner
};

// Draws one card. Message thread.
void paintCard (juce::Graphics& g,
                const CardLayout& layout,
                const zorvaplugins::zorvamanager::products::ProductRow& row,
                const CardLook& look);
