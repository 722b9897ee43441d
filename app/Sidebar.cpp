#include "Sidebar.h"

#include "Fonts.h"
#include "Layout.h"
#include "Painting.h"
#include "Palette.h"
#include "TextFit.h"
#include "ZorvaLookAndFeel.h"

#include <tuple>

using namespace zorvaplugins::zorvamanager;
using layout::cutTop;

Sidebar::Sidebar()
{
    groups = {
        { "Installation Type", Rule::exclusive, { &installModeToggle, &removeModeToggle } },
        { "Type", Rule::keepOneOn, { &vst3Toggle, &clapToggle } },
        { "Show", Rule::exclusive, { &allProductsToggle, &myProductsToggle, &freeProductsToggle, &myUpdatesToggle } },
    };

    const std::tuple<juce::ToggleButton*, const char*, const char*> texts[] = {
        { &installModeToggle, "Download / Install", "installModeToggle" },
        { &removeModeToggle, "Remove", "removeModeToggle" },
        { &vst3Toggle, "VST3", "vst3Toggle" },
        { &clapToggle, "CLAP", "clapToggle" },
        { &allProductsToggle, "All Products", "allProductsToggle" },
        { &myProductsToggle, "My Products", "myProductsToggle" },
        { &freeProductsToggle, "Free Products", "freeProductsToggle" },
        { &myUpdatesToggle, "My Updates", "myUpdatesToggle" },
    };

    for (const auto& [toggle, text, id] : texts)
    {
        addAndMakeVisible (*toggle);
        toggle->setButtonText (text);
        toggle->setComponentID (id);
        ZorvaLookAndFeel::reachableByKeyboard (*toggle);
    }

    for (auto* on : { &installModeToggle, &vst3Toggle, &clapToggle, &allProductsToggle })
        on->setToggleState (true, juce::dontSendNotification);

    for (const auto& group : groups)
        for (auto* toggle : group.toggles)
            toggle->onClick = [this, &group, toggle] { clicked (group, *toggle); };
}

void Sidebar::clicked (const Group& group, juce::ToggleButton& toggle)
{
    if (group.rule == Rule::exclusive)
    {
        for (auto* other : group.toggles)
            other->setToggleState (other == &toggle, juce::dontSendNotification);
    }
    else if (std::none_of (group.toggles.begin(), group.toggles.end(), [] (juce::ToggleButton* t) { return t->getToggleState(); }))
    {
        toggle.setToggleState (true, juce::dontSendNotification);
    }

    if (onChange)
        onChange();
}

products::ActionMode Sidebar::actionMode() const
{
    return removeModeToggle.getToggleState() ? products::ActionMode::remove : products::ActionMode::installOrUpdate;
}

products::ProductFilter Sidebar::productFilter() const
{
    if (myProductsToggle.getToggleState())
        return products::ProductFilter::myProducts;

    if (freeProductsToggle.getToggleState())
        return products::ProductFilter::freeProducts;

    if (myUpdatesToggle.getToggleState())
        return products::ProductFilter::myUpdates;

    return products::ProductFilter::allProducts;
}

std::vector<Sidebar::GroupPlace> Sidebar::placeGroups() const
{
    // A title band of 34 (its text in the top 24), toggles of 30 each followed by a gap of 4,
    // and 22 between groups; what does not fit shrinks to nothing rather than overlap.
    auto contents = getLocalBounds().reduced (18);
    std::vector<GroupPlace> places;

    for (std::size_t index = 0; index < groups.size(); ++index)
    {
        GroupPlace place;
        place.title = cutTop (contents, 34);
        place.title.setHeight (juce::jmin (24, place.title.getHeight()));

        for (std::size_t t = 0; t < groups[index].toggles.size(); ++t)
        {
            place.toggles.push_back (cutTop (contents, 30));
            cutTop (contents, 4);
        }

        if (index + 1 < groups.size())
            cutTop (contents, 22);

        places.push_back (std::move (place));
    }

    return places;
}

void Sidebar::paint (juce::Graphics& g)
{
    drawPanel (g, getLocalBounds(), 9.0f);

    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (18.75f, true));
    const auto places = placeGroups();

    for (std::size_t index = 0; index < groups.size(); ++index)
        drawFittedLine (g, groups[index].title, places[index].title, juce::Justification::centredLeft);
}

void Sidebar::resized()
{
    const auto places = placeGroups();

    for (std::size_t index = 0; index < groups.size(); ++index)
        for (std::size_t t = 0; t < groups[index].toggles.size(); ++t)
            groups[index].toggles[t]->setBounds (places[index].toggles[t]);
}
