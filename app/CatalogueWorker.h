#pragma once

#include "api/ReleaseCatalogue.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

// What one catalogue load hands back to the message thread. Built on the worker and never
// changed after it is posted.
struct CatalogueLoad
{
    bool ok = false;
    juce::String error;
    std::vector<zorvaplugins::zorvamanager::api::ProductReleaseInfo> products;
    std::map<std::string, juce::Image> images; // keyed by normaliseName of the product name
};

// Fetches and parses the release catalogue, then one picture per product from the og:image
// of its product page. Blocking: pool thread only. Never throws. When `cancelled` becomes
// true the remaining pictures are skipped, so a closing window waits for one transfer at most.
std::shared_ptr<const CatalogueLoad> loadCatalogue (const std::string& catalogueUrl,
                                                    const std::atomic<bool>& cancelled);

// The product's picture, or an invalid image when the page has none that downloads and
// decodes. Blocking: pool thread only.
juce::Image fetchProductPicture (const zorvaplugins::zorvamanager::api::ProductReleaseInfo& product);
