#include "ZorvaManagerComponent.h"

#include "AppHelpers.h"
#include "GuiStrings.h"
#include "Layout.h"
#include "Palette.h"
#include "ProductRows.h"
#include "api/CatalogueEndpoint.h"

using namespace zorvaplugins::zorvamanager;
using install::PluginFormat;
using layout::cutLeft;
using layout::cutTop;

namespace
{
constexpr int componentWidth = 1180;
constexpr int componentHeight = 760;
constexpr int margin = 24;

juce::Font fontOf (float height, bool bold)
{
    return juce::Font (juce::Font::getDefaultSansSerifFontName(), height, bold ? juce::Font::bold : juce::Font::plain);
}

// A caption 92 wide, a gap of 8, and the control in the rest of the group.
void placeLabelled (juce::Rectangle<int> group, juce::Label& label, juce::Component& control)
{
    label.setBounds (cutLeft (group, 92));
    cutLeft (group, 8);
    control.setBounds (group);
}

struct Boxes
{
    juce::Rectangle<int> sidebar, topPanel, list, bottomPanel;
};

Boxes boxesFor (int width, int height)
{
    const auto a = juce::jmax (width - 2 * margin, 0);
    const auto b = juce::jmax (height - 2 * margin, 0);
    const auto bottomHeight = juce::jmin (b, 146);

    return { { margin, 124, juce::jmin (a, 250), juce::jmax (b - 270, 0) },
             { 290, 124, juce::jmax (a - 266, 0), juce::jmin (juce::jmax (b - 100, 0), 146) },
             { 290, 286, juce::jmax (a - 266, 0), juce::jmax (b - 432, 0) },
             { margin, margin + b - bottomHeight, a, bottomHeight } };
}

const char* const groupTitles[] = { "Installation Type", "Type", "Show" };
} // namespace

ZorvaManagerComponent::ZorvaManagerComponent()
{
    lookAndFeel.setColour (juce::TextEditor::backgroundColourId, palette::fieldBackground);
    lookAndFeel.setColour (juce::TextEditor::textColourId, palette::primaryText);
    lookAndFeel.setColour (juce::TextEditor::outlineColourId, palette::outline);
    lookAndFeel.setColour (juce::TextEditor::focusedOutlineColourId, palette::accent);
    lookAndFeel.setColour (juce::ComboBox::backgroundColourId, palette::fieldBackground);
    lookAndFeel.setColour (juce::ComboBox::textColourId, palette::primaryText);
    lookAndFeel.setColour (juce::ComboBox::outlineColourId, palette::outline);
    lookAndFeel.setColour (juce::PopupMenu::backgroundColourId, palette::panelFill);
    lookAndFeel.setColour (juce::PopupMenu::textColourId, palette::primaryText);
    setLookAndFeel (&lookAndFeel);

    addAndMakeVisible (productList);
    productList.onRowAction = [this] (int) { reportUnavailable (removeModeToggle.getToggleState() ? "Removing a product" : "Installing a product"); };
    productList.onSelectionChanged = [this] (int) { repaint(); };

    addLabel (searchLabel, "Search");
    addLabel (vst3PathLabel, "VST3 path");
    addLabel (clapPathLabel, "CLAP path");

    addToggle (installModeToggle, "Download / Install", true, [this] { selectExclusive (installModeToggle, { &removeModeToggle }); });
    addToggle (removeModeToggle, "Remove", false, [this] { selectExclusive (removeModeToggle, { &installModeToggle }); });
    addToggle (vst3Toggle, "VST3", true, [this] { keepOneFormat (vst3Toggle); });
    addToggle (clapToggle, "CLAP", true, [this] { keepOneFormat (clapToggle); });

    const std::vector<juce::ToggleButton*> filterToggles { &allProductsToggle, &myProductsToggle, &freeProductsToggle, &myUpdatesToggle };
    addToggle (allProductsToggle, "All Products", true, [this, filterToggles] { selectExclusive (allProductsToggle, filterToggles); });
    addToggle (myProductsToggle, "My Products", false, [this, filterToggles] { selectExclusive (myProductsToggle, filterToggles); });
    addToggle (freeProductsToggle, "Free Products", false, [this, filterToggles] { selectExclusive (freeProductsToggle, filterToggles); });
    addToggle (myUpdatesToggle, "My Updates", false, [this, filterToggles] { selectExclusive (myUpdatesToggle, filterToggles); });

    addAndMakeVisible (searchEditor);
    searchEditor.setText ({}, false);
    searchEditor.setCaretPosition (0);
    searchEditor.setFont (fontOf (16.25f, false));

    vst3Folder = firstDefaultPath (PluginFormat::Vst3);
    clapFolder = firstDefaultPath (PluginFormat::Clap);

    addAndMakeVisible (vst3PathButton);
    addAndMakeVisible (clapPathButton);
    vst3PathButton.onClick = [this] { chooseInstallFolder (PluginFormat::Vst3); };
    clapPathButton.onClick = [this] { chooseInstallFolder (PluginFormat::Clap); };
    updatePathButtons();

    searchEditor.setTextToShowWhenEmpty ("Search products...", palette::secondaryText);
    searchEditor.onTextChange = [this] { updateProductFilters(); };

    addButton (refreshButton, "Refresh catalogue", true, [this] { refreshCatalogue(); });
    addButton (scanButton, "Scan installed", false, [this] { scanInstalled(); });
    addButton (resetPathsButton, "Reset paths", false, [this] { resetInstallFolders(); });
    addButton (installAllButton, "Install / Update All", true, [this] { reportUnavailable ("Install / Update All"); });
    addButton (uninstallAllButton, "Uninstall All", false, [this] { reportUnavailable ("Uninstall All"); });
    addButton (removeSelfButton, "Remove ZorvaManager from this computer", false, [this] { reportUnavailable ("Removing ZorvaManager"); });

    addAndMakeVisible (logEditor);
    logEditor.setMultiLine (true, true);
    logEditor.setReadOnly (true);
    logEditor.setScrollbarsShown (true);
    logEditor.setText ("Ready. ZorvaManager never silently auto-updates plugins.\n", false);

    setSize (componentWidth, componentHeight);

    productList.actionsEnabled = false;
    productList.repaint();
    installAllButton.setEnabled (false);
    uninstallAllButton.setEnabled (false);

    scanInstalled();
    updateProductFilters();
    refreshCatalogue();
}

