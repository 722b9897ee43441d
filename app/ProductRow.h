#pragma once

#include "api/ReleaseCatalogue.h"

#include <juce_graphics/juce_graphics.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// One product as the list shows it: the catalogue record joined with what the installed
// scan found. A plain value; rebuilt, never edited.
struct ProductRow
{
    juce::String slug;
    juce::String name;
    juce::String description;
    juce::String installedVersion;
    juce::String latestVersion;
    bool isFree = false;
    bool installed = false;
    bool updateAvailable = false;
    bool inCatalogue = false;
    const zorvaplugins::zorvamanager::api::ProductReleaseInfo* info = nullptr;
    std::vector<std::filesystem::path> installedPaths;
    std::set<std::string> formats;
    juce::Image image;
    juce::String activity;
};
