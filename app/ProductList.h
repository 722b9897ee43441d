#pragma once

#include "ManagerController.h"
#include "ProductCard.h"
#include "ProductListModel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <utility>

// The custom-painted, scrollable list of product cards: a header with the counters, then the
// cards, or a loading, empty or failed view in their place. It shows its model and reports
// clicks through its two callbacks; cards are clipped to the rows area, which the scroll
// range matches exactly. Whenever the cards it shows change (scrolling, resizing, new rows or
// filters, another display scale) it tells the model which ones, and at what pixel size their
// pictures are drawn. Message thread only.
class ProductList : public juce::Component, private ProductListModel::Listener, private juce::ScrollBar::Listener, private juce::Timer
{
public:
    explicit ProductList (ProductListModel& modelToShow);
    ~ProductList() override;

    // A click on a card selects it (row index); a click on an enabled action button acts.
    std::function<void (int)> onRowClicked;
    std::function<void (int)> onRowAction;

    // The keys: Up, Down, Page Up, Page Down, Home and End move the selection (a page is as
    // many cards as the rows area shows); Enter and Space act on the selected card.
    std::function<void (ManagerController::SelectionMove, int rowsPerPage)> onMoveSelection;
    std::function<void()> onActivateSelection;

    // Whether the focus ring shows: the list has the keyboard focus and the keyboard is in use
    // (the focus came by Tab, or a key was used since a click gave it).
    bool showsFocusRing() const { return focusRingShown && hasKeyboardFocus (false); }

    // The scroll position in pixels, and the range it can take.
    double scrollPosition() const { return scrollBar.getCurrentRangeStart(); }
    double maximumScrollPosition() const;
    bool isScrollBarShown() const { return scrollBar.isVisible(); }
    void setScrollPosition (double position) { scrollBar.setCurrentRangeStart (position); }
    bool isAnimating() const { return isTimerRunning(); }

    // Where a row's card and action button are laid out now, in list coordinates, whether or
    // not the rows area shows them (empty when the row is filtered out or no cards show).
    juce::Rectangle<int> cardBounds (int rowIndex) const;
    juce::Rectangle<int> buttonBounds (int rowIndex) const;

    // The area below the header where cards are drawn and clipped.
    juce::Rectangle<int> rowsArea() const;

    void mouseDown (const juce::MouseEvent& event) override;
    bool keyPressed (const juce::KeyPress& key) override;
    void focusGained (FocusChangeType cause) override;
    void focusLost (FocusChangeType cause) override;
    void mouseWheelMove (const juce::MouseEvent& event, const juce::MouseWheelDetails& wheel) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void productListChanged (ProductListModel::Change change) override;
    void scrollBarMoved (juce::ScrollBar* bar, double newRangeStart) override;
    void timerCallback() override;

    void updateScrollRange();
    // The positions [first, end) of the visible rows whose cards reach into the rows area.
    std::pair<std::size_t, std::size_t> shownPositions() const;
    void updatePictureDemand();
    float displayScale() const;
    void bringSelectionIntoView();
    void applyActivityTimerRule();
    bool showsCards() const;
    int contentWidth() const;
    int rowsTop() const;
    int rowTop (std::size_t position) const;
    int positionOf (int rowIndex) const;

    void paintHeader (juce::Graphics& g) const;
    void paintLoadingView (juce::Graphics& g) const;
    void paintMessage (juce::Graphics& g) const;

    ProductListModel& model;
    juce::ScrollBar scrollBar { true };
    float animationPhase = 0.0f;
    float pictureScale = 0.0f; // the display scale the wanted pictures were asked for at
    bool focusRingShown = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProductList)
};
