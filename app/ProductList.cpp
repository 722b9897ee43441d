#include "ProductList.h"

#include "Fonts.h"
#include "GuiStrings.h"
#include "Layout.h"
#include "Painting.h"
#include "Palette.h"
#include "TextFit.h"

using namespace zorvaplugins::zorvamanager;
using layout::cutLeft;

namespace
{
constexpr int sideInset = CardLayout::sideInset;
constexpr int rowPitch = CardLayout::pitch;

// The header above the rows: a margin, the title row with the counters, the information line
// and a gap.
constexpr int headerTop = 16;
constexpr int titleRowHeight = 30;
constexpr int informationLineHeight = 24;
constexpr int gapAboveRows = 8;
constexpr int bottomMargin = 16;

constexpr int scrollBarWidth = 12;
constexpr int scrollBarInset = 12;  // above and below the bar
constexpr int scrollBarGutter = 14; // the bar and a gap, at the right of the cards
constexpr double wheelStep = 150.0; // pixels per unit of wheel movement

// The loading view: its first row holds the spinner, in a square as wide as the row is high,
// its circle this far inside; up to this many grey cards follow.
constexpr int loadingSpinnerInset = 28;
constexpr int loadingCards = 4;
constexpr int animationIntervalMs = 33;
constexpr float twoPi = juce::MathConstants<float>::twoPi;

void drawBadge (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& label, int count, juce::Colour colour)
{
    const auto inner = area.reduced (0, 3);
    g.setColour (colour);
    g.fillRoundedRectangle (inner.toFloat(), 6.0f);
    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (15.0f, true));
    drawFittedLine (g, label + ": " + juce::String (count), inner, juce::Justification::centred);
}
} // namespace

ProductList::ProductList (ProductListModel& modelToShow)
    : model (modelToShow)
{
    setWantsKeyboardFocus (true);
    addChildComponent (scrollBar);
    scrollBar.addListener (this);
    scrollBar.setAutoHide (true);
    model.addListener (this);
}

ProductList::~ProductList()
{
    model.removeListener (this);
    scrollBar.removeListener (this);
}

int ProductList::contentWidth() const
{
    return juce::jmax (0, getWidth() - juce::jmin (getWidth(), scrollBarGutter) - 2 * sideInset);
}

int ProductList::rowsTop() const
{
    // Each part of the header shrinks when the list is short.
    auto remaining = getHeight();
    auto top = 0;

    for (const auto part : { headerTop, titleRowHeight, informationLineHeight, gapAboveRows })
    {
        const auto taken = juce::jlimit (0, juce::jmax (remaining, 0), part);
        top += taken;
        remaining -= taken;
    }

    return top;
}

juce::Rectangle<int> ProductList::rowsArea() const
{
    const auto top = rowsTop();
    return { 0, top, getWidth(), juce::jmax (0, getHeight() - bottomMargin - top) };
}

bool ProductList::showsCards() const
{
    return ! model.isLoading() && ! model.visibleRows().empty();
}

int ProductList::rowTop (std::size_t position) const
{
    return rowsTop() - static_cast<int> (scrollBar.getCurrentRangeStart()) + rowPitch * static_cast<int> (position);
}

int ProductList::positionOf (int rowIndex) const
{
    const auto& visible = model.visibleRows();
    const auto found = std::find (visible.begin(), visible.end(), static_cast<std::size_t> (rowIndex));
    return found == visible.end() ? -1 : static_cast<int> (found - visible.begin());
}

juce::Rectangle<int> ProductList::cardBounds (int rowIndex) const
{
    const auto position = positionOf (rowIndex);
    return position < 0 || ! showsCards() ? juce::Rectangle<int>()
                                          : CardLayout::forRow (contentWidth(), rowTop (static_cast<std::size_t> (position))).card;
}

juce::Rectangle<int> ProductList::buttonBounds (int rowIndex) const
{
    const auto position = positionOf (rowIndex);
    return position < 0 || ! showsCards() ? juce::Rectangle<int>()
                                          : CardLayout::forRow (contentWidth(), rowTop (static_cast<std::size_t> (position))).button;
}

