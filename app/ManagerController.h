#pragma once

#include "ProductListModel.h"
#include "ProductOperations.h"
#include "WindowCatalogue.h"
#include "WorkerPool.h"
#include "install/InstallFolders.h"
#include "products/ProductRow.h"
#include "scan/PluginScanner.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The state of the window's toggles and search box, as the filters and the workflows read it.
struct FilterSettings
{
    juce::String searchText;
    bool showVst3 = true;
    bool showClap = true;
    zorvaplugins::zorvamanager::products::ProductFilter productFilter = zorvaplugins::zorvamanager::products::ProductFilter::allProducts;
    zorvaplugins::zorvamanager::products::ActionMode actionMode = zorvaplugins::zorvamanager::products::ActionMode::installOrUpdate;
};

// The rules and the state behind the window: the catalogue and its refresh, the installed scan,
// the rows and their filters, the install folders (kept between runs) and the product
// operations. The component forwards what the user does and hears back through onLog and
// onStateChanged; the product list reads productList(). Nothing here needs a window.
// Message thread only.
class ManagerController : private ProductOperations::Host
{
public:
    // Loads the catalogue on a pool thread; the default reads the maker's catalogue URL.
    using CatalogueLoader = std::function<std::shared_ptr<const WindowCatalogue> (const std::atomic<bool>* cancel)>;

    // Fetches one product picture on a pool thread (tests); the default fetches and decodes
    // it from the product's page.
    explicit ManagerController (CatalogueLoader loader = {}, ProductPictures::Fetch pictureFetch = {});
    ~ManagerController() override;

    // One line for the log panel: its level and the message.
    std::function<void (LogLevel level, const juce::String& message)> onLog;

    // The loading state, the available actions, the folders or the status text changed.
    std::function<void()> onStateChanged;

    // Starts a catalogue load unless one is running.
    void refreshCatalogue();

    // Rescans both formats, rebuilds the rows and logs the count. With `keepSelection` the
    // selection stays on its product while it is still visible.
    void scanInstalled (bool keepSelection = true);

    // Builds the rows again from the catalogue, the last scan, the receipts and the running
    // activities; the list's counters, selection and scroll range follow.
    void rebuildRows (bool keepSelection);

    // Applies the toggles and the search text; the selection moves to the first visible row.
    void updateProductFilters (const FilterSettings& settings);

    // A folder chosen in the folder dialog: kept, saved and rescanned.
    void setInstallFolder (zorvaplugins::zorvamanager::install::PluginFormat format, const std::filesystem::path& folder);

    // "Reset paths": the default folders, saved, logged and rescanned.
    void resetInstallFolders();

    // A row's button: install or update, or remove, as the list's action mode says.
    void rowAction (int rowIndex);
    void selectRow (int rowIndex);

    // The list's keys: the selection moves among the visible rows (one row, a page of
    // `rowsPerPage` rows, or to either end) and stays there at the ends; with no selection,
    // any move selects the first visible row.
    enum class SelectionMove
    {
        up,
        down,
        pageUp,
        pageDown,
        home,
        end
    };

    void moveSelection (SelectionMove move, int rowsPerPage);

    // Enter or Space: the selected row's button acts, under the rules of a click on it (its
    // button must act: not while a catalogue loads, not on a busy, installed or unavailable
    // row). Returns whether it acted.
    bool activateSelection();

    // Sets a product's activity text, on its rows and for rows rebuilt later.
    void setRowActivity (const std::string& slug, const std::string& text) override;

    ProductOperations& operations() { return productOperations; }
    ProductListModel& productList() { return list; }
    const ProductListModel& productList() const override { return list; }

    bool isLoading() const { return list.isLoading(); }
    bool isCatalogueLoaded() const { return catalogueLoaded; }
    bool bulkActionsEnabled() const { return catalogueLoaded && ! list.isLoading(); }
    std::filesystem::path installFolder (zorvaplugins::zorvamanager::install::PluginFormat format) const;
    const juce::String& statusText() const { return status; }
    const zorvaplugins::zorvamanager::products::Catalogue& catalogue() const { return currentCatalogue; }
    ProductPictures& productPictures() { return pictures; }
    const std::vector<zorvaplugins::zorvamanager::scan::InstalledPlugin>& installedPlugins() const { return plugins; }
    const std::map<std::string, std::string>& activities() const { return activityBySlug; }
    int runningJobs() const { return pool.jobCount(); }

    // The worker threads, for the window's own jobs (the desktop integration).
    WorkerPool& workerPool() { return pool; }

private:
    void handleCatalogueLoad (const WindowCatalogue& load);
    void saveFolders();
    void changed();

    // ProductOperations::Host
    zorvaplugins::zorvamanager::install::InstallTargets installTargets() const override;
    void clearRowActivity (const std::string& slug) override;
    void log (LogLevel level, const juce::String& message) override;
    void rescan() override { scanInstalled (true); }
    WorkerPool& workers() override { return pool; }

    CatalogueLoader loadCatalogueWith;
    zorvaplugins::zorvamanager::install::FormatFolders folders;
    std::vector<zorvaplugins::zorvamanager::scan::InstalledPlugin> plugins;
    zorvaplugins::zorvamanager::products::Catalogue currentCatalogue;
    std::map<std::string, std::string> activityBySlug;
    juce::String status { "Ready." };
    bool catalogueLoaded = false;
    ProductListModel list;
    ProductOperations productOperations { *this };
    ProductPictures pictures;

    // Last, so that it goes first: its jobs are stopped and waited for while everything
    // they might report to still exists, and later completions find it gone.
    WorkerPool pool;

    JUCE_DECLARE_NON_COPYABLE (ManagerController)
};
