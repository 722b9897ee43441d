#include "ZorvaManagerComponent.h"

#include "DesktopIntegrationPrompts.h"
#include "Fonts.h"
#include "GuiStrings.h"
#include "Palette.h"
#include "TextFit.h"

using zorvaplugins::zorvamanager::install::PluginFormat;

namespace
{
// The window's fixed arrangement: a margin all round, the header across the top, the sidebar
// at the left, the top panel and the list beside it, the log panel across the bottom.
constexpr int margin = 24;
constexpr int headerHeight = 92;
constexpr int headerGap = 8; // below the header
constexpr int sidebarWidth = 250;
constexpr int columnGap = 16; // between the sidebar and the panels at its right
constexpr int topPanelHeight = 146;
constexpr int listGap = 16; // between the top panel and the list
constexpr int logGap = 24;  // above the log panel
constexpr int logHeight = 146;

// The header's two lines.
constexpr int titleHeight = 40;
constexpr int subtitleHeight = 28;

struct Boxes
{
    juce::Rectangle<int> sidebar, topPanel, list, bottomPanel;
};

// The top panel's height comes from the space below the header only, so at small heights it
// may reach into the bottom panel; the panels at the sidebar's right keep their place when
// the window is too narrow for the sidebar.
Boxes boxesFor (int width, int height)
{
    const auto innerWidth = juce::jmax (width - 2 * margin, 0);
    const auto innerHeight = juce::jmax (height - 2 * margin, 0);
    const auto belowHeader = innerHeight - headerHeight - headerGap;
    const auto bottomHeight = juce::jmin (innerHeight, logHeight);

    const auto panelsTop = margin + headerHeight + headerGap;
    const auto rightColumnX = margin + sidebarWidth + columnGap;
    const auto rightColumnWidth = juce::jmax (innerWidth - sidebarWidth - columnGap, 0);
    const auto listTop = panelsTop + topPanelHeight + listGap;

    return { { margin, panelsTop, juce::jmin (innerWidth, sidebarWidth), juce::jmax (belowHeader - logGap - logHeight, 0) },
             { rightColumnX, panelsTop, rightColumnWidth, juce::jmin (juce::jmax (belowHeader, 0), topPanelHeight) },
             { rightColumnX, listTop, rightColumnWidth, juce::jmax (belowHeader - topPanelHeight - listGap - logGap - logHeight, 0) },
             { margin, margin + innerHeight - bottomHeight, innerWidth, bottomHeight } };
}
} // namespace

ZorvaManagerComponent::ZorvaManagerComponent (ManagerController::CatalogueLoader loader)
    : controller (std::move (loader))
{
    // The default look-and-feel decides which typeface every font gets, the framework's own
    // included; this one maps the window's fonts to the embedded faces.
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    juce::Typeface::clearTypefaceCache();
    setLookAndFeel (&lookAndFeel);

    controller.onLog = [this] (LogLevel level, const juce::String& message) { log (level, message); };
    controller.onStateChanged = [this] { stateChanged(); };

    addAndMakeVisible (productList);
    productList.setComponentID ("productList");
    productList.onRowClicked = [this] (int index) {
        controller.selectRow (index);
        repaint();
    };
    productList.onRowAction = [this] (int index) { controller.rowAction (index); };
    productList.onMoveSelection = [this] (ManagerController::SelectionMove move, int rowsPerPage) {
        controller.moveSelection (move, rowsPerPage);
    };
    productList.onActivateSelection = [this] { controller.activateSelection(); };

    addAndMakeVisible (sidebar);
    sidebar.onChange = [this] { updateProductFilters(); };

    addAndMakeVisible (topPanel);
    topPanel.onSearchChanged = [this] { updateProductFilters(); };
    topPanel.onRefresh = [this] { refreshCatalogue(); };
    topPanel.onScan = [this] { controller.scanInstalled(); };
    topPanel.onResetPaths = [this] { controller.resetInstallFolders(); };
    topPanel.onChooseFolder = [this] (PluginFormat format) { chooseInstallFolder (format); };
    topPanel.onInstallAll = [this] { controller.operations().installAll(); };
    topPanel.onUninstallAll = [this] { controller.operations().uninstallAll(); };
    topPanel.onRemoveSelf = [this] { confirmRemoveZorvaManager(); };

    addAndMakeVisible (logPanel);

    addMouseListener (this, true);

    onQuitRequested = [] {
        if (auto* application = juce::JUCEApplicationBase::getInstance())
            application->systemRequestedQuit();
    };

    setSize (defaultWidth, defaultHeight);
    stateChanged();

    controller.scanInstalled (false);
    updateProductFilters();
    refreshCatalogue();
}