double ProductList::maximumScrollPosition() const
{
    return juce::jmax (0.0, scrollBar.getMaximumRangeLimit() - scrollBar.getCurrentRangeSize());
}

void ProductList::updateScrollRange()
{
    // The content is one row per visible card (a card and its two half gaps), and the view is
    // exactly the rows area, so the last card ends as far above the bottom as the first starts
    // below the top.
    const auto contentHeight = showsCards() ? static_cast<int> (model.visibleRows().size()) * rowPitch : 0;
    const auto viewHeight = rowsArea().getHeight();
    const auto total = juce::jmax (viewHeight, contentHeight);

    if (scrollBar.getMinimumRangeLimit() != 0.0 || scrollBar.getMaximumRangeLimit() != static_cast<double> (total))
        scrollBar.setRangeLimits (0.0, static_cast<double> (total));

    scrollBar.setCurrentRange (scrollBar.getCurrentRangeStart(), static_cast<double> (viewHeight));
    scrollBar.setVisible (contentHeight > viewHeight);
}

float ProductList::displayScale() const
{
    // Transforms and the desktop's scale, times the scale of the display the window is on.
    auto scale = juce::Component::getApproximateScaleFactorForComponent (this) * juce::Desktop::getInstance().getGlobalScaleFactor();

    if (auto* peer = getPeer())
        scale *= static_cast<float> (peer->getPlatformScaleFactor());

    return scale;
}

std::pair<std::size_t, std::size_t> ProductList::shownPositions() const
{
    if (! showsCards())
        return {};

    // The cards that reach into the rows area (a card is shorter than its row's pitch).
    const auto area = rowsArea();
    const auto count = model.visibleRows().size();
    const auto scroll = static_cast<int> (scrollBar.getCurrentRangeStart());
    const auto cardOf = [this] (std::size_t position) { return CardLayout::forRow (contentWidth(), rowTop (position)).card; };
    auto first = std::min (count, static_cast<std::size_t> (juce::jmax (0, scroll / rowPitch - 1)));

    while (first < count && cardOf (first).getBottom() <= area.getY())
        ++first;

    auto end = first;

    while (end < count && cardOf (end).getY() < area.getBottom())
        ++end;

    return { first, end };
}

void ProductList::updatePictureDemand()
{
    pictureScale = displayScale();
    const auto [first, end] = shownPositions();
    const auto box = CardLayout::forRow (contentWidth(), 0).picture;
    model.showPictures (first,
                        end,
                        juce::roundToInt (std::ceil (static_cast<float> (box.getWidth()) * pictureScale)),
                        juce::roundToInt (std::ceil (static_cast<float> (box.getHeight()) * pictureScale)));
}

void ProductList::bringSelectionIntoView()
{
    const auto position = positionOf (model.selectedIndex());
    const auto view = scrollBar.getCurrentRange();

    if (position < 0)
    {
        scrollBar.setCurrentRangeStart (0.0);
        return;
    }

    const auto top = static_cast<double> (position * rowPitch);
    const auto bottom = top + rowPitch;

    if (top < view.getStart())
        scrollBar.setCurrentRangeStart (top);
    else if (bottom > view.getEnd())
        scrollBar.setCurrentRangeStart (bottom - view.getLength());
}

void ProductList::applyActivityTimerRule()
{
    if (! model.isBusy())
        stopTimer();
    else if (! isTimerRunning())
        startTimer (animationIntervalMs);
}

void ProductList::productListChanged (ProductListModel::Change change)
{
    if (change == ProductListModel::Change::pictures)
        return repaint();

    updateScrollRange();

    if (change == ProductListModel::Change::content || change == ProductListModel::Change::selectionMoved)
        bringSelectionIntoView();

    applyActivityTimerRule();
    updatePictureDemand();
    repaint();
}

void ProductList::resized()
{
    const auto width = getWidth();
    const auto barWidth = juce::jmin (width, scrollBarWidth);
    scrollBar.setBounds (width - barWidth, scrollBarInset, barWidth, juce::jmax (0, getHeight() - 2 * scrollBarInset));
    updateScrollRange();
    updatePictureDemand();
}

