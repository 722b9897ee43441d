#pragma once

#include "ZorvaManagerComponent.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// Reaches into the window the way a user or a tool would: each control by its component ID,
// the rules and the state through the controller.
struct ZorvaManagerComponentProbe
{
    explicit ZorvaManagerComponentProbe (ZorvaManagerComponent& c)
        : component (c)
    {}

    // The component ID of every control the window lays out.
    static constexpr const char* controlIds[] = { "installModeToggle", "removeModeToggle", "vst3Toggle",         "clapToggle",
                                                  "allProductsToggle", "myProductsToggle", "freeProductsToggle", "myUpdatesToggle",
                                                  "searchLabel",       "searchEditor",     "refreshButton",      "scanButton",
                                                  "resetPathsButton",  "vst3PathLabel",    "vst3PathButton",     "clapPathLabel",
                                                  "clapPathButton",    "installAllButton", "uninstallAllButton", "removeSelfButton",
                                                  "productList",       "logEditor" };

    // The one control in the window with this component ID, of this type; throws (and so fails
    // the test) when there is none, more than one, or one of another type.
    template <typename Control = juce::Component>
    Control& control (const juce::String& id) const
    {
        std::vector<juce::Component*> found;
        collect (component, id, found);
        auto* typed = found.size() == 1 ? dynamic_cast<Control*> (found.front()) : nullptr;

        if (typed == nullptr)
            throw std::runtime_error ("no single control of the expected type with the ID " + id.toStdString() + " (" +
                                      std::to_string (found.size()) + " found)");

        return *typed;
    }

    ManagerController& controller() const { return component.getController(); }
    ProductList& list() const { return control<ProductList> ("productList"); }

    juce::StringArray logLines() const
    {
        juce::StringArray lines;
        lines.addLines (control<juce::TextEditor> ("logEditor").getText());
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
    bool refreshEnabled() const { return button ("refreshButton").isEnabled(); }
    bool scanEnabled() const { return button ("scanButton").isEnabled(); }
    bool installAllEnabled() const { return button ("installAllButton").isEnabled(); }
    bool uninstallAllEnabled() const { return button ("uninstallAllButton").isEnabled(); }
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
        return {
            loading(), catalogueLoaded(), refreshEnabled() && scanEnabled(), installAllEnabled() && uninstallAllEnabled(), actionsEnabled()
        };
    }

    // Every control by its ID.
    std::map<juce::String, juce::Component*> controls() const
    {
        std::map<juce::String, juce::Component*> all;

        for (const auto* id : controlIds)
            all[id] = &control (id);

        return all;
    }

    // A control's bounds in the main component's coordinates.
    juce::Rectangle<int> boundsOf (const juce::String& id) const
    {
        auto& found = control (id);
        return component.getLocalArea (found.getParentComponent(), found.getBounds());
    }

    juce::Button& button (const juce::String& id) const { return control<juce::Button> (id); }

    ZorvaManagerComponent& component;

private:
    static void collect (juce::Component& parent, const juce::String& id, std::vector<juce::Component*>& found)
    {
        for (auto* child : parent.getChildren())
        {
            if (child->getComponentID() == id)
                found.push_back (child);

            collect (*child, id, found);
        }
    }
};
