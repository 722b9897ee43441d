#pragma once

#include "ProductPictures.h"
#include "products/ProductRows.h"
#include "products/ProductView.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// What the product list shows: the rows, the pictures, the filters and what passes them, the
// selection, the counters and the list's state (loading, actions available, a failed first
// load). The controller changes it; the list reads it and hears of each change. Message
// thread only.
class ProductListModel
{
public:
    // What changed, so the list knows whether to bring the selection into view.
    enum class Change
    {
        content,        // rows or filters: the selection moved to the first visible row
        rows,           // rows rebuilt in place: the selection stayed on its product when it could
        selection,      // a click selected a row
        selectionMoved, // the keyboard moved the selection: it is kept in view
        activity,       // a row's activity text
        state,          // loading, actions, failure
        pictures        // a product picture arrived
    };

    struct Listener
    {
        virtual ~Listener() = default;
        virtual void productListChanged (Change change) = 0;
    };

    void addListener (Listener* listener) { listeners.push_back (listener); }
    void removeListener (Listener* listener)
    {
        listeners.erase (std::remove (listeners.begin(), listeners.end(), listener), listeners.end());
    }

    const std::vector<zorvaplugins::zorvamanager::products::ProductRow>& rows() const { return allRows; }
    const std::vector<std::size_t>& visibleRows() const { return visible; }
    int selectedIndex() const { return selected; }
    zorvaplugins::zorvamanager::products::RowCounts counts() const { return rowCounts; }

    // What the buttons do, as they show it and as a click or a key acts; kept here only.
    zorvaplugins::zorvamanager::products::ActionMode actionMode() const { return mode; }

    // The search and the toggles the rows are filtered by (the format toggles also choose what
    // an install takes); kept here only.
    const zorvaplugins::zorvamanager::products::RowFilter& rowFilter() const { return filter; }

    bool isLoading() const { return loading; }
    bool actionsEnabled() const { return actions; }
    const juce::String& failure() const { return failureText; }

    // The picture of a row, or an invalid image while it has none (yet).
    juce::Image pictureFor (const zorvaplugins::zorvamanager::products::ProductRow& row) const;

    // The list shows the visible rows at positions [first, end) with pictures of this size in
    // device pixels: the pictures of those and the nearby rows are wanted.
    void showPictures (std::size_t first, std::size_t end, int pictureWidth, int pictureHeight);

    // A wanted picture arrived.
    void picturesArrived() { notify (Change::pictures); }

    // What a row's button shows and whether a click on it acts; actions wait while a
    // catalogue loads.
    zorvaplugins::zorvamanager::products::RowButton buttonFor (const zorvaplugins::zorvamanager::products::ProductRow& row) const;

    // Loading, or a row has a running job: the list animates.
    bool isBusy() const;

    // New rows from a rebuild. With `keepSelection` the selection stays on the same product
    // while it is still visible; otherwise, and when it is gone, it moves to the first visible row.
    void setRows (std::vector<zorvaplugins::zorvamanager::products::ProductRow> rows, bool keepSelection);
    // Where the pictures come from; none shows every card without its picture.
    void setPictures (ProductPictures* source) { pictures = source; }

    // New filters: the selection moves to the first visible row.
    void setFilter (zorvaplugins::zorvamanager::products::RowFilter filter, zorvaplugins::zorvamanager::products::ActionMode actionMode);

    void setLoading (bool isLoading);
    void setActionsEnabled (bool enabled);
    void setFailure (const juce::String& text);

    // The activity text of every row of one product.
    void setActivity (const std::string& slug, const std::string& text);

    // Selects a row by its index in rows(), or -1 for none; `moved` when the keyboard moved it
    // there and the list keeps it in view.
    void select (int rowIndex, bool moved = false);

    // The index in rows() of the first row with this slug, or -1.
    int indexOfSlug (const std::string& slug) const;

private:
    void refilter();
    void notify (Change change);

    std::vector<zorvaplugins::zorvamanager::products::ProductRow> allRows;
    ProductPictures* pictures = nullptr;
    zorvaplugins::zorvamanager::products::RowFilter filter;
    zorvaplugins::zorvamanager::products::ActionMode mode = zorvaplugins::zorvamanager::products::ActionMode::installOrUpdate;
    std::vector<std::size_t> visible;
    zorvaplugins::zorvamanager::products::RowCounts rowCounts;
    int selected = -1;
    bool loading = false;
    bool actions = false;
    juce::String failureText;
    std::vector<Listener*> listeners;
};
