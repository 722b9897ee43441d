#pragma once

#include "LogPanel.h"
#include "ManagerController.h"
#include "ProductList.h"
#include "Sidebar.h"
#include "TopPanel.h"
#include "ZorvaLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The window's content: the header, the sidebar, the top panel, the product list and the log.
// It lays them out, paints the header and forwards what the user does to its controller,
// which holds the rules and the state. The list's component ID is "productList"; the panels
// give their own controls theirs. Message thread only.
class ZorvaManagerComponent : public juce::Component
{
public:
    static constexpr int defaultWidth = 1180;
    static constexpr int defaultHeight = 760;

    // The smallest size at which every control is whole: the top panel's first row needs 1162
    // across, and below 760 the sidebar's last toggle would shrink below what it has by default.
    static constexpr int minimumWidth = 1162;
    static constexpr int minimumHeight = 760;

    // Builds every control, scans the installed plug-ins, applies the filters and starts the
    // first catalogue load. `loader` replaces the catalogue load (tests); empty is the real one.
    explicit ZorvaManagerComponent (ManagerController::CatalogueLoader loader = {});
    ~ZorvaManagerComponent() override;

    // "Refresh catalogue", as its button and F5 ask for it.
    void refreshCatalogue() { controller.refreshCatalogue(); }

    // Appends "HH:MM:SS  LEVEL  message" to the log panel.
    void log (LogLevel level, const juce::String& message);

    ManagerController& getController() { return controller; }

    // Whether something on it moves now (a spinner or the loading view).
    bool isAnimating() const { return productList.isAnimating(); }

    // Asks the program to quit, as the window's close button does; replaceable for tests.
    std::function<void()> onQuitRequested;

    // Ctrl+F focuses the search box, F5 refreshes the catalogue, wherever the focus is.
    bool keyPressed (const juce::KeyPress& key) override;

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void stateChanged();
    void updateProductFilters();
    void chooseInstallFolder (zorvaplugins::zorvamanager::install::PluginFormat format);
    void confirmRemoveZorvaManager();

    // The tooltip window polls the mouse several times a second for as long as it exists, so
    // it exists only while the mouse is over a control that has a tooltip.
    void mouseEnter (const juce::MouseEvent& event) override;
    void mouseExit (const juce::MouseEvent& event) override;

    ZorvaLookAndFeel lookAndFeel;
    ManagerController controller;
    ProductList productList { controller.productList() };
    Sidebar sidebar;
    TopPanel topPanel;
    LogPanel logPanel;
    std::unique_ptr<juce::TooltipWindow> tooltips;
    std::unique_ptr<juce::FileChooser> folderChooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ZorvaManagerComponent)
};
