#pragma once

#include "ZorvaManagerComponent.h"

#include <algorithm>
#include <map>

// Reaches into the component the way its own controls would see it.
struct ZorvaManagerComponentProbe
{
    explicit ZorvaManagerComponentProbe (ZorvaManagerComponent& c)
        : component (c)
    {}

    juce::StringArray logLines() const
    {
        juce::StringArray lines;
        lines.addLines (component.logEditor.getText());
        lines.removeEmptyStrings();
        return lines;
    }

    // The messages of the log lines after the start-up line, without time and level.
    juce::StringArray messages() const
    {
        juce::StringArray result;

        for (const auto& line : logLines())
            if (line.length() > 10 && line[2] == ':')
                result.add (line.fromFirstOccurrenceOf ("  ", false, false).fromFirstOccurrenceOf ("  ", false, false));

        return result;
    }

    int countLines (const juce::String& message) const
    {
        const auto all = messages();
        return static_cast<int> (std::count (all.begin(), all.end(), message));
    }

    bool hasLineStartingWith (const juce::String& prefix) const
    {
        for (const auto& message : messages())
            if (message.startsWith (prefix))
                return true;

        return false;
    }

    bool loading() const { return component.productList.loading; }
    bool actionsEnabled() const { return component.productList.actionsEnabled; }
    bool catalogueLoaded() const { return component.catalogueLoaded; }
    bool refreshEnabled() const { return component.refreshButton.isEnabled(); }
    bool scanEnabled() const { return component.scanButton.isEnabled(); }
    bool installAllEnabled() const { return component.installAllButton.isEnabled(); }
    bool uninstallAllEnabled() const { return component.uninstallAllButton.isEnabled(); }
    std::size_t catalogueSize() const { return component.catalogue.size(); }
    std::size_t rowCount() const { return component.productList.rows.size(); }
    const std::map<std::string, juce::Image>& images() const { return component.productImages; }
    juce::String statusText() const { return component.statusText; }

    struct State
    {
        bool loading, catalogueLoaded, refreshAndScan, bulkActions, actionsEnabled;
    };

    State state() const
    {
        return { loading(), catalogueLoaded(), refreshEnabled() && scanEnabled(), installAllEnabled() && uninstallAllEnabled(), actionsEnabled() };
    }

    // Every control by name, for layout checks.
    std::map<juce::String, juce::Component*> controls() const
    {
        auto& c = component;
        return { { "installModeToggle", &c.installModeToggle }, { "removeModeToggle", &c.removeModeToggle }, { "vst3Toggle", &c.vst3Toggle }, { "clapToggle", &c.clapToggle }, { "allProductsToggle", &c.allProductsToggle }, { "myProductsToggle", &c.myProductsToggle }, { "freeProductsToggle", &c.freeProductsToggle }, { "myUpdatesToggle", &c.myUpdatesToggle }, { "searchLabel", &c.searchLabel }, { "searchEditor", &c.searchEditor }, { "refreshButton", &c.refreshButton }, { "scanButton", &c.scanButton }, { "resetPathsButton", &c.resetPathsButton }, { "vst3PathLabel", &c.vst3PathLabel }, { "vst3PathButton", &c.vst3PathButton }, { "clapPathLabel", &c.clapPathLabel }, { "clapPathButton", &c.clapPathButton }, { "installAllButton", &c.installAllButton }, { "uninstallAllButton", &c.uninstallAllButton }, { "removeSelfButton", &c.removeSelfButton }, { "productList", &c.productList }, { "logEditor", &c.logEditor } };
    }

    ZorvaManagerComponent& component;
};
