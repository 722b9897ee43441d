#pragma once

#include "api/ReleaseCatalogue.h"

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::products
{

// The products of one successful catalogue load, in catalogue order. Shared and never changed,
// so a row's record stays valid for as long as the row holds it, whatever replaces the
// catalogue meanwhile.
using Catalogue = std::shared_ptr<const std::vector<api::ProductReleaseInfo>>;

// One product as the list shows it: the catalogue record joined with what the installed scan
// found and what the receipts remember. A plain value, rebuilt rather than edited. Strings
// are UTF-8.
struct ProductRow
{
    std::string slug;
    std::string name;
    std::string description;      // subtitle, else tagline, else "ZorvaPlugins audio plugin"
    std::string installedVersion; // from the scan, else from the receipt; empty when neither
    std::string latestVersion;
    bool isFree = false;                                 // the catalogue's flag, or a capability exactly "free"
    bool installed = false;                              // at least one scanned plug-in belongs to the product
    bool updateAvailable = false;                        // installed and older than latestVersion
    bool inCatalogue = false;                            // made from a catalogue record
    std::shared_ptr<const api::ProductReleaseInfo> info; // keeps its catalogue alive
    std::vector<std::filesystem::path> installedPaths;   // every scanned plug-in of the product, in scan order
    std::set<std::string> formats;                       // "vst3", "clap" or any artifact format text
    std::string pictureKey;                              // normaliseName of the name: the picture's key
    std::string activity;                                // a running job's text; empty when idle
};

} // namespace zorvaplugins::zorvamanager::products
