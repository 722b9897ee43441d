#pragma once

#include "ProductRow.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <functional>
#include <vector>

// The custom-painted, scrollable list of product cards, with its loading view. The owner
// writes the public state fields directly and hears back through the two callbacks.
// Message thread only.
class ProductList : public juce::Component,
                    private juce::ScrollBar::Listener,
                    private juce::Timer
{
public:
    ProductList();
    ~ProductList() override;

    std::vector<ProductRow> rows;
    std::function<void (int)> onRowAction;
    std::function<void (int)> onSelectionChanged;

    bool loading = false;
    bool actionsEnabled = false;
    int actionMode = 0; // 0: install or update, 1: remove
    int filterMode = 0; // 0 all, 1 my products, 2 free products, 3 my updates
    bool showVst3 = true;
    bool showClap = true;
    juce::String searchText;

    float animationPhase = 0.0f;
    int selectedIndex = -1;
    int totalCount = 0;
    int installedCount = 0;
    int updateCount = 0;

    // The rows that pass the search, format and product filters, in row order.
    std::vector<std::uint64_t> visibleRowIndices() const;

    // Fits the scroll bar to the number of visible rows, keeping the position when possible.
    void updateScrollRange();

    // Runs the animation timer while the list loads or a row is busy; stops it otherwise.
    void applyActivityTimerRule();

    bool isAnimating() const { return isTimerRunning(); }

    void mouseDown (const juce::MouseEvent& event) override;
    void mouseWheelMove (const juce::MouseEvent& event, const juce::MouseWheelDetails& wheel) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void scrollBarMoved (juce::ScrollBar* bar, double newRangeStart) override;
    void timerCallback() override;

    // The list is loading or a row has a running job: the animation runs.
    bool isBusy() const;
    int rowsTop() const;
    int contentWidth() const;
    int scrollOffset() const;
    bool isActionEnabled (const ProductRow& row) const;
    juce::Rectangle<int> actionButtonBounds (int rowTop) const;
    void drawBadge (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& label, int count, juce::Colour colour) const;
    void drawCard (juce::Graphics& g, const ProductRow& row, int index, int rowTop) const;
    void drawLoadingView (juce::Graphics& g) const;

    juce::ScrollBar scrollBar { true };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProductList)
};

// Fills a rounded panel and draws its outline.
void drawPanel (juce::Graphics& g, juce::Rectangle<int> area, float cornerSize);

// A small rounded label on a card.
void drawPill (juce::Graphics& g, juce::Rectangle<int> area, const juce::String& text, juce::Colour colour);
