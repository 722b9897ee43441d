#include "ProductList.h"

#include "Layout.h"
#include "Palette.h"

using layout::cutLeft;

namespace
{
constexpr int sideInset = 20;
constexpr int rowPitch = 92;
constexpr int cardHeight = 82;
constexpr int animationIntervalMs = 33;
constexpr float twoPi = juce::MathConstants<float>::twoPi;

juce::Font boldFont (float height)
{
    return juce::Font (juce::Font::getDefaultSansSerifFontName(), height, juce::Font::bold);
}

void drawSpinner (juce::Graphics& g, juce::Point<float> centre, float radius, float phase)
{
    juce::Path arc;
    arc.addCentredArc (centre.x, centre.y, radius, radius, 0.0f, phase, phase + 1.4f * juce::MathConstants<float>::pi, true);
    g.setColour (palette::accent);
    g.strokePath (arc, juce::PathStrokeType (2.4f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}
} // namespace

void drawPanel (juce::Graphics& g, juce::Rectangle<int> area, float cornerSize)
{
    g.setColour (palette::panelFill);
    g.fillRoundedRectangle (area.toFloat(), cornerSize);

    const auto outline = area.toFloat()
                             .translated (0.5f, 0.5f)
                             .withSize (juce::jmax (0.0f, static_cast<float> (area.getWidth()) - 1.0f),
                                        juce::jmax (0.0f, static_cast<float> (area.getHeight()) - 1.0f));
    g.setColour (palette::outline);
    g.drawRoundedRectangle (outline, cornerSize, 1.0f);
}

void drawPill (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& text, juce::Colour colour)
{
    g.setColour (colour);
    g.fillRoundedRectangle (area.toFloat(), 5.0f);
    g.setColour (palette::primaryText);
    g.setFont (g.getCurrentFont().withHeight (13.75f));
    g.drawText (text, area, juce::Justification::centred, true);
}

ProductList::ProductList()
{
    addChildComponent (scrollBar);
    scrollBar.addListener (this);
    scrollBar.setAutoHide (true);
}

ProductList::~ProductList()
{
    scrollBar.removeListener (this);
}

std::vector<std::uint64_t> ProductList::visibleRowIndices() const
{
    const auto search = searchText.trim().toLowerCase();
    std::vector<std::uint64_t> visible;

    for (std::size_t index = 0; index < rows.size(); ++index)
    {
        const auto& row = rows[index];

        if (search.isNotEmpty() && ! row.name.toLowerCase().contains (search) && ! row.description.toLowerCase().contains (search) && ! row.slug.toLowerCase().contains (search))
            continue;

        const auto formatShown = (showVst3 && row.formats.count ("vst3") > 0) || (showClap && row.formats.count ("clap") > 0);

        if (! formatShown)
            continue;

        const auto passesFilter = filterMode == 1 ? row.installed
            : filterMode == 2                     ? row.isFree
            : filterMode == 3                     ? row.updateAvailable
                                                  : true;

        if (passesFilter)
            visible.push_back (index);
    }

    return visible;
}

void ProductList::updateScrollRange()
{
    const auto contentHeight = static_cast<int> (visibleRowIndices().size()) * rowPitch;
    const auto viewHeight = juce::jmax (0, getHeight() - 110);
    const auto total = juce::jmax (viewHeight, contentHeight);

    if (scrollBar.getMinimumRangeLimit() != 0.0 || scrollBar.getMaximumRangeLimit() != static_cast<double> (total))
        scrollBar.setRangeLimits (0.0, static_cast<double> (total));

    scrollBar.setCurrentRange (scrollBar.getCurrentRangeStart(), static_cast<double> (viewHeight));
    scrollBar.setVisible (contentHeight > viewHeight + 1);
}

bool ProductList::isBusy() const
{
    return loading || std::any_of (rows.begin(), rows.end(), [] (const ProductRow& row) { return row.activity.isNotEmpty(); });
}

void ProductList::applyActivityTimerRule()
{
    if (! isBusy())
        stopTimer();
    else if (! isTimerRunning())
        startTimer (animationIntervalMs);
}

void ProductList::resized()
{
    const auto width = getWidth();
    const auto barWidth = juce::jmin (width, 12);
    scrollBar.setBounds (width - barWidth, 12, barWidth, juce::jmax (0, getHeight() - 24));
    updateScrollRange();
}

void ProductList::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel)
{
    scrollBar.setCurrentRangeStart (scrollBar.getCurrentRangeStart() - 150.0 * static_cast<double> (wheel.deltaY));
}

void ProductList::scrollBarMoved (juce::ScrollBar*, double)
{
    repaint();
}

void ProductList::timerCallback()
{
    animationPhase += 0.3f;

    if (animationPhase > twoPi)
        animationPhase -= twoPi;

    if (! isBusy())
        stopTimer();

    repaint();
}

int ProductList::rowsTop() const
{
    // Title row, information line and gap, each shrunk when the list is short.
    auto remaining = getHeight();
    auto top = 0;

    for (const auto part : { 16, 30, 24, 8 })
    {
        const auto taken = juce::jlimit (0, juce::jmax (remaining, 0), part);
        top += taken;
        remaining -= taken;
    }

    return top;
}

int ProductList::contentWidth() const
{
    const auto width = getWidth();
    return juce::jmax (0, width - juce::jmin (width, 14) - 40);
}

int ProductList::scrollOffset() const
{
    return static_cast<int> (scrollBar.getCurrentRangeStart());
}

bool ProductList::isActionEnabled (const ProductRow& row) const
{
    if (! actionsEnabled || loading || row.activity.isNotEmpty())
        return false;

    if (actionMode == 1)
        return row.installed;

    return row.inCatalogue && (! row.installed || row.updateAvailable);
}

juce::Rectangle<int> ProductList::actionButtonBounds (int rowTop) const
{
    const auto v = contentWidth();
    const auto p = juce::jmin (v, 70);
    const auto a = juce::jmin (v - p, 150);
    return { v - a + 32, rowTop + 19, juce::jmax (a - 24, 0), 38 };
}

void ProductList::mouseDown (const juce::MouseEvent& event)
{
    const auto top = rowsTop();
    const auto offset = event.y + scrollOffset() - top;

    if (offset < 0)
        return;

    const auto position = offset / rowPitch;
    const auto visible = visibleRowIndices();

    if (position >= static_cast<int> (visible.size()))
        return;

    const auto index = static_cast<int> (visible[static_cast<std::size_t> (position)]);
    selectedIndex = index;

    if (onSelectionChanged)
        onSelectionChanged (index);

    repaint();

    const auto rowTop = top + 8 - scrollOffset() + rowPitch * position;

    if (isActionEnabled (rows[static_cast<std::size_t> (index)]) && onRowAction && actionButtonBounds (rowTop).contains (event.getPosition()))
        onRowAction (index);
}

void ProductList::drawBadge (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& label, int count, juce::Colour colour) const
{
    const auto inner = area.reduced (0, 3);
    g.setColour (colour);
    g.fillRoundedRectangle (inner.toFloat(), 6.0f);
    g.setColour (palette::primaryText);
    g.setFont (boldFont (15.0f));
    g.drawText (label + ": " + juce::String (count), inner, juce::Justification::centred, true);
}

void ProductList::drawLoadingView (juce::Graphics& g) const
{
    const auto v = contentWidth();
    const auto top = rowsTop();
    const auto rest = juce::jmax (0, getHeight() - top);
    const auto stripHeight = juce::jmin (rest, 92);

    const juce::Rectangle<int> box (sideInset, top + 5, juce::jmin (v, 92), juce::jmax (0, stripHeight - 10));
    const auto radius = static_cast<float> (juce::jmin (box.getWidth(), box.getHeight()) - 56) / 2.0f - 1.5f;

    if (radius > 1.0f)
        drawSpinner (g, box.toFloat().getCentre(), radius, animationPhase);

    g.setColour (palette::secondaryText);
    g.setFont (boldFont (18.75f));
    g.drawText ("Loading products...",
                juce::Rectangle<int> (box.getRight(), top, juce::jmax (0, sideInset + v - box.getRight()), stripHeight),
                juce::Justification::centredLeft,
                true);

    const auto p = juce::jmin (v, 70);
    auto y = top + stripHeight + 5;

    for (int card = 0; card < 4 && y + cardHeight <= getHeight() && getHeight() - (top + stripHeight) >= 93; ++card, y += rowPitch)
    {
        g.setColour (palette::cardFill);
        g.fillRoundedRectangle (juce::Rectangle<int> (sideInset, y, v, cardHeight).toFloat(), 8.0f);
        g.setColour (palette::skeleton);
        g.fillRoundedRectangle (juce::Rectangle<int> (30, y + 10, juce::jmax (0, p - 20), 62).toFloat(), 6.0f);
        g.fillRoundedRectangle (juce::Rectangle<int> (p + 20, y + 5, juce::jmin (220, v - p), 12).toFloat(), 4.0f);
        g.fillRoundedRectangle (juce::Rectangle<int> (p + 20, y + 27, juce::jmin (320, v - p), 10).toFloat(), 4.0f);
    }
}

void ProductList::drawCard (juce::Graphics& g, const ProductRow& row, int index, int r) const
{
    const auto v = contentWidth();
    const auto p = juce::jmin (v, 70);
    const auto a = juce::jmin (v - p, 150);
    const auto m = v - p - a;
    const auto textX = p + 20;
    const auto selected = index == selectedIndex;

    g.setColour (selected ? palette::selectedCardFill : palette::cardFill);
    g.fillRoundedRectangle (juce::Rectangle<int> (sideInset, r - 3, v, cardHeight).toFloat(), 8.0f);
    g.setColour (selected ? palette::accent : palette::outline);
    g.drawRoundedRectangle ({ 20.5f, static_cast<float> (r) - 2.5f, juce::jmax (static_cast<float> (v) - 1.0f, 0.0f), 81.0f },
                            8.0f,
                            selected ? 1.5f : 1.0f);

    const juce::Rectangle<int> pictureArea (30, r + 7, juce::jmax (0, p - 20), 62);

    if (row.image.isValid())
    {
        g.drawImageWithin (row.image,
                           pictureArea.getX(),
                           pictureArea.getY(),
                           pictureArea.getWidth(),
                           pictureArea.getHeight(),
                           juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize);
    }
    else
    {
        const juce::Rectangle<int> badge (37, r + 14, juce::jmax (p - 34, 0), 48);
        g.setColour (palette::accent);
        g.fillEllipse (badge.toFloat());
        g.setColour (juce::Colours::white);
        g.setFont (boldFont (22.5f));
        g.drawText ("Z", badge, juce::Justification::centred, false);
    }

    const auto nameWidth = juce::jmin (m, 220);
    g.setColour (palette::primaryText);
    g.setFont (boldFont (20.0f));
    g.drawText (row.name, textX, r - 3, nameWidth, 25, juce::Justification::centredLeft, true);

    auto pills = juce::Rectangle<int> (textX + nameWidth, r, juce::jmax (0, m - nameWidth), 19);
    g.setFont (boldFont (13.75f));

    if (row.updateAvailable)
    {
        drawPill (g, cutLeft (pills, 126), "UPDATE AVAILABLE", palette::accent);
        cutLeft (pills, 7);
    }

    if (row.isFree)
        drawPill (g, cutLeft (pills, 58), "FREE", palette::freeBadge);

    g.setColour (palette::secondaryText);
    g.setFont (boldFont (15.625f));
    g.drawText (row.description, textX, r + 22, m, 21, juce::Justification::centredLeft, true);

    auto line = juce::Rectangle<int> (textX, r + 43, juce::jmax (0, m), 24);
    g.setFont (boldFont (15.0f));
    g.drawText ("Installed: " + (row.installedVersion.isEmpty() ? juce::String ("-") : row.installedVersion),
                cutLeft (line, 116),
                juce::Justification::centredLeft,
                true);
    g.drawText ("Available: " + (row.latestVersion.isEmpty() ? juce::String ("-") : row.latestVersion),
                cutLeft (line, 120),
                juce::Justification::centredLeft,
                true);
    cutLeft (line, 8);

    g.setFont (boldFont (13.75f));

    for (const auto* format : { "vst3", "clap" })
    {
        if (row.formats.count (format) == 0)
            continue;

        drawPill (g, cutLeft (line, 48), juce::String (format).toUpperCase(), palette::neutralBadge);
        cutLeft (line, 7);
    }

    g.setColour (row.installed ? palette::installed : palette::secondaryText);
    g.setFont (boldFont (15.0f));
    g.drawText (row.updateAvailable ? "Update available" : (row.installed ? "Installed" : "Not installed"),
                cutLeft (line, 132),
                juce::Justification::centredLeft,
                true);

    const auto button = actionButtonBounds (r);
    auto fill = palette::darkButton;
    auto textColour = palette::secondaryText;
    juce::String text;
    auto textSize = 16.25f;

    if (row.activity.isNotEmpty())
    {
        g.setColour (palette::darkButton);
        g.fillRoundedRectangle (button.toFloat(), 6.0f);

        const auto s = juce::jmin (button.getWidth(), 26);

        if (s - 8 > 0)
        {
            const auto radius = static_cast<float> (juce::jmin (s - 8, 30)) / 2.0f - 1.5f;
            drawSpinner (g,
                         { static_cast<float> (button.getX()) + 4.0f + static_cast<float> (s - 8) / 2.0f,
                           static_cast<float> (button.getY() + 19) },
                         radius,
                         animationPhase);
        }

        g.setColour (palette::primaryText);
        g.setFont (boldFont (13.125f));
        g.drawText (row.activity, button.withTrimmedLeft (s), juce::Justification::centred, true);
        return;
    }

    if (! actionsEnabled)
    {
        text = "...";
        textSize = 15.0f;
    }
    else if (actionMode == 1)
    {
        if (row.installed)
        {
            fill = palette::destructive;
            textColour = juce::Colours::white;
            text = "Remove";
        }
        else
        {
            text = "Not installed";
        }
    }
    else if (! row.installed || row.updateAvailable)
    {
        fill = palette::accent;
        textColour = juce::Colours::white;
        text = row.updateAvailable ? "Update" : "Download & Install";
    }
    else
    {
        textColour = palette::installed;
        text = "Installed";
    }

    g.setColour (fill);
    g.fillRoundedRectangle (button.toFloat(), 6.0f);
    g.setColour (textColour);
    g.setFont (boldFont (textSize));
    g.drawText (text, button, juce::Justification::centred, true);
}

void ProductList::paint (juce::Graphics& g)
{
    drawPanel (g, getLocalBounds(), 9.0f);

    const auto v = contentWidth();
    auto header = juce::Rectangle<int> (sideInset, 16, v, 30);

    g.setColour (palette::primaryText);
    g.setFont (boldFont (21.25f));
    g.drawText ("Select Product", cutLeft (header, 128), juce::Justification::centredLeft, true);

    drawBadge (g, cutLeft (header, 108), "Total", totalCount, palette::neutralBadge);
    cutLeft (header, 8);
    drawBadge (g, cutLeft (header, 126), "Installed", installedCount, palette::neutralBadge);
    cutLeft (header, 8);
    drawBadge (g, cutLeft (header, 116), "Updates", updateCount, updateCount >= 1 ? palette::accent : palette::neutralBadge);

    g.setColour (palette::secondaryText);
    g.setFont (boldFont (16.25f));
    g.drawText ("Catalogue data comes from the ZorvaPlugins API.", sideInset, 46, v, 24, juce::Justification::centredLeft, true);

    if (loading)
    {
        drawLoadingView (g);
        return;
    }

    const auto visible = visibleRowIndices();
    const auto top = rowsTop();

    if (visible.empty())
    {
        g.setColour (palette::secondaryText);
        g.setFont (boldFont (18.75f));
        g.drawText ("No products match the current filters.",
                    sideInset,
                    top,
                    v,
                    juce::jmax (0, getHeight() - top),
                    juce::Justification::centred,
                    true);
        return;
    }

    const auto scroll = scrollOffset();

    for (std::size_t k = 0; k < visible.size(); ++k)
    {
        const auto r = top + 8 - scroll + rowPitch * static_cast<int> (k);

        if (r + 79 < top || r - 3 > getHeight() - 16)
            continue;

        const auto index = static_cast<int> (visible[k]);
        drawCard (g, rows[static_cast<std::size_t> (index)], index, r);
    }
}