void ProductList::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel)
{
    scrollBar.setCurrentRangeStart (scrollBar.getCurrentRangeStart() - wheelStep * static_cast<double> (wheel.deltaY));
}

void ProductList::scrollBarMoved (juce::ScrollBar*, double)
{
    updatePictureDemand();
    repaint();
}

void ProductList::timerCallback()
{
    animationPhase += 0.3f;

    if (animationPhase > twoPi)
        animationPhase -= twoPi;

    // The last frame is painted without a spinner.
    if (! model.isBusy())
        stopTimer();

    repaint();
}

void ProductList::mouseDown (const juce::MouseEvent& event)
{
    // Only the rows area holds cards: the header and the margin below never select one.
    if (! showsCards() || ! rowsArea().contains (event.getPosition()))
        return;

    const auto offset = event.y + static_cast<int> (scrollBar.getCurrentRangeStart()) - rowsTop();
    const auto position = static_cast<std::size_t> (offset / rowPitch);
    const auto& visible = model.visibleRows();

    if (offset < 0 || position >= visible.size())
        return;

    const auto index = static_cast<int> (visible[position]);

    if (onRowClicked)
        onRowClicked (index);

    const auto& row = model.rows()[static_cast<std::size_t> (index)];
    const auto layout = CardLayout::forRow (contentWidth(), rowTop (position));

    if (products::buttonActs (model.buttonFor (row)) && onRowAction && layout.button.contains (event.getPosition()))
        onRowAction (index);
}

bool ProductList::keyPressed (const juce::KeyPress& key)
{
    using Move = ManagerController::SelectionMove;

    const std::pair<int, Move> moves[] = {
        { juce::KeyPress::upKey, Move::up },         { juce::KeyPress::downKey, Move::down },
        { juce::KeyPress::pageUpKey, Move::pageUp }, { juce::KeyPress::pageDownKey, Move::pageDown },
        { juce::KeyPress::homeKey, Move::home },     { juce::KeyPress::endKey, Move::end },
    };

    if (key.getModifiers().isAnyModifierKeyDown())
        return false;

    for (const auto& [code, move] : moves)
    {
        if (key.getKeyCode() != code)
            continue;

        focusRingShown = true;

        if (onMoveSelection)
            onMoveSelection (move, juce::jmax (1, rowsArea().getHeight() / rowPitch));

        repaint();
        return true;
    }

    if (key.getKeyCode() == juce::KeyPress::returnKey || key.getKeyCode() == juce::KeyPress::spaceKey)
    {
        focusRingShown = true;

        if (onActivateSelection)
            onActivateSelection();

        repaint();
        return true;
    }

    return false;
}

void ProductList::focusGained (FocusChangeType cause)
{
    focusRingShown = cause != focusChangedByMouseClick;
    repaint();
}

void ProductList::focusLost (FocusChangeType)
{
    focusRingShown = false;
    repaint();
}

void ProductList::paintHeader (juce::Graphics& g) const
{
    const auto counts = model.counts();
    auto header = juce::Rectangle<int> (sideInset, headerTop, contentWidth(), titleRowHeight);

    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (21.25f, true));
    drawFittedLine (g, "Select Product", cutLeft (header, 128), juce::Justification::centredLeft);

    drawBadge (g, cutLeft (header, 108), "Total", counts.total, palette::neutralBadge);
    cutLeft (header, 8);
    drawBadge (g, cutLeft (header, 126), "Installed", counts.installed, palette::neutralBadge);
    cutLeft (header, 8);
    drawBadge (g, cutLeft (header, 116), "Updates", counts.updates, counts.updates >= 1 ? palette::accent : palette::neutralBadge);

    g.setColour (palette::secondaryText);
    g.setFont (fonts::ui (16.25f, true));
    drawFittedLine (g,
                    "Catalogue data comes from the ZorvaPlugins API.",
                    { sideInset, headerTop + titleRowHeight, contentWidth(), informationLineHeight },
                    juce::Justification::centredLeft);
}

