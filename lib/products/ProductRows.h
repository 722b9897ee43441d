#pragma once

#include "install/InstallReceipts.h"
#include "products/ProductRow.h"
#include "scan/PluginScanner.h"

#include <map>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::products
{

// Joins the catalogue, the installed scan, the receipts and the running activities into one
// row per product, in catalogue order. A plug-in belongs to a product when the normalised
// stem of its file equals the normalised name or slug of the product; the first non-empty
// scanned version wins over the receipt (found under the name key, then the slug key).
// Pure; any thread (the message thread after every scan). Linear in the sizes of its inputs
// (the plug-ins are grouped by key once).
std::vector<ProductRow> buildRows (const Catalogue& catalogue,
                                   const std::vector<scan::InstalledPlugin>& installedPlugins,
                                   const install::InstallReceipts& receipts,
                                   const std::map<std::string, std::string>& activityBySlug);

// The three counters of the list's header, over all rows.
struct RowCounts
{
    int total = 0;
    int installed = 0;
    int updates = 0;

    bool operator== (const RowCounts& other) const
    {
        return total == other.total && installed == other.installed && updates == other.updates;
    }
};

RowCounts countRows (const std::vector<ProductRow>& rows);

} // namespace zorvaplugins::zorvamanager::products