ZorvaManagerComponent::~ZorvaManagerComponent()
{
    setLookAndFeel (nullptr);

    // Running jobs finish their current transfer and skip the rest; the pool waits for them
    // so that nothing outlives the component. Their posted completions find it gone.
    shuttingDown->store (true);
    threadPool.removeAllJobs (true, -1);
}

void ZorvaManagerComponent::addLabel (juce::Label& label, const juce::String& text)
{
    addAndMakeVisible (label);
    label.setText (text, juce::dontSendNotification);
    label.setColour (juce::Label::textColourId, palette::secondaryText);
    label.setFont (fontOf (15.0f, false));
}

void ZorvaManagerComponent::addToggle (juce::ToggleButton& toggle, const juce::String& text, bool initialState, std::function<void()> onClick)
{
    addAndMakeVisible (toggle);
    toggle.setButtonText (text);
    toggle.setToggleState (initialState, juce::dontSendNotification);
    toggle.setColour (juce::ToggleButton::textColourId, palette::primaryText);
    toggle.onClick = std::move (onClick);
}

void ZorvaManagerComponent::addButton (juce::TextButton& button, const juce::String& text, bool primary, std::function<void()> onClick)
{
    addAndMakeVisible (button);
    button.setButtonText (text);
    button.onClick = std::move (onClick);

    if (primary)
        button.setName ("primary");
}

void ZorvaManagerComponent::selectExclusive (juce::ToggleButton& chosen, const std::vector<juce::ToggleButton*>& group)
{
    for (auto* toggle : group)
        toggle->setToggleState (toggle == &chosen, juce::dontSendNotification);

    chosen.setToggleState (true, juce::dontSendNotification);
    updateProductFilters();
}

void ZorvaManagerComponent::keepOneFormat (juce::ToggleButton& toggle)
{
    if (! vst3Toggle.getToggleState() && ! clapToggle.getToggleState())
        toggle.setToggleState (true, juce::dontSendNotification);

    updateProductFilters();
}

void ZorvaManagerComponent::updatePathButtons()
{
    vst3PathButton.setButtonText (toGuiString (vst3Folder.string()));
    vst3PathButton.setTooltip (toGuiString (vst3Folder.string()));
    clapPathButton.setButtonText (toGuiString (clapFolder.string()));
    clapPathButton.setTooltip (toGuiString (clapFolder.string()));
}

void ZorvaManagerComponent::recountRows()
{
    const auto& rows = productList.rows;
    productList.totalCount = static_cast<int> (rows.size());
    productList.installedCount = static_cast<int> (std::count_if (rows.begin(), rows.end(), [] (const ProductRow& row) { return row.installed; }));
    productList.updateCount = static_cast<int> (std::count_if (rows.begin(), rows.end(), [] (const ProductRow& row) { return row.updateAvailable; }));

    const auto visible = productList.visibleRowIndices();
    productList.selectedIndex = visible.empty() ? -1 : static_cast<int> (visible.front());
}

