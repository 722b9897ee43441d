#pragma once

#include "products/ProductView.h"

#include <juce_graphics/juce_graphics.h>

// The parts of one product card, in the list's coordinates, computed once from the list's
// content width and the card's row top: the card sits at (20, rowTop - 3), 82 high, with a
// picture column of up to 70, an action column of up to 150 and the texts between.
struct CardLayout
{
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
void paintCard (juce::Graphics& g, const CardLayout& layout, const zorvaplugins::zorvamanager::products::ProductRow& row, const CardLook& look);