void ProductList::paintLoadingView (juce::Graphics& g) const
{
    const auto width = contentWidth();
    const auto top = rowsTop();
    const juce::Rectangle<int> firstRow (sideInset, top, width, juce::jmin (juce::jmax (0, getHeight() - top), rowPitch));

    const auto spinnerBox = firstRow.withWidth (juce::jmin (width, rowPitch)).reduced (0, CardLayout::offsetInRow);
    const auto radius =
        static_cast<float> (juce::jmin (spinnerBox.getWidth(), spinnerBox.getHeight()) - 2 * loadingSpinnerInset) / 2.0f - 1.5f;

    if (radius > 1.0f)
        drawSpinner (g, spinnerBox.toFloat().getCentre(), radius, animationPhase);

    g.setColour (palette::secondaryText);
    g.setFont (fonts::ui (18.75f, true));
    drawFittedLine (g, "Loading products...", firstRow.withLeft (spinnerBox.getRight()), juce::Justification::centredLeft);

    // Grey cards only when more than a whole row is left below the first, and each only whole.
    if (getHeight() - firstRow.getBottom() <= rowPitch)
        return;

    for (int card = 0; card < loadingCards; ++card)
    {
        const auto layout = CardLayout::forRow (width, firstRow.getBottom() + card * rowPitch);

        if (layout.card.getBottom() > getHeight())
            break;

        g.setColour (palette::cardFill);
        g.fillRoundedRectangle (layout.card.toFloat(), CardLayout::cornerSize);
        g.setColour (palette::skeleton);
        g.fillRoundedRectangle (layout.picture.toFloat(), 6.0f);
        g.fillRoundedRectangle (layout.nameBar.toFloat(), 4.0f);
        g.fillRoundedRectangle (layout.descriptionBar.toFloat(), 4.0f);
    }
}

void ProductList::paintMessage (juce::Graphics& g) const
{
    const juce::Rectangle<int> area (sideInset, rowsTop(), contentWidth(), juce::jmax (0, getHeight() - rowsTop()));

    if (model.failure().isEmpty())
    {
        g.setColour (palette::secondaryText);
        g.setFont (fonts::ui (18.75f, true));
        drawFittedLine (g, "No products match the current filters.", area, juce::Justification::centred);
        return;
    }

    // A first load that failed: say so, why, and what to do, rather than look like an empty search.
    auto lines = area.withSizeKeepingCentre (area.getWidth(), juce::jmin (area.getHeight(), 96));
    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (18.75f, true));
    drawFittedLine (g, "The catalogue could not be loaded.", lines.removeFromTop (28), juce::Justification::centred);
    g.setColour (palette::destructive);
    g.setFont (fonts::ui (15.0f, false));
    g.drawFittedText (shownText::message (model.failure()), lines.removeFromTop (40), juce::Justification::centred, 2, 0.8f);
    g.setColour (palette::secondaryText);
    g.setFont (fonts::ui (15.0f, true));
    drawFittedLine (g, "Press \"Refresh catalogue\" to try again.", lines, juce::Justification::centred);
}

void ProductList::paint (juce::Graphics& g)
{
    drawPanel (g, getLocalBounds(), 9.0f);

    if (showsFocusRing())
        drawFocusRing (g, getLocalBounds().toFloat(), 9.0f);

    paintHeader (g);

    if (model.isLoading())
        return paintLoadingView (g);

    if (! showsCards())
        return paintMessage (g);

    // The window moved to a display of another scale: the pictures are asked for again at its
    // density, once this paint is over.
    if (displayScale() != pictureScale)
        juce::MessageManager::callAsync ([list = juce::Component::SafePointer<ProductList> (this)] {
            if (list != nullptr)
                list->updatePictureDemand();
        });

    // Cards scroll under the header and the bottom margin, never over them.
    const auto area = rowsArea();
    juce::Graphics::ScopedSaveState clip (g);
    g.reduceClipRegion (area);

    const auto& visible = model.visibleRows();
    const auto& rows = model.rows();
    const auto [first, end] = shownPositions();

    for (auto position = first; position < end; ++position)
    {
        const auto index = visible[position];
        const auto& row = rows[index];
        paintCard (g,
                   CardLayout::forRow (contentWidth(), rowTop (position)),
                   row,
                   { model.pictureFor (row), model.buttonFor (row), static_cast<int> (index) == model.selectedIndex(), animationPhase });
    }
}
