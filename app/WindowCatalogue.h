#pragma once

#include "picture/PictureDecoder.h"
#include "products/ProductRow.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <memory>
#include <string>

// The catalogue as the window takes it: the products, or the error to show. One is built per
// load on a pool thread and never changed after it is handed to the message thread.
struct WindowCatalogue
{
    bool ok = false;
    juce::String error;
    zorvaplugins::zorvamanager::products::Catalogue products; // built once on the worker, shared afterwards
};

// Fetches and parses the release catalogue within the bounds of its transfer (time and bytes),
// and stops early when `cancel` is raised. The product pictures come later, card by card
// (ProductPictures). Blocking: pool thread only. Never throws.
std::shared_ptr<const WindowCatalogue> loadWindowCatalogue (const std::string& catalogueUrl, const std::atomic<bool>* cancel);

// A decoded picture as an image the window can draw. Any thread.
juce::Image toImage (const zorvaplugins::zorvamanager::picture::DecodedPicture& picture);
