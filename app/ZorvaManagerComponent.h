#pragma once

#include "CatalogueWorker.h"
#include "ProductList.h"
#include "ZorvaLookAndFeel.h"
#include "api/ReleaseCatalogue.h"
#include "install/PluginFormat.h"
#include "scan/PluginScanner.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct ZorvaManagerComponentProbe;

// The window's content: every control, the product list, the log panel and the state the
// user sees. Owns the worker pool; jobs work on copies and come back through posted calls
// that check a weak reference first. Message thread only.
class ZorvaManagerComponent : public juce::Component
{
public:
    ZorvaManagerComponent();
    ~ZorvaManagerComponent() override;

    // Starts a catalogue load on the pool unless one is running. Returns at once.
    void refreshCatalogue();

    // Appends "HH:MM:SS  LEVEL  message" to the log panel.
    void log (const juce::String& level, const juce::String& message);

    // Rescans both formats' folders, rebuilds the rows and reports the count.
    void scanInstalled();

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    friend struct ZorvaManagerComponentProbe;

    void addLabel (juce::Label& label, const juce::String& text);
    void addToggle (juce::ToggleButton& toggle, const juce::String& text, bool initialState, std::function<void()> onClick);
    void addButton (juce::TextButton& button, const juce::String& text, bool primary, std::function<void()> onClick);
    void selectExclusive (juce::ToggleButton& chosen, const std::vector<juce::ToggleButton*>& group);
    void keepOneFormat (juce::ToggleButton& toggle);
    void updatePathButtons();
    void updateProductFilters();
    void rebuildRows();
    void recountRows();
    void chooseInstallFolder (zorvaplugins::zorvamanager::install::PluginFormat format);
    void resetInstallFolders();
    void handleCatalogueLoad (const CatalogueLoad& load);
    void reportUnavailable (const juce::String& action);

    ZorvaLookAndFeel lookAndFeel;
    ProductList productList;
    juce::Label vst3PathLabel, clapPathLabel, searchLabel;
    juce::ToggleButton installModeToggle, removeModeToggle;
    juce::ToggleButton vst3Toggle, clapToggle;
    juce::ToggleButton allProductsToggle, myProductsToggle, freeProductsToggle, myUpdatesToggle;
    juce::TextEditor searchEditor;
    juce::TextEditor logEditor;
    juce::TextButton vst3PathButton, clapPathButton;
    std::filesystem::path vst3Folder, clapFolder;
    std::unique_ptr<juce::FileChooser> folderChooser;
    juce::TextButton refreshButton, scanButton, resetPathsButton;
    juce::TextButton installAllButton, uninstallAllButton, removeSelfButton;
    std::vector<zorvaplugins::zorvamanager::scan::InstalledPlugin> installedPlugins;
    std::vector<zorvaplugins::zorvamanager::api::ProductReleaseInfo> catalogue;
    std::map<std::string, juce::Image> productImages;
    juce::String statusText { "Ready." };
    // Shared with running jobs so that a closing window can tell them to wind down early.
    std::shared_ptr<std::atomic<bool>> shuttingDown = std::make_shared<std::atomic<bool>> (false);
    juce::ThreadPool threadPool { 4 };
    std::map<std::string, juce::String> activityBySlug;
    bool catalogueLoaded = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ZorvaManagerComponent)
};
