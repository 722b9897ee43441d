#include "ProductListModel.h"

#include <algorithm>

using namespace zorvaplugins::zorvamanager;

juce::Image ProductListModel::pictureFor (const products::ProductRow& row) const
{
    return pictures != nullptr ? pictures->pictureFor (row.pictureKey) : juce::Image();
}

void ProductListModel::showPictures (std::size_t first, std::size_t end, int pictureWidth, int pictureHeight)
{
    if (pictures == nullptr)
        return;

    pictures->setPictureSize (pictureWidth, pictureHeight);
    pictures->show (
        visible.size(), [this] (std::size_t position) -> const std::string& { return allRows[visible[position]].pictureKey; }, first, end);
}

products::RowButton ProductListModel::buttonFor (const products::ProductRow& row) const
{
    return products::rowButton (row, mode, actions && ! loading);
}

bool ProductListModel::isBusy() const
{
    return loading || std::any_of (allRows.begin(), allRows.end(), [] (const products::ProductRow& row) { return ! row.activity.empty(); });
}

void ProductListModel::setRows (std::vector<products::ProductRow> rows, bool keepSelection)
{
    const auto selectedSlug = keepSelection && selected >= 0 && static_cast<std::size_t> (selected) < allRows.size()
        ? std::optional<std::string> (allRows[static_cast<std::size_t> (selected)].slug)
        : std::nullopt;

    allRows = std::move (rows);
    rowCounts = products::countRows (allRows);
    refilter();

    if (selectedSlug)
    {
        for (const auto index : visible)
        {
            if (allRows[index].slug == *selectedSlug)
            {
                selected = static_cast<int> (index);
                notify (Change::rows);
                return;
            }
        }
    }

    notify (Change::content);
}

void ProductListModel::setFilter (products::RowFilter newFilter, products::ActionMode actionMode)
{
    filter = std::move (newFilter);
    mode = actionMode;
    refilter();
    notify (Change::content);
}

void ProductListModel::setLoading (bool isLoading)
{
    loading = isLoading;
    notify (Change::state);
}

void ProductListModel::setActionsEnabled (bool enabled)
{
    actions = enabled;
    notify (Change::state);
}

void ProductListModel::setFailure (const juce::String& text)
{
    failureText = text;
    notify (Change::state);
}

void ProductListModel::setActivity (const std::string& slug, const std::string& text)
{
    for (auto& row : allRows)
        if (row.slug == slug)
            row.activity = text;

    notify (Change::activity);
}

void ProductListModel::select (int rowIndex, bool moved)
{
    selected = rowIndex >= 0 && static_cast<std::size_t> (rowIndex) < allRows.size() ? rowIndex : -1;
    notify (moved ? Change::selectionMoved : Change::selection);
}

int ProductListModel::indexOfSlug (const std::string& slug) const
{
    const auto found =
        std::find_if (allRows.begin(), allRows.end(), [&slug] (const products::ProductRow& row) { return row.slug == slug; });
    return found != allRows.end() ? static_cast<int> (found - allRows.begin()) : -1;
}

void ProductListModel::refilter()
{
    visible = products::visibleRowIndices (allRows, filter);
    selected = visible.empty() ? -1 : static_cast<int> (visible.front());
}

void ProductListModel::notify (Change change)
{
    // A copy: a listener may remove itself while it is told.
    for (auto* listener : std::vector<Listener*> (listeners))
        listener->productListChanged (change);
}
