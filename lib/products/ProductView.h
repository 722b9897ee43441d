#pragma once

#include "products/ProductRow.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::products
{

// Which products the list shows, besides search and formats.
enum class ProductFilter
{
    allProducts,
    myProducts,   // installed
    freeProducts, // free
    myUpdates     // an update is available
};

// What a row's action button does.
enum class ActionMode
{
    installOrUpdate,
    remove
};

// The search, format and product filters of the list.
struct RowFilter
{
    std::string searchText; // UTF-8; surrounding white space is ignored
    bool showVst3 = true;
    bool showClap = true;
    ProductFilter productFilter = ProductFilter::allProducts;
};

// The rows that pass all three filters, in row order: the trimmed search text occurs in the
// name, the description or the slug (case-insensitively, Unicode letters included); the row
// offers a shown format ("vst3" or "clap"); and the product filter lets it pass. Pure; any
// thread.
std::vector<std::size_t> visibleRowIndices (const std::vector<ProductRow>& rows, const RowFilter& filter);

// What a row's action button shows, in order of precedence. One rule for painting and for
// clicks: only installNew, update and remove act.
enum class RowButton
{
    busy,         // a job runs for the product: spinner and its activity text
    unavailable,  // no catalogue yet, or one is loading: "..."
    remove,       // "Remove"
    notInstalled, // remove mode, nothing installed: "Not installed"
    installNew,   // "Download & Install"
    update,       // "Update"
    upToDate      // "Installed"
};

// `actionsEnabled` is false until a catalogue has loaded and while one loads. Pure; any
// thread (the window paints and clicks on the message thread).
RowButton rowButton (const ProductRow& row, ActionMode mode, bool actionsEnabled);

// True for the buttons that start a job when clicked. Pure; any thread.
bool buttonActs (RowButton button);

// The slugs that "Install / Update All" queues: of the given visible rows, in their order,
// those in the catalogue that are not installed or have an update. Busy rows are included;
// their start is refused later, as a single click would be. Pure; any thread (the window's
// message thread, the command line's main thread).
std::vector<std::string> installCandidates (const std::vector<ProductRow>& rows, const std::vector<std::size_t>& visible);

// The slugs that "Uninstall All" queues: the installed rows among the visible ones. Pure;
// any thread.
std::vector<std::string> uninstallCandidates (const std::vector<ProductRow>& rows, const std::vector<std::size_t>& visible);

} // namespace zorvaplugins::zorvamanager::products
