#pragma once

#include "ZorvaManagerComponent.h"

#include <algorithm>
#include <map>

// Reaches into the component the way its own controls would see it.
struct ZorvaManagerComponentProbe
{
    explicit ZorvaManagerComponentProbe (ZorvaManagerComponent& c)
        : component (c)
    {
    }

    ManagerController& controller() const { return component.controller; }
    ProductList& list() const { return component.productList; }
    Sidebar& sidebar() const { return component.sidebar; }
    TopPanel& topPanel() const { return component.topPanel; }

    juce::StringArray logLines() const
    {
        juce::StringArray lines;
        lines.addLines (component.logPanel.text());
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

    // The level of every log line after the start-up line.
    juce::StringArray levels() const
    {
        juce::StringArray result;

        for (const auto& line : logLines())
            if (line.length() > 10 && line[2] == ':')
                result.add (line.fromFirstOccurrenceOf ("  ", false, false).upToFirstOccurrenceOf ("  ", false, false));

        return result;
    }

    int countLines (const juce::String& message) const
    {
        const auto all = messages();
        return static_cast<int> (std::count (all.begin(), all.end(), message));
    }

    bool hasLineStartingWith (const juce::String& prefix) const
    {
        const auto all = messages();
        return std::any_of (all.begin(), all.end(), [&prefix] (const juce::String& message) { return message.startsWith (prefix); });
    }

    bool loading() const { return controller().isLoading(); }
    bool actionsEnabled() const { return controller().productList().actionsEnabled(); }
    bool catalogueLoaded() const { return controller().isCatalogueLoaded(); }
    bool refreshEnabled() const { return component.topPanel.refreshButton.isEnabled(); }
    bool scanEnabled() const { return component.topPanel.scanButton.isEnabled(); }
    bool installAllEnabled() const { return component.topPanel.installAllButton.isEnabled(); }
    bool uninstallAllEnabled() const { return component.topPanel.uninstallAllButton.isEnabled(); }
    std::size_t catalogueSize() const { return controller().catalogue() != nullptr ? controller().catalogue()->size() : 0; }
    std::size_t rowCount() const { return controller().productList().rows().size(); }
    ProductPictures& pictures() const { return controller().productPictures(); }

    // The pictures in the cache, by key.
    std::map<std::string, juce::Image> images() const
    {
        std::map<std::string, juce::Image> result;

        for (const auto& key : pictures().cachedKeys())
            result[key] = pictures().pictureFor (key);

        return result;
    }
    juce::String statusText() const { return controller().statusText(); }

    struct State
    {
        bool loading, catalogueLoaded, refreshAndScan, bulkActions, actionsEnabled;
    };

    State state() const
    {
        return { loading(), catalogueLoaded(), refreshEnabled() && scanEnabled(), installAllEnabled() && uninstallAllEnabled(), actionsEnabled() };
    }

    // Every control by name.
    std::map<juce::String, juce::Component*> controls() const
    {
        auto& s = component.sidebar;
        auto& t = component.topPanel;
        return { { "installModeToggle", &s.installModeToggle }, { "removeModeToggle", &s.removeModeToggle }, { "vst3Toggle", &s.vst3Toggle }, { "clapToggle", &s.clapToggle }, { "allProductsToggle", &s.allProductsToggle }, { "myProductsToggle", &s.myProductsToggle }, { "freeProductsToggle", &s.freeProductsToggle }, { "myUpdatesToggle", &s.myUpdatesToggle }, { "searchLabel", &t.searchLabel }, { "searchEditor", &t.searchEditor }, { "refreshButton", &t.refreshButton }, { "scanButton", &t.scanButton }, { "resetPathsButton", &t.resetPathsButton }, { "vst3PathLabel", &t.vst3PathLabel }, { "vst3PathButton", &t.vst3PathButton }, { "clapPathLabel", &t.clapPathLabel }, { "clapPathButton", &t.clapPathButton }, { "installAllButton", &t.installAllButton }, { "uninstallAllButton", &t.uninstallAllButton }, { "removeSelfButton", &t.removeSelfButton }, { "productList", &component.productList }, { "logEditor", &component.logPanel.editor } };
    }

    // A control's bounds in the main component's coordinates.
    juce::Rectangle<int> boundsOf (const juce::String& name) const
    {
        auto* control = controls().at (name);
        return component.getLocalArea (control->getParentComponent(), control->getBounds());
    }

    juce::Button& button (const juce::String& name) const { return *dynamic_cast<juce::Button*> (controls().at (name)); }

    ZorvaManagerComponent& component;
};
