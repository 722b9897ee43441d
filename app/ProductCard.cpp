#include "ProductCard.h"

#include "Fonts.h"
#include "GuiStrings.h"
#include "Layout.h"
#include "Painting.h"
#include "Palette.h"
#include "TextFit.h"

using namespace zorvaplugins::zorvamanager;
using layout::cutLeft;
using products::RowButton;

namespace
{
constexpr int sideInset = 20;
constexpr int cardHeight = 82;

// The version line's cells: each at least its nominal width, wider (with a small gap after it)
// when its version needs it, so that a version is squeezed only when the whole line is too
// short for it.
juce::Rectangle<int> versionCell (juce::Rectangle<int>& line, const juce::Font& font, const juce::String& text, int nominal)
{
    const auto needed = textWidth (font, text);
    return cutLeft (line, needed < nominal ? nominal : needed + 8);
}

void paintButton (juce::Graphics& g, juce::Rectangle<int> button, const products::ProductRow& row, const CardLook& look)
{
    if (look.button == RowButton::busy)
    {
        g.setColour (palette::darkButton);
        g.fillRoundedRectangle (button.toFloat(), 6.0f);

        const auto square = juce::jmin (button.getWidth(), 26);

        if (square - 8 > 0)
            drawSpinner (g,
                         { static_cast<float> (button.getX()) + 4.0f + static_cast<float> (square - 8) / 2.0f, static_cast<float> (button.getY() + 19) },
                         static_cast<float> (juce::jmin (square - 8, 30)) / 2.0f - 1.5f,
                         look.animationPhase);

        g.setColour (palette::primaryText);
        g.setFont (fonts::ui (13.125f, true));
        drawFittedLine (g, shownText::line (row.activity), button.withTrimmedLeft (square), juce::Justification::centred);
        return;
    }

    struct Face
    {
        juce::Colour fill, text;
        const char* label;
        float size;
    };

    const auto face = [&look]() -> Face {
        switch (look.button)
        {
            case RowButton::remove:
                return { palette::destructive, juce::Colours::white, "Remove", 16.25f };
            case RowButton::notInstalled:
                return { palette::darkButton, palette::secondaryText, "Not installed", 16.25f };
            case RowButton::installNew:
                return { palette::accent, juce::Colours::white, "Download & Install", 16.25f };
            case RowButton::update:
                return { palette::accent, juce::Colours::white, "Update", 16.25f };
            case RowButton::upToDate:
                return { palette::darkButton, palette::installed, "Installed", 16.25f };
            case RowButton::busy:
            case RowButton::unavailable:
                break;
        }

        return { palette::darkButton, palette::secondaryText, "...", 15.0f };
    }();

    g.setColour (face.fill);
    g.fillRoundedRectangle (button.toFloat(), 6.0f);
    g.setColour (face.text);
    g.setFont (fonts::ui (face.size, true));
    drawFittedLine (g, face.label, button, juce::Justification::centred);
}

void paintVersionLine (juce::Graphics& g, juce::Rectangle<int> line, const products::ProductRow& row)
{
    const auto font = fonts::ui (15.0f, true);
    const auto installed = "Installed: " + (row.installedVersion.empty() ? juce::String ("-") : shownText::line (row.installedVersion));
    const auto available = "Available: " + (row.latestVersion.empty() ? juce::String ("-") : shownText::line (row.latestVersion));

    g.setColour (palette::secondaryText);
    g.setFont (font);
    drawWholeLine (g, installed, versionCell (line, font, installed, 116), juce::Justification::centredLeft);
    drawWholeLine (g, available, versionCell (line, font, available, 120), juce::Justification::centredLeft);
    cutLeft (line, 8);

    for (const auto* format : { "vst3", "clap" })
    {
        if (row.formats.count (format) == 0)
            continue;

        drawPill (g, cutLeft (line, 48), juce::String (format).toUpperCase(), palette::neutralBadge);
        cutLeft (line, 7);
    }

    g.setColour (row.installed ? palette::installed : palette::secondaryText);
    g.setFont (font);
    drawFittedLine (g, row.updateAvailable ? "Update available" : (row.installed ? "Installed" : "Not installed"), cutLeft (line, 132), juce::Justification::centredLeft);
}
} // namespace

CardLayout CardLayout::forRow (int contentWidth, int rowTop)
{
    const auto v = contentWidth;
    const auto pictureColumn = juce::jmin (v, 70);
    const auto actionColumn = juce::jmin (v - pictureColumn, 150);
    const auto middle = v - pictureColumn - actionColumn;
    const auto textX = pictureColumn + 20;
    const auto nameWidth = juce::jmin (middle, 220);
    const auto r = rowTop;

    CardLayout layout;
    layout.card = { sideInset, r - 3, v, cardHeight };
    layout.outline = { 20.5f, static_cast<float> (r) - 2.5f, juce::jmax (static_cast<float> (v) - 1.0f, 0.0f), 81.0f };
    layout.picture = { 30, r + 7, juce::jmax (0, pictureColumn - 20), 62 };
    layout.placeholder = { 37, r + 14, juce::jmax (pictureColumn - 34, 0), 48 };
    layout.name = { textX, r - 3, nameWidth, 25 };
    layout.pills = { textX + nameWidth, r, juce::jmax (0, middle - nameWidth), 19 };
    layout.description = { textX, r + 22, juce::jmax (0, middle), 21 };
    layout.versionLine = { textX, r + 43, juce::jmax (0, middle), 24 };
    layout.button = { v - actionColumn + 32, r + 19, juce::jmax (actionColumn - 24, 0), 38 };
    return layout;
}

void paintCard (juce::Graphics& g, const CardLayout& layout, const products::ProductRow& row, const CardLook& look)
{
    g.setColour (look.selected ? palette::selectedCardFill : palette::cardFill);
    g.fillRoundedRectangle (layout.card.toFloat(), 8.0f);
    g.setColour (look.selected ? palette::accent : palette::outline);
    g.drawRoundedRectangle (layout.outline, 8.0f, look.selected ? 1.5f : 1.0f);

    if (look.picture.isValid())
    {
        g.drawImageWithin (look.picture, layout.picture.getX(), layout.picture.getY(), layout.picture.getWidth(), layout.picture.getHeight(), juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize);
    }
    else
    {
        g.setColour (palette::accent);
        g.fillEllipse (layout.placeholder.toFloat());
        g.setColour (juce::Colours::white);
        g.setFont (fonts::ui (22.5f, true));
        g.drawText ("Z", layout.placeholder, juce::Justification::centred, false);
    }

    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (20.0f, true));
    drawFittedLine (g, shownText::line (row.name), layout.name, juce::Justification::centredLeft);

    auto pills = layout.pills;

    if (row.updateAvailable)
    {
        drawPill (g, cutLeft (pills, 126), "UPDATE AVAILABLE", palette::accent);
        cutLeft (pills, 7);
    }

    if (row.isFree)
        drawPill (g, cutLeft (pills, 58), "FREE", palette::freeBadge);

    g.setColour (palette::secondaryText);
    g.setFont (fonts::ui (15.625f, true));
    drawFittedLine (g, shownText::line (row.description), layout.description, juce::Justification::centredLeft);

    paintVersionLine (g, layout.versionLine, row);
    paintButton (g, layout.button, row, look);
}
