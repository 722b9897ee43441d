#include "ManagerController.h"

#include "GuiStrings.h"
#include "api/CatalogueEndpoint.h"
#include "install/InstallPathPolicy.h"
#include "install/InstallReceipts.h"
#include "products/ProductRows.h"

using namespace zorvaplugins::zorvamanager;
using install::PluginFormat;

namespace
{
// The pool is not constructed yet when this is made; its flag is read only by the jobs.
ProductPictures::Fetch fetchFromProductPages (const WorkerPool& pool)
{
    return [&pool] (const products::PictureRequest& request, const std::atomic<bool>& dropped) {
        return toImage (products::fetchProductPicture (request, pool.cancelFlag(), &dropped));
    };
}
} // namespace

ManagerController::ManagerController (CatalogueLoader loader, ProductPictures::Fetch pictureFetch)
    : loadCatalogueWith (std::move (loader))
    , folders (install::loadInstallFolderChoice())
    , pictures ([this] (std::function<juce::Image()> work,
                        std::function<void (juce::Image)> done) { pool.runShort<juce::Image> (std::move (work), std::move (done)); },
                pictureFetch ? std::move (pictureFetch) : fetchFromProductPages (pool))
{
    if (! loadCatalogueWith)
        loadCatalogueWith = [url = api::CatalogueEndpoint::catalogueUrl()] (const std::atomic<bool>* cancel) {
            return loadWindowCatalogue (url, cancel);
        };

    list.setPictures (&pictures);
    pictures.onPictureArrived = [this] { list.picturesArrived(); };
}

ManagerController::~ManagerController() = default;

void ManagerController::log (LogLevel level, const juce::String& message)
{
    if (onLog)
        onLog (level, message);
}

void ManagerController::changed()
{
    if (onStateChanged)
        onStateChanged();
}

void ManagerController::refreshCatalogue()
{
    if (list.isLoading())
        return;

    log (LogLevel::info, "Loading products...");
    status = "Loading products...";
    list.setLoading (true);
    list.setActionsEnabled (false);
    changed();

    pool.run<std::shared_ptr<const WindowCatalogue>> (
        [load = loadCatalogueWith, cancel = pool.cancelFlag()] { return load (cancel); },
        [this] (std::shared_ptr<const WindowCatalogue> load) { handleCatalogueLoad (*load); });
}

void ManagerController::handleCatalogueLoad (const WindowCatalogue& load)
{
    list.setLoading (false);

    if (load.ok)
    {
        currentCatalogue = load.products != nullptr ? load.products : std::make_shared<const std::vector<api::ProductReleaseInfo>>();
        pictures.setSources (products::picturePagesByKey (*currentCatalogue));
        list.setFailure ({});
        scanInstalled (false);

        catalogueLoaded = true;
        list.setActionsEnabled (true);
        status = "Catalogue loaded: " + juce::String (static_cast<int> (currentCatalogue->size())) + " product(s).";
        log (LogLevel::info, status);
    }
    else
    {
        status = load.error;
        log (LogLevel::error, status);

        // A failure after an earlier success keeps that catalogue and gives the actions back.
        list.setActionsEnabled (catalogueLoaded);

        if (! catalogueLoaded)
            list.setFailure (load.error);
    }

    changed();
}

void ManagerController::scanInstalled (bool keepSelection)
{
    plugins.clear();

    // Each format on its own: a folder that fails under one scan costs that format only.
    for (const auto format : install::pluginFormats)
    {
        auto found = scan::PluginScanner::scanPaths (install::InstallPathPolicy::scanPathsFor (format, folders[format]), format);

        if (! found.ok)
            log (LogLevel::warn, "Installed scan incomplete: " + toGuiString (found.error));

        plugins.insert (plugins.end(), std::make_move_iterator (found.plugins.begin()), std::make_move_iterator (found.plugins.end()));
    }

    rebuildRows (keepSelection);
    status = "Installed scan: " + juce::String (static_cast<int> (plugins.size())) + " plugin(s) found.";
    log (LogLevel::info, status);
    changed();
}

