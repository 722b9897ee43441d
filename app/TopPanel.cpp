#include "TopPanel.h"

#include "Fonts.h"
#include "GuiStrings.h"
#include "Layout.h"
#include "Painting.h"
#include "Palette.h"
#include "ZorvaLookAndFeel.h"

using layout::cutLeft;
using layout::cutTop;
using zorvaplugins::zorvamanager::install::PluginFormat;

namespace
{
// A caption 92 wide, a gap of 8, and the control in the rest of the group.
void placeLabelled (juce::Rectangle<int> group, juce::Label& label, juce::Component& control)
{
    label.setBounds (cutLeft (group, 92));
    cutLeft (group, 8);
    control.setBounds (group);
}
} // namespace

TopPanel::TopPanel()
{
    for (auto [label, text] :
         { std::pair (&searchLabel, "Search"), std::pair (&vst3PathLabel, "VST3 path"), std::pair (&clapPathLabel, "CLAP path") })
    {
        addAndMakeVisible (*label);
        label->setText (text, juce::dontSendNotification);
        label->setFont (fonts::ui (15.0f));
    }

    addAndMakeVisible (searchEditor);
    searchEditor.setFont (fonts::ui (16.25f));
    searchEditor.setTextToShowWhenEmpty ("Search products...", palette::secondaryText);
    // Escape clears the search.
    searchEditor.onEscapeKey = [this] { searchEditor.setText ({}, true); };
    searchEditor.onTextChange = [this] {
        if (onSearchChanged)
            onSearchChanged();
    };

    const auto call = [] (const std::function<void()>& handler) {
        return [&handler] {
            if (handler)
                handler();
        };
    };

    const std::tuple<juce::TextButton*, const char*, std::function<void()>, bool> buttons[] = {
        { &refreshButton, "Refresh catalogue", call (onRefresh), true },
        { &scanButton, "Scan installed", call (onScan), false },
        { &resetPathsButton, "Reset paths", call (onResetPaths), false },
        { &installAllButton, "Install / Update All", call (onInstallAll), true },
        { &uninstallAllButton, "Uninstall All", call (onUninstallAll), false },
        { &removeSelfButton, "Remove ZorvaManager from this computer", call (onRemoveSelf), false },
    };

    for (const auto& [button, text, handler, primary] : buttons)
    {
        addAndMakeVisible (*button);
        button->setButtonText (text);
        button->onClick = handler;
        ZorvaLookAndFeel::reachableByKeyboard (*button);

        if (primary)
            button->setName (ZorvaLookAndFeel::primaryButtonName);
    }

    for (auto [button, format] : { std::pair (&vst3PathButton, PluginFormat::Vst3), std::pair (&clapPathButton, PluginFormat::Clap) })
    {
        addAndMakeVisible (*button);
        ZorvaLookAndFeel::markAsPathButton (*button);
        ZorvaLookAndFeel::reachableByKeyboard (*button);
        button->onClick = [this, format = format] {
            if (onChooseFolder)
                onChooseFolder (format);
        };
    }

    const std::pair<juce::Component*, const char*> ids[] = {
        { &searchLabel, "searchLabel" },
        { &searchEditor, "searchEditor" },
        { &refreshButton, "refreshButton" },
        { &scanButton, "scanButton" },
        { &resetPathsButton, "resetPathsButton" },
        { &vst3PathLabel, "vst3PathLabel" },
        { &vst3PathButton, "vst3PathButton" },
        { &clapPathLabel, "clapPathLabel" },
        { &clapPathButton, "clapPathButton" },
        { &installAllButton, "installAllButton" },
        { &uninstallAllButton, "uninstallAllButton" },
        { &removeSelfButton, "removeSelfButton" },
    };

    for (const auto& [control, id] : ids)
        control->setComponentID (id);
}

void TopPanel::focusSearch()
{
    searchEditor.grabKeyboardFocus();
    searchEditor.selectAll();
}

void TopPanel::setFolders (const std::filesystem::path& vst3Folder, const std::filesystem::path& clapFolder)
{
    for (auto [button, folder] : { std::pair (&vst3PathButton, &vst3Folder), std::pair (&clapPathButton, &clapFolder) })
    {
        button->setButtonText (shownText::line (folder->string()));
        button->setTooltip (shownText::message (folder->string()));
    }
}

void TopPanel::setAvailability (bool refreshAndScan, bool bulkActions)
{
    refreshButton.setEnabled (refreshAndScan);
    scanButton.setEnabled (refreshAndScan);
    installAllButton.setEnabled (bulkActions);
    uninstallAllButton.setEnabled (bulkActions);
}

void TopPanel::paint (juce::Graphics& g)
{
    drawPanel (g, getLocalBounds(), 9.0f);
}

void TopPanel::resized()
{
    auto contents = getLocalBounds().reduced (18);

    auto row1 = cutTop (contents, 34);
    placeLabelled (cutLeft (row1, 360), searchLabel, searchEditor);
    cutLeft (row1, 12);
    refreshButton.setBounds (cutLeft (row1, 160));
    cutLeft (row1, 10);
    scanButton.setBounds (cutLeft (row1, 140));
    cutLeft (row1, 10);
    resetPathsButton.setBounds (cutLeft (row1, 120));
    cutTop (contents, 12);

    auto row2 = cutTop (contents, 34);
    placeLabelled (cutLeft (row2, 410), vst3PathLabel, vst3PathButton);
    cutLeft (row2, 18);
    placeLabelled (cutLeft (row2, 410), clapPathLabel, clapPathButton);
    cutTop (contents, 12);

    auto row3 = cutTop (contents, 34);
    installAllButton.setBounds (cutLeft (row3, 200));
    cutLeft (row3, 10);
    uninstallAllButton.setBounds (cutLeft (row3, 160));
    cutLeft (row3, 20);
    removeSelfButton.setBounds (cutLeft (row3, 300));
}
