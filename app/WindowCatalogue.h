#pragma once

#include "picture/PictureDecoder.h"
#include "products/ProductRow.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The catalogue as the window takes it: the products, their card pictures as images, or the
// error to show. One is built per load on a pool thread and never changed after it is handed
// to the message thread.
struct WindowCatalogue
{
    bool ok = false;
    juce::String error;
    zorvaplugins::zorvamanager::products::Catalogue products; // built once on the worker, shared afterwards
    std::map<std::string, juce::Image> images;                // card-sized, keyed by normaliseName of the product name
};

// Fetches and parses the release catalogue and one card-sized picture per product, within the
// bounds of every transfer (time and bytes), and stops early when `cancel` is raised. Blocking:
// pool thread only. Never throws.
std::shared_ptr<const WindowCatalogue> loadWindowCatalogue (const std::string& catalogueUrl, const std::atomic<bool>* cancel);

// A decoded picture as an image the window can draw. Any thread.
juce::Image toImage (const zorvaplugins::zorvamanager::picture::DecodedPicture& picture);