void ManagerController::rebuildRows (bool keepSelection)
{
    list.setRows (products::buildRows (currentCatalogue, plugins, install::loadReceipts(), activityBySlug), keepSelection);
}

void ManagerController::updateProductFilters (const FilterSettings& settings)
{
    list.setFilter ({ settings.searchText.toStdString(), settings.showVst3, settings.showClap, settings.productFilter },
                    settings.actionMode);
    changed();
}

std::filesystem::path ManagerController::installFolder (PluginFormat format) const
{
    return folders[format];
}

void ManagerController::setInstallFolder (PluginFormat format, const std::filesystem::path& folder)
{
    folders[format] = folder;
    saveFolders();
    changed();
    scanInstalled();
}

void ManagerController::resetInstallFolders()
{
    folders = install::InstallPathPolicy::defaultInstallFolders();
    saveFolders();
    changed();
    log (LogLevel::info, "Default install paths restored");
    scanInstalled();
}

void ManagerController::saveFolders()
{
    // Written off the message thread, after any earlier write of the file.
    pool.runInOrder<install::FolderResult> ([choice = folders] { return install::saveInstallFolderChoice (choice); },
                                            [this] (install::FolderResult saved) {
                                                if (! saved.ok)
                                                    log (LogLevel::warn,
                                                         "Install folders could not be saved: " + toGuiString (saved.error));
                                            });
}

void ManagerController::rowAction (int rowIndex)
{
    if (list.actionMode() == products::ActionMode::remove)
        productOperations.removeProduct (rowIndex);
    else
        productOperations.installOrUpdateProduct (rowIndex);
}

void ManagerController::selectRow (int rowIndex)
{
    list.select (rowIndex);
}

void ManagerController::moveSelection (SelectionMove move, int rowsPerPage)
{
    const auto& visible = list.visibleRows();

    if (visible.empty())
        return;

    const auto last = static_cast<int> (visible.size()) - 1;
    const auto found = std::find (visible.begin(), visible.end(), static_cast<std::size_t> (list.selectedIndex()));
    const auto page = juce::jmax (1, rowsPerPage);
    auto position = 0;

    if (found != visible.end())
    {
        const auto current = static_cast<int> (found - visible.begin());

        switch (move)
        {
            case SelectionMove::up:
                position = current - 1;
                break;
            case SelectionMove::down:
                position = current + 1;
                break;
            case SelectionMove::pageUp:
                position = current - page;
                break;
            case SelectionMove::pageDown:
                position = current + page;
                break;
            case SelectionMove::home:
                position = 0;
                break;
            case SelectionMove::end:
                position = last;
                break;
        }
    }
    else if (move == SelectionMove::end)
    {
        position = last;
    }

    list.select (static_cast<int> (visible[static_cast<std::size_t> (juce::jlimit (0, last, position))]), true);
}

bool ManagerController::activateSelection()
{
    const auto index = list.selectedIndex();
    const auto& visible = list.visibleRows();

    if (index < 0 || std::find (visible.begin(), visible.end(), static_cast<std::size_t> (index)) == visible.end())
        return false;

    if (! products::buttonActs (list.buttonFor (list.rows()[static_cast<std::size_t> (index)])))
        return false;

    rowAction (index);
    return true;
}

void ManagerController::setRowActivity (const std::string& slug, const std::string& text)
{
    activityBySlug[slug] = text;
    list.setActivity (slug, text);
}

void ManagerController::clearRowActivity (const std::string& slug)
{
    activityBySlug.erase (slug);
    list.setActivity (slug, {});
}

install::InstallTargets ManagerController::installTargets() const
{
    const auto& filter = list.rowFilter();
    return { { filter.showVst3, folders.vst3 }, { filter.showClap, folders.clap } };
}
