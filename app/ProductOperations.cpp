#include "ProductOperations.h"

#include "GuiStrings.h"
#include "install/InstallFolders.h"
#include "package/IsolatedExtractor.h"
#include "products/InstallPlan.h"

using namespace zorvaplugins::zorvamanager;

// What an install's completion needs, copied when the job is queued.
struct ProductOperations::InstallJob
{
    std::string slug;
    juce::String name;
};

struct ProductOperations::RemoveJob
{
    std::string slug;
    juce::String name;
};

ProductOperations::ProductOperations (Host& owner)
    : host (owner)
{}

void ProductOperations::installOrUpdateProduct (int rowIndex)
{
    const auto& rows = host.productList().rows();

    if (rowIndex < 0 || static_cast<std::size_t> (rowIndex) >= rows.size())
        return;

    const auto row = rows[static_cast<std::size_t> (rowIndex)];

    if (row.info == nullptr || ! row.activity.empty())
        return;

    const auto targets = host.installTargets();

    for (const auto format : install::pluginFormats)
    {
        if (! targets[format].enabled)
            continue;

        if (const auto check = install::canWriteDirectory (targets[format].folder); ! check.ok)
        {
            host.log (LogLevel::error, toGuiString (check.error) + ". Choose a user-writable folder or run ZorvaManager as administrator.");
            return;
        }
    }

    const auto name = toGuiString (row.name);
    auto artifact = products::chooseArtifact (*row.info, targets.vst3.enabled);

    if (! artifact)
    {
        host.log (LogLevel::error, "No compatible artifact available for " + name);
        return;
    }

    host.log (LogLevel::info, (row.installed ? "Updating " : "Installing ") + name);
    host.setRowActivity (row.slug, "Downloading...");

    // The job files the receipt (the catalogue's latest version, whichever release's artifact
    // came) as soon as the bundles are in place, so a window closed just then loses nothing.
    products::InstallJobRequest request { std::move (*artifact), targets, row.info->name, row.info->slug, row.info->latestVersion };
    request.unpackHelper = package::IsolatedExtractor::helperBesideProgram();
    InstallJob job { row.slug, name };

    auto& workers = host.workers();
    products::JobHooks hooks;
    hooks.cancel = workers.cancelFlag();
    hooks.report = [post = workers.poster(), this, slug = row.slug] (const std::string& activity) {
        post ([this, slug, activity] { host.setRowActivity (slug, activity); });
    };

    workers.run<products::InstallOutcome> (
        [request = std::move (request), hooks = std::move (hooks)] { return products::runInstallJob (request, hooks); },
        [this, job = std::move (job)] (products::InstallOutcome outcome) { finishInstall (job, outcome); });
}

void ProductOperations::finishInstall (const InstallJob& job, const products::InstallOutcome& outcome)
{
    host.clearRowActivity (job.slug);

    if (! outcome.ok)
        host.log (LogLevel::error, job.name + ": " + toGuiString (outcome.error));

    for (const auto& path : outcome.installedPaths)
        host.log (LogLevel::info, "Installed " + toGuiString (path.string()));

    if (! outcome.receiptError.empty())
        host.log (LogLevel::warn, "Install receipts could not be saved: " + toGuiString (outcome.receiptError));

    // After a failure too: an update that failed half-way must show what is on disk now.
    host.rescan();
}

void ProductOperations::installAll()
{
    const auto& list = host.productList();
    const auto slugs = products::installCandidates (list.rows(), list.visibleRows());

    if (slugs.empty())
    {
        host.log (LogLevel::info, "Nothing to install or update in the current view.");
        return;
    }

    host.log (LogLevel::info, "Queued " + juce::String (static_cast<int> (slugs.size())) + " product(s) for install/update.");

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
    auto selected = products::pathsToRemove (row.installedPaths, targets.vst3.enabled, targets.clap.enabled);
    const auto name = toGuiString (row.name);

    if (selected.empty())
    {
        host.log (LogLevel::warn, "No installed plugin matches the selected type for " + name);
        return;
    }

    host.log (LogLevel::info, "Removing " + name);
    host.setRowActivity (row.slug, "Removing...");

    RemoveJob job { row.slug, name };
    const auto total = row.installedPaths.size();
    products::JobHooks hooks;
    hooks.cancel = host.workers().cancelFlag();

    // A partial removal (one format kept, or a failure) keeps the receipt; the job forgets it
    // otherwise.
    host.workers().run<products::RemoveOutcome> (
        [selected = std::move (selected),
         total,
         hooks = std::move (hooks),
         catalogueName = row.info != nullptr ? row.info->name : std::string(),
         catalogueSlug = row.info != nullptr ? row.info->slug : std::string()] {
            return products::runRemoveJob (selected, total, hooks, catalogueName, catalogueSlug);
        },
        [this, job = std::move (job)] (products::RemoveOutcome outcome) { finishRemove (job, outcome); });
}

void ProductOperations::finishRemove (const RemoveJob& job, const products::RemoveOutcome& outcome)
{
    host.clearRowActivity (job.slug);

    if (! outcome.ok)
        host.log (LogLevel::error, job.name + ": Remove failed: " + toGuiString (outcome.error));

    host.log (LogLevel::info, "Removed " + juce::String (outcome.removedCount) + " plugin path(s) for " + job.name);

    if (! outcome.receiptError.empty())
        host.log (LogLevel::warn, "Install receipts could not be saved: " + toGuiString (outcome.receiptError));

    host.rescan();
}

void ProductOperations::uninstallAll()
{
    const auto& list = host.productList();
    const auto slugs = products::uninstallCandidates (list.rows(), list.visibleRows());

    if (slugs.empty())
    {
        host.log (LogLevel::info, "Nothing installed to uninstall in the current view.");
        return;
    }

    host.log (LogLevel::info, "Queued " + juce::String (static_cast<int> (slugs.size())) + " product(s) for uninstall.");

    for (const auto& slug : slugs)
        removeProduct (list.indexOfSlug (slug));
}
