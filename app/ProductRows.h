#pragma once

#include "ProductRow.h"
#include "scan/PluginScanner.h"

#include <juce_graphics/juce_graphics.h>

#include <map>
#include <string>
#include <vector>

// Joins the catalogue, the installed scan, the pictures and the running activities into
// one row per product, in catalogue order. The rows point into `catalogue`, which must
// outlive them. Message thread.
std::vector<ProductRow> buildProductRows (
    const std::vector<zorvaplugins::zorvamanager::api::ProductReleaseInfo>& catalogue,
    const std::vector<zorvaplugins::zorvamanager::scan::InstalledPlugin>& installedPlugins,
    const std::map<std::string, juce::Image>& productImages,
    const std::map<std::string, juce::String>& activityBySlug);