void ZorvaManagerComponent::updateProductFilters()
{
    const auto search = searchEditor.getText();
    const auto filterMode = myProductsToggle.getToggleState() ? 1
        : freeProductsToggle.getToggleState()                 ? 2
        : myUpdatesToggle.getToggleState()                    ? 3
                                                              : 0;

    productList.actionMode = removeModeToggle.getToggleState() ? 1 : 0;
    productList.filterMode = filterMode;
    productList.showVst3 = vst3Toggle.getToggleState();
    productList.showClap = clapToggle.getToggleState();
    productList.searchText = search;

    recountRows();
    productList.updateScrollRange();
    productList.repaint();

    if (productList.selectedIndex >= 0 && productList.onSelectionChanged)
        productList.onSelectionChanged (productList.selectedIndex);

    repaint();
}

void ZorvaManagerComponent::rebuildRows()
{
    productList.rows = buildProductRows (catalogue, installedPlugins, productImages, activityBySlug);
    recountRows();
    productList.updateScrollRange();
    productList.repaint();

    if (productList.onSelectionChanged)
        productList.onSelectionChanged (productList.selectedIndex);
}

void ZorvaManagerComponent::scanInstalled()
{
    installedPlugins.clear();

    try
    {
        for (const auto format : { PluginFormat::Vst3, PluginFormat::Clap })
        {
            const auto& chosen = format == PluginFormat::Vst3 ? vst3Folder : clapFolder;
            auto found = scan::PluginScanner::scanPaths (scanPathsFor (format, chosen), format);
            installedPlugins.insert (installedPlugins.end(),
                                     std::make_move_iterator (found.begin()),
                                     std::make_move_iterator (found.end()));
        }
    }
    catch (const std::exception& error)
    {
        // A folder that changed under the scan: keep what was found so far and say so.
        log ("WARN", "Installed scan incomplete: " + juce::String (error.what()));
    }

    rebuildRows();
    statusText = "Installed scan: " + juce::String (static_cast<int> (installedPlugins.size())) + " plugin(s) found.";
    log ("INFO", statusText);
    repaint();
}

void ZorvaManagerComponent::chooseInstallFolder (PluginFormat format)
{
    const auto isVst3 = format == PluginFormat::Vst3;
    const auto start = juce::File::getCurrentWorkingDirectory().getChildFile (toGuiString ((isVst3 ? vst3Folder : clapFolder).string()));

    folderChooser = std::make_unique<juce::FileChooser> (isVst3 ? "Select VST3 install folder" : "Select CLAP install folder", start, "*");
    folderChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                                [this, isVst3] (const juce::FileChooser& chooser) {
                                    const auto chosen = chooser.getResult().getFullPathName();

                                    if (chosen.isEmpty())
                                        return;

                                    (isVst3 ? vst3Folder : clapFolder) = std::filesystem::path (chosen.toStdString());
                                    updatePathButtons();
                                    scanInstalled();
                                });
}

void ZorvaManagerComponent::resetInstallFolders()
{
    vst3Folder = firstDefaultPath (PluginFormat::Vst3);
    clapFolder = firstDefaultPath (PluginFormat::Clap);
    updatePathButtons();
    log ("INFO", "Default install paths restored");
    scanInstalled();
}

void ZorvaManagerComponent::reportUnavailable (const juce::String& action)
{
    log ("WARN", action + " is not available in this version yet.");
}

void ZorvaManagerComponent::refreshCatalogue()
{
    if (productList.loading)
        return;

    log ("INFO", "Loading products...");
    statusText = "Loading products...";

    productList.loading = true;
    productList.applyActivityTimerRule();
    productList.repaint();

    refreshButton.setEnabled (false);
    scanButton.setEnabled (false);

    productList.actionsEnabled = false;
    productList.repaint();
    installAllButton.setEnabled (false);
    uninstallAllButton.setEnabled (false);

    juce::Component::SafePointer<ZorvaManagerComponent> safeThis (this);
    auto url = api::CatalogueEndpoint::catalogueUrl();
    auto cancelled = shuttingDown;

    threadPool.addJob ([safeThis, url = std::move (url), cancelled] {
        auto load = loadCatalogue (url, *cancelled);
        juce::MessageManager::callAsync ([safeThis, load] {
            if (auto* component = safeThis.getComponent())
                component->handleCatalogueLoad (*load);
        });
    });
}

