#pragma once

#include "LogLevel.h"
#include "ProductListModel.h"
#include "WorkerPool.h"
#include "install/InstallTargets.h"
#include "products/ProductJobs.h"

#include <juce_core/juce_core.h>

#include <filesystem>
#include <functional>
#include <string>

// The install, update and remove workflows: the checks and log lines on the message thread,
// the work (and the receipts it files or forgets) on the worker pool, and the completions that
// log and rescan. A product is never worked on twice at once: a start is refused while its row shows
// an activity. Message thread only.
class ProductOperations
{
public:
    // What the workflows need from their owner.
    struct Host
    {
        virtual ~Host() = default;
        virtual const ProductListModel& productList() const = 0;
        // Where installs go and which formats they take, as the user has chosen at this moment.
        virtual zorvaplugins::zorvamanager::install::InstallTargets installTargets() const = 0;
        virtual void setRowActivity (const std::string& slug, const std::string& text) = 0;
        virtual void clearRowActivity (const std::string& slug) = 0;
        virtual void log (LogLevel level, const juce::String& message) = 0;
        virtual void rescan() = 0;
        virtual WorkerPool& workers() = 0;
    };

    explicit ProductOperations (Host& owner);

    // Checks the folders of the enabled formats, picks the Linux artifact, logs "Installing "
    // or "Updating ", marks the row "Downloading..." and queues the job.
    void installOrUpdateProduct (int rowIndex);

    // Queues every visible row that is not installed or has an update.
    void installAll();

    // Queues the removal of the row's bundles of the enabled formats.
    void removeProduct (int rowIndex);

    // Queues the removal of every visible installed row.
    void uninstallAll();

private:
    struct InstallJob;
    struct RemoveJob;

    void finishInstall (const InstallJob& job, const zorvaplugins::zorvamanager::products::InstallOutcome& outcome);
    void finishRemove (const RemoveJob& job, const zorvaplugins::zorvamanager::products::RemoveOutcome& outcome);

    Host& host;
};
