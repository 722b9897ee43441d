#pragma once

#include "picture/PictureDecoder.h"
#include "products/ProductRow.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <memory>
#include <string>

// What one catalogue load hands back to the message thread. Built on the worker and never
// changed after it is posted.
struct CatalogueLoad
{
    bool ok = false;
    juce::String error;
    zorvaplugins::zorvamanager::products::Catalogue products; // built once on the worker, shared afterwards
};

// Fetches and parses the release catalogue within the bounds of its transfer (time and bytes),
// and stops early when `cancel` is raised. The product pictures come later, card by card
// (ProductPictures). Blocking: pool thread only. Never throws.
std::shared_ptr<const CatalogueLoad> loadCatalogue (const std::string& catalogueUrl, const std::atomic<bool>* cancel);

// A decoded picture as an image the window can draw. Any thread.
juce::Image toImage (const zorvaplugins::zorvamanager::picture::DecodedPicture& picture);
