#include "ProductCard.h"

#include "Fonts.h"
#include "GuiStrings.h"
#include "Layout.h"
#include "Painting.h"
#include "Palette.h"
#include "TextFit.h"

using namespace zorvaplugins::zorvamanager;
using layout::cutLeft;
using layout::cutRight;
using layout::cutTop;
using products::RowButton;

namespace
{
// The card's columns, and the rows of the texts between them.
constexpr int pictureColumnWidth = 70;
constexpr int actionColumnWidth = 150;
constexpr int nameWidth = 220; // the pills follow the name
constexpr int nameHeight = 25;
constexpr int descriptionHeight = 21;
constexpr int versionLineHeight = 24;

// How far each part keeps in from its column or row.
constexpr int pictureInset = 10;
constexpr int placeholderInset = 17;
constexpr int pillsInset = 3; // above and below, in the name's row
constexpr int buttonInsetX = 12;
constexpr int buttonInsetY = 22;

// The grey bars of a loading card: where they start below the card's top, and their largest size.
constexpr int nameBarTop = 5;
constexpr juce::Point<int> nameBarSize { 220, 12 };
constexpr int descriptionBarTop = 27;
constexpr juce::Point<int> descriptionBarSize { 320, 10 };

constexpr float buttonCornerSize = 6.0f;
constexpr int busySpinnerBoxWidth = 26; // at the busy button's left, its activity text in the rest
constexpr int busySpinnerInset = 4;

constexpr int pillGap = 7;
constexpr int updatePillWidth = 126;
constexpr int freePillWidth = 58;
constexpr int formatPillWidth = 48;
constexpr int installedCellWidth = 116;
constexpr int availableCellWidth = 120;
constexpr int versionCellGap = 8;
constexpr int stateCellWidth = 132;

// The version line's cells: each at least its nominal width, wider (with a small gap after it)
// when its version needs it, so that a version is squeezed only when the whole line is too
// short for it.
juce::Rectangle<int> versionCell (juce::Rectangle<int>& line, const juce::Font& font, const juce::String& text, int nominal)
{
    const auto needed = textWidth (font, text);
    return cutLeft (line, needed < nominal ? nominal : needed + versionCellGap);
}

void paintButton (juce::Graphics& g, juce::Rectangle<int> button, const products::ProductRow& row, const CardLook& look)
{
    if (look.button == RowButton::busy)
    {
        g.setColour (palette::darkButton);
        g.fillRoundedRectangle (button.toFloat(), buttonCornerSize);

        const auto spinnerBox = button.withWidth (juce::jmin (button.getWidth(), busySpinnerBoxWidth));
        const auto spinnerDiameter = spinnerBox.getWidth() - 2 * busySpinnerInset;

        // The radius leaves room for the arc's stroke.
        if (spinnerDiameter > 0)
            drawSpinner (g, spinnerBox.toFloat().getCentre(), static_cast<float> (spinnerDiameter) / 2.0f - 1.5f, look.animationPhase);

        g.setColour (palette::primaryText);
        g.setFont (fonts::ui (13.125f, true));
        drawFittedLine (g, shownText::line (row.activity), button.withTrimmedLeft (spinnerBox.getWidth()), juce::Justification::centred);
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
    g.fillRoundedRectangle (button.toFloat(), buttonCornerSize);
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
    drawWholeLine (g, installed, versionCell (line, font, installed, installedCellWidth), juce::Justification::centredLeft);
    drawWholeLine (g, available, versionCell (line, font, available, availableCellWidth), juce::Justification::centredLeft);
    cutLeft (line, versionCellGap);

    for (const auto* format : { "vst3", "clap" })
    {
        if (row.formats.count (format) == 0)
            continue;

        drawPill (g, cutLeft (line, formatPillWidth), juce::String (format).toUpperCase(), palette::neutralBadge);
        cutLeft (line, pillGap);
    }

    g.setColour (row.installed ? palette::installed : palette::secondaryText);
    g.setFont (font);
    drawFittedLine (g,
                    row.updateAvailable ? "Update available" : (row.installed ? "Installed" : "Not installed"),
                    cutLeft (line, stateCellWidth),
                    juce::Justification::centredLeft);
}
} // namespace

CardLayout CardLayout::forRow (int contentWidth, int rowTop)
{
    CardLayout layout;
    layout.card = { sideInset, rowTop + offsetInRow, contentWidth, height };
    layout.outline = outlineInside (layout.card);

    auto texts = layout.card;
    const auto pictureColumn = cutLeft (texts, pictureColumnWidth);
    const auto actionColumn = cutRight (texts, actionColumnWidth);

    layout.picture = pictureColumn.reduced (pictureInset);
    layout.placeholder = pictureColumn.reduced (placeholderInset);

    auto nameRow = cutTop (texts, nameHeight);
    layout.name = cutLeft (nameRow, nameWidth);
    layout.pills = nameRow.reduced (0, pillsInset);
    layout.description = cutTop (texts, descriptionHeight);
    layout.versionLine = cutTop (texts, versionLineHeight);
    layout.button = actionColumn.reduced (buttonInsetX, buttonInsetY);

    // The bars run on over the action column, which a loading card leaves empty.
    const auto besidePicture = layout.card.withTrimmedLeft (pictureColumn.getWidth());
    layout.nameBar = {
        besidePicture.getX(), layout.card.getY() + nameBarTop, juce::jmin (nameBarSize.x, besidePicture.getWidth()), nameBarSize.y
    };
    layout.descriptionBar = { besidePicture.getX(),
                              layout.card.getY() + descriptionBarTop,
                              juce::jmin (descriptionBarSize.x, besidePicture.getWidth()),
                              descriptionBarSize.y };
    return layout;
}

void paintCard (juce::Graphics& g, const CardLayout& layout, const products::ProductRow& row, const CardLook& look)
{
    g.setColour (look.selected ? palette::selectedCardFill : palette::cardFill);
    g.fillRoundedRectangle (layout.card.toFloat(), CardLayout::cornerSize);
    g.setColour (look.selected ? palette::accent : palette::outline);
    g.drawRoundedRectangle (layout.outline, CardLayout::cornerSize, look.selected ? 1.5f : 1.0f);

    if (look.picture.isValid())
    {
        g.drawImageWithin (look.picture,
                           layout.picture.getX(),
                           layout.picture.getY(),
                           layout.picture.getWidth(),
                           layout.picture.getHeight(),
                           juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize);
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
        drawPill (g, cutLeft (pills, updatePillWidth), "UPDATE AVAILABLE", palette::accent);
        cutLeft (pills, pillGap);
    }

    if (row.isFree)
        drawPill (g, cutLeft (pills, freePillWidth), "FREE", palette::freeBadge);

    g.setColour (palette::secondaryText);
    g.setFont (fonts::ui (15.625f, true));
    drawFittedLine (g, shownText::line (row.description), layout.description, juce::Justification::centredLeft);

    paintVersionLine (g, layout.versionLine, row);
    paintButton (g, layout.button, row, look);
}
