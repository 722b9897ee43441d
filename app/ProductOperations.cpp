#include "ProductOperations.h"

#include "GuiStrings.h"
#include "install/InstallFolders.h"
#include "install/InstallReceipts.h"
#include "products/InstallPlan.h"

using namespace zorvaplugins::zorvamanager;

namespace
{

// Packages are extracted by the helper program that travels beside this executable (usr/bin in
// the AppDir); there is no in-process fallback.
std::filesystem::path unpackHelperBesideExecutable()
{
    const auto executable = juce::File::getSpecialLocation (juce::File::currentExecutableFile);
    return std::filesystem::path (executable.getSiblingFile ("zorvamanager-unpack").getFullPathName().toStdString());
}

} // namespace

// What an install's completion needs, copied when the job is queued.
struct ProductOperations::InstallJob
{
    std::string slug;
    juce::String name;
    std::string catalogueName, catalogueSlug, latestVersion;
};

struct ProductOperations::RemoveJob
{
    std::string slug;
    juce::String name;
    std::string catalogueName, catalogueSlug;
};

ProductOperations::ProductOperations (Host& owner)
    : host (owner)
{
}

void ProductOperations::installOrUpdateProduct (int rowIndex)
{
    const auto& rows = host.productList().rows();

    if (rowIndex < 0 || static_cast<std::size_t> (rowIndex) >= rows.size())
        return;

    const auto row = rows[static_cast<std::size_t> (rowIndex)];

    if (row.info == nullptr || ! row.activity.empty())
        return;

    const auto targets = host.installTargets();

    for (const auto& [enabled, folder] : { std::pair (targets.vst3, targets.vst3Folder), std::pair (targets.clap, targets.clapFolder) })
    {
        std::string error;

        if (enabled && ! install::canWriteDirectory (folder, error))
        {
            host.log ("ERROR", toGuiString (error) + ". Choose a user-writable folder or run ZorvaManager as administrator.");
            return;
        }
    }

    const auto name = toGuiString (row.name);
    auto artifact = products::chooseArtifact (*row.info, targets.vst3);

    if (! artifact)
    {
        host.log ("ERROR", "No compatible artifact available for " + name);
        return;
    }

    host.log ("INFO", (row.installed ? "Updating " : "Installing ") + name);
    host.setRowActivity (row.slug, "Downloading...");

    products::InstallJobRequest request { std::move (*artifact), targets.vst3, targets.clap, targets.vst3Folder, targets.clapFolder, unpackHelperBesideExecutable() };
    InstallJob job { row.slug, name, row.info->name, row.info->slug, row.info->latestVersion };

    auto& workers = host.workers();
    products::JobHooks hooks;
    hooks.cancel = workers.cancelFlag();
    hooks.report = [post = workers.poster(), this, slug = row.slug] (const std::string& activity) {
        post ([this, slug, activity] { host.setRowActivity (slug, activity); });
    };

    workers.run<products::InstallOutcome> ([request = std::move (request), hooks = std::move (hooks)] { return products::runInstallJob (request, hooks); },
                                           [this, job = std::move (job)] (products::InstallOutcome outcome) { finishInstall (job, outcome); });
}

void ProductOperations::finishInstall (const InstallJob& job, const products::InstallOutcome& outcome)
{
    if (! outcome.success)
    {
        host.clearRowActivity (job.slug);
        host.log ("ERROR", job.name + ": " + toGuiString (outcome.message));
        return;
    }

    for (const auto& path : outcome.installedPaths)
        host.log ("INFO", "Installed " + toGuiString (path.string()));

    // The receipt records the catalogue's latest version, whichever release's artifact came.
    updateReceiptsThenRescan (job.slug, [name = job.catalogueName, slug = job.catalogueSlug, version = job.latestVersion] {
        install::saveReceipt (name, slug, version);
    });
}

void ProductOperations::installAll()
{
    const auto& list = host.productList();
    const auto slugs = products::installCandidates (list.rows(), list.visibleRows());

    if (slugs.empty())
    {
        host.log ("INFO", "Nothing to install or update in the current view.");
        return;
    }

    host.log ("INFO", "Queued " + juce::String (static_cast<int> (slugs.size())) + " product(s) for install/update.");

    for (const auto& slug : slugs)
        installOrUpdateProduct (list.indexOfSlug (slug));
}

void ProductOperations::removeProduct (int rowIndex)
{
    const auto& rows = host.productList().rows();

    if (rowIndex < 0 || static_cast<std::size_t> (rowIndex) >= rows.size())
        return;

    const auto row = rows[static_cast<std::size_t> (rowIndex)];

    if (! row.installed || ! row.activity.empty())
        return;

    const auto targets = host.installTargets();
    auto selected = products::pathsToRemove (row.installedPaths, targets.vst3, targets.clap);
    const auto name = toGuiString (row.name);

    if (selected.empty())
    {
        host.log ("WARN", "No installed plugin matches the selected type for " + name);
        return;
    }

    host.log ("INFO", "Removing " + name);
    host.setRowActivity (row.slug, "Removing...");

    RemoveJob job { row.slug, name, row.info != nullptr ? row.info->name : std::string(), row.info != nullptr ? row.info->slug : std::string() };
    const auto total = row.installedPaths.size();

    host.workers().run<products::RemoveOutcome> ([selected = std::move (selected), total] { return products::runRemoveJob (selected, total); },
                                                 [this, job = std::move (job)] (products::RemoveOutcome outcome) { finishRemove (job, outcome); });
}

void ProductOperations::finishRemove (const RemoveJob& job, const products::RemoveOutcome& outcome)
{
    if (! outcome.lastError.empty())
        host.log ("ERROR", job.name + ": Remove failed: " + toGuiString (outcome.lastError));

    host.log ("INFO", "Removed " + juce::String (outcome.removedCount) + " plugin path(s) for " + job.name);

    // A partial removal (one format kept, or a failure) keeps the receipt.
    const auto forget = outcome.allRemoved && ! job.catalogueName.empty();
    updateReceiptsThenRescan (job.slug, [forget, name = job.catalogueName, slug = job.catalogueSlug] {
        if (forget)
            install::removeReceipt (name, slug);
    });
}

void ProductOperations::updateReceiptsThenRescan (const std::string& rowSlug, std::function<void()> update)
{
    // The receipts file is written (and flushed) off the message thread, after any earlier
    // write of it. The row stays busy until then, and the rescan that reads the file follows,
    // so the card never offers the finished action again in between.
    host.workers().runInOrder<bool> (
        [update = std::move (update)] {
            update();
            return true;
        },
        [this, rowSlug] (bool) {
            host.clearRowActivity (rowSlug);
            host.rescan();
        });
}

void ProductOperations::uninstallAll()
{
    const auto& list = host.productList();
    const auto slugs = products::uninstallCandidates (list.rows(), list.visibleRows());

    if (slugs.empty())
    {
        host.log ("INFO", "Nothing installed to uninstall in the current view.");
        return;
    }

    host.log ("INFO", "Queued " + juce::String (static_cast<int> (slugs.size())) + " product(s) for uninstall.");

    for (const auto& slug : slugs)
        removeProduct (list.indexOfSlug (slug));
}
