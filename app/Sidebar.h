#pragma once

#include "products/ProductView.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

// The sidebar panel: three groups of toggles under their titles ("Installation Type", "Type",
// "Show"), laid out and painted from one table. The action mode and the product filter are
// exclusive groups; of the two formats at least one stays on. Each toggle has a component ID,
// its member's name, by which tests find it. Message thread only.
class Sidebar : public juce::Component
{
public:
    Sidebar();

    // A toggle changed the mode, the formats or the filter.
    std::function<void()> onChange;

    zorvaplugins::zorvamanager::products::ActionMode actionMode() const;
    zorvaplugins::zorvamanager::products::ProductFilter productFilter() const;
    bool showVst3() const { return vst3Toggle.getToggleState(); }
    bool showClap() const { return clapToggle.getToggleState(); }

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    enum class Rule
    {
        exclusive, // clicking a toggle turns it on and the others of its group off
        keepOneOn  // any may be turned off, but not the last one that is on
    };

    struct Group
    {
        const char* title;
        Rule rule;
        std::vector<juce::ToggleButton*> toggles;
    };

    // Where each group's title and toggles go inside the panel.
    struct GroupPlace
    {
        juce::Rectangle<int> title;
        std::vector<juce::Rectangle<int>> toggles;
    };

    std::vector<GroupPlace> placeGroups() const;
    void clicked (const Group& group, juce::ToggleButton& toggle);

    juce::ToggleButton installModeToggle, removeModeToggle;
    juce::ToggleButton vst3Toggle, clapToggle;
    juce::ToggleButton allProductsToggle, myProductsToggle, freeProductsToggle, myUpdatesToggle;
    std::vector<Group> groups;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Sidebar)
};