void ZorvaManagerComponent::handleCatalogueLoad (const CatalogueLoad& load)
{
    productList.loading = false;
    productList.applyActivityTimerRule();
    productList.repaint();

    refreshButton.setEnabled (true);
    scanButton.setEnabled (true);

    if (load.ok)
    {
        catalogue = load.products;
        productImages = load.images;
        scanInstalled();

        catalogueLoaded = true;
        productList.actionsEnabled = true;
        productList.repaint();
        installAllButton.setEnabled (true);
        uninstallAllButton.setEnabled (true);

        statusText = "Catalogue loaded: " + juce::String (static_cast<int> (catalogue.size())) + " product(s).";
        log ("INFO", statusText);
    }
    else
    {
        statusText = load.error;
        log ("ERROR", statusText);

        productList.actionsEnabled = catalogueLoaded;
        productList.repaint();
        installAllButton.setEnabled (catalogueLoaded);
        uninstallAllButton.setEnabled (catalogueLoaded);
    }

    repaint();
}

void ZorvaManagerComponent::log (const juce::String& level, const juce::String& message)
{
    const auto time = juce::Time::getCurrentTime().formatted ("%H:%M:%S");
    logEditor.moveCaretToEnd();
    logEditor.insertTextAtCaret (time + "  " + level + "  " + message + "\n");
}

void ZorvaManagerComponent::paint (juce::Graphics& g)
{
    const auto width = getWidth();
    const auto height = getHeight();

    g.fillAll (palette::windowBackground);

    const juce::Rectangle<int> header (margin, margin, juce::jmax (width - 2 * margin, 0), 92);
    g.setColour (palette::primaryText);
    g.setFont (fontOf (38.75f, true));
    g.drawText ("ZorvaManager", header.withHeight (40), juce::Justification::centredLeft, true);
    g.setColour (palette::secondaryText);
    g.setFont (fontOf (17.5f, true));
    g.drawText ("Public catalogue downloads.", header.withTrimmedTop (40).withHeight (28), juce::Justification::centredLeft, true);

    const auto boxes = boxesFor (width, height);
    drawPanel (g, boxes.sidebar, 9.0f);
    drawPanel (g, boxes.topPanel, 9.0f);
    drawPanel (g, boxes.bottomPanel, 9.0f);

    // Group titles sit in the first 24 of each group's 34-high title band.
    auto contents = boxes.sidebar.reduced (18);
    const int togglesPerGroup[] = { 2, 2, 4 };
    g.setColour (palette::primaryText);
    g.setFont (fontOf (18.75f, true));

    for (int group = 0; group < 3; ++group)
    {
        auto band = cutTop (contents, 34);
        g.drawText (groupTitles[group], band.withHeight (juce::jmin (24, band.getHeight())), juce::Justification::centredLeft, true);
        cutTop (contents, togglesPerGroup[group] * 34);
        cutTop (contents, group < 2 ? 22 : 0);
    }
}

void ZorvaManagerComponent::resized()
{
    const auto boxes = boxesFor (getWidth(), getHeight());

    auto sidebar = boxes.sidebar.reduced (18);
    const std::vector<std::vector<juce::ToggleButton*>> groups { { &installModeToggle, &removeModeToggle },
                                                                 { &vst3Toggle, &clapToggle },
                                                                 { &allProductsToggle, &myProductsToggle, &freeProductsToggle, &myUpdatesToggle } };

    for (std::size_t group = 0; group < groups.size(); ++group)
    {
        cutTop (sidebar, 34);

        for (auto* toggle : groups[group])
        {
            toggle->setBounds (cutTop (sidebar, 30));
            cutTop (sidebar, 4);
        }

        if (group < 2)
            cutTop (sidebar, 22);
    }

    auto top = boxes.topPanel.reduced (18);

    auto row1 = cutTop (top, 34);
    placeLabelled (cutLeft (row1, 360), searchLabel, searchEditor);
    cutLeft (row1, 12);
    refreshButton.setBounds (cutLeft (row1, 160));
    cutLeft (row1, 10);
    scanButton.setBounds (cutLeft (row1, 140));
    cutLeft (row1, 10);
    resetPathsButton.setBounds (cutLeft (row1, 120));
    cutTop (top, 12);

    auto row2 = cutTop (top, 34);
    placeLabelled (cutLeft (row2, 410), vst3PathLabel, vst3PathButton);
    cutLeft (row2, 18);
    placeLabelled (cutLeft (row2, 410), clapPathLabel, clapPathButton);
    cutTop (top, 12);

    auto row3 = cutTop (top, 34);
    installAllButton.setBounds (cutLeft (row3, 200));
    cutLeft (row3, 10);
    uninstallAllButton.setBounds (cutLeft (row3, 160));
    cutLeft (row3, 20);
    removeSelfButton.setBounds (cutLeft (row3, 300));

    productList.setBounds (boxes.list);

    auto bottom = boxes.bottomPanel.reduced (16);
    cutTop (bottom, 18);
    logEditor.setBounds (bottom);
}
