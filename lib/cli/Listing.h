#pragma once

#include "products/ProductRow.h"
#include "scan/PluginScanner.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::cli
{

// What `list` and `scan` print. The JSON documents are the stable interface that the README
// describes: members are only ever added, never renamed, removed or changed in meaning. Pure;
// any thread.

// A table with the columns NAME, SLUG, INSTALLED, LATEST, STATE, FORMATS and FREE, one row
// per given row index; "No products." when there are none.
std::string productTable (const std::vector<products::ProductRow>& rows, const std::vector<std::size_t>& shown);

// {"products": [{"slug", "name", "description", "installedVersion" (null when unknown),
// "latestVersion", "installed", "updateAvailable", "free", "formats" (sorted),
// "installedPaths"}]}, pretty-printed with 2 spaces and a final line feed.
std::string productJson (const std::vector<products::ProductRow>& rows, const std::vector<std::size_t>& shown);

// A table with the columns FORMAT, NAME, VERSION and PATH, then the window's line
// "Installed scan: N plugin(s) found.".
std::string pluginTable (const std::vector<scan::InstalledPlugin>& plugins);

// {"plugins": [{"format" ("vst3" or "clap"), "name", "version" (null when unknown), "path"}]}.
std::string pluginJson (const std::vector<scan::InstalledPlugin>& plugins);

// The STATE column: "update available", "installed" or "not installed".
std::string stateText (const products::ProductRow& row);

} // namespace zorvaplugins::zorvamanager::cli
