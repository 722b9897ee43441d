#include "ProductOperations.h"

#include "GuiStrings.h"
#include "core/NameKey.h"
#include "install/InstallFolders.h"
#include "install/InstallReceipts.h"
#include "products/InstallPlan.h"

using namespace zorvaplugins::zorvamanager;

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

namespace
{
// Reads the receipts file, changes it and writes it back (flushed, then renamed over the old
// one); the write's error, or an empty text. The writer thread.
std::string changeReceipts (const std::function<void (install::InstallReceipts&)>& change)
{
    auto receipts = install::loadReceipts();
    change (receipts);

    std::string error;
    install::writeReceipts (install::receiptPath(), receipts, error);
    return error;
}
} // namespace

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

    products::InstallJobRequest request { std::move (*artifact), targets.vst3, targets.clap, targets.vst3Folder, targets.clapFolder };
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
        return changeReceipts ([&] (install::InstallReceipts& receipts) {
            receipts[core::normaliseName (name)] = { name, version };

            if (! slug.empty())
                receipts[core::normaliseName (slug)] = { name, version };
        });
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
        if (! forget)
            return std::string();

        return changeReceipts ([&] (install::InstallReceipts& receipts) {
            receipts.erase (core::normaliseName (name));

            if (! slug.empty())
                receipts.erase (core::normaliseName (slug));
        });
    });
}

void ProductOperations::updateReceiptsThenRescan (const std::string& rowSlug, std::function<std::string()> update)
{
    // The receipts file is written (and flushed) off the message thread, after any earlier
    // write of it. The row stays busy until then, and the rescan that reads the file follows,
    // so the card never offers the finished action again in between.
    host.workers().runInOrder<std::string> (
        [update = std::move (update)] { return update(); },
        [this, rowSlug] (std::string error) {
            if (! error.empty())
                host.log ("WARN", "Install receipts could not be saved: " + toGuiString (error));

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