ZorvaManagerComponent::~ZorvaManagerComponent()
{
    removeMouseListener (this);

    setLookAndFeel (nullptr);

    if (&juce::LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel)
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

void ZorvaManagerComponent::log (LogLevel level, const juce::String& message)
{
    logPanel.append (level, message);
}

void ZorvaManagerComponent::mouseEnter (const juce::MouseEvent& event)
{
    auto* client = dynamic_cast<juce::TooltipClient*> (event.eventComponent);

    if (client != nullptr && client->getTooltip().isNotEmpty() && tooltips == nullptr)
        tooltips = std::make_unique<juce::TooltipWindow> (this, 600);
}

void ZorvaManagerComponent::mouseExit (const juce::MouseEvent& event)
{
    auto* client = dynamic_cast<juce::TooltipClient*> (event.eventComponent);

    if (client != nullptr && client->getTooltip().isNotEmpty())
        tooltips.reset();
}

void ZorvaManagerComponent::stateChanged()
{
    topPanel.setAvailability (! controller.isLoading(), controller.bulkActionsEnabled());
    topPanel.setFolders (controller.installFolder (PluginFormat::Vst3), controller.installFolder (PluginFormat::Clap));
    repaint();
}

void ZorvaManagerComponent::updateProductFilters()
{
    controller.updateProductFilters (
        { topPanel.searchText(), sidebar.showVst3(), sidebar.showClap(), sidebar.productFilter(), sidebar.actionMode() });
}

void ZorvaManagerComponent::chooseInstallFolder (PluginFormat format)
{
    const auto start = juce::File::getCurrentWorkingDirectory().getChildFile (toGuiString (controller.installFolder (format).string()));
    const auto title = "Select " + juce::String (zorvaplugins::zorvamanager::install::formatLabel (format)) + " install folder";

    folderChooser = std::make_unique<juce::FileChooser> (title, start, "*");
    folderChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                                [this, format] (const juce::FileChooser& chooser) {
                                    const auto chosen = chooser.getResult().getFullPathName();

                                    if (chosen.isNotEmpty())
                                        controller.setInstallFolder (format, std::filesystem::path (chosen.toStdString()));
                                });
}

void ZorvaManagerComponent::confirmRemoveZorvaManager()
{
    desktopIntegration::confirmRemoval (*this, [this] {
        if (onQuitRequested)
            onQuitRequested();
    });
}

bool ZorvaManagerComponent::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress ('f', juce::ModifierKeys::commandModifier, 0))
    {
        topPanel.focusSearch();
        return true;
    }

    if (key == juce::KeyPress (juce::KeyPress::F5Key))
    {
        refreshCatalogue();
        return true;
    }

    return false;
}

void ZorvaManagerComponent::paint (juce::Graphics& g)
{
    g.fillAll (palette::windowBackground);

    const juce::Rectangle<int> header (margin, margin, juce::jmax (getWidth() - 2 * margin, 0), headerHeight);
    g.setColour (palette::primaryText);
    g.setFont (fonts::ui (38.75f, true));
    drawFittedLine (g, "ZorvaManager", header.withHeight (titleHeight), juce::Justification::centredLeft);
    g.setColour (palette::secondaryText);
    g.setFont (fonts::ui (17.5f, true));
    drawFittedLine (g,
                    "Public catalogue downloads.",
                    header.withTrimmedTop (titleHeight).withHeight (subtitleHeight),
                    juce::Justification::centredLeft);
}

void ZorvaManagerComponent::resized()
{
    const auto boxes = boxesFor (getWidth(), getHeight());
    sidebar.setBounds (boxes.sidebar);
    topPanel.setBounds (boxes.topPanel);
    productList.setBounds (boxes.list);
    logPanel.setBounds (boxes.bottomPanel);
}
