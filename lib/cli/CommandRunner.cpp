#include "cli/CommandRunner.h"

#include "api/CatalogueEndpoint.h"
#include "api/ReleaseCatalogueParser.h"
#include "cli/Listing.h"
#include "cli/ProductNames.h"
#include "install/InstallFolders.h"
#include "install/InstallPathPolicy.h"
#include "install/InstallReceipts.h"
#include "network/ReleaseFetcher.h"
#include "package/IsolatedExtractor.h"
#include "products/CatalogueLoad.h"
#include "products/InstallPlan.h"
#include "products/ProductJobs.h"
#include "products/ProductRows.h"
#include "products/ProductView.h"

#include <csignal>
#include <functional>
#include <memory>
#include <thread>
#include <unistd.h>

namespace zorvaplugins::zorvamanager::cli
{

namespace
{

// The catalogue's records only: the rows need no pictures, so no product page is fetched.
struct CatalogueRecords
{
    bool ok = false;
    std::string error;
    products::Catalogue products;
};

CatalogueRecords loadCatalogueRecords (const std::string& url, const std::atomic<bool>* cancel)
{
    CatalogueRecords load;
    const products::CatalogueLoadLimits limits;

    try
    {
        network::TransferControl control;
        control.maxBodyBytes = limits.maxCatalogueBytes;
        control.cancel = cancel;
        auto fetched = network::ReleaseFetcher::fetchHttps (url, limits.catalogueTimeoutSeconds, control);

        if (! fetched.ok)
        {
            load.error = "Catalogue fetch failed: " + fetched.error;
            return load;
        }

        auto parsed = api::ReleaseCatalogueParser::parse (fetched.body, cancel);

        if (! parsed.ok)
        {
            load.error =
                cancel != nullptr && cancel->load() ? "Catalogue fetch failed: transfer cancelled" : "Invalid catalogue: " + parsed.error;
            return load;
        }

        load.products = std::make_shared<const std::vector<api::ProductReleaseInfo>> (std::move (parsed.products));
        load.ok = true;
    }
    catch (const std::exception& error)
    {
        load = {};
        load.error = std::string ("Catalogue fetch failed: ") + error.what();
    }

    return load;
}

bool cancelled (const CommandContext& context)
{
    return context.cancel != nullptr && context.cancel->load();
}

// One product's work, prepared on the main thread as the window prepares it on the message
// thread, run on a worker.
struct Task
{
    std::string name;
    std::function<bool()> run; // true when the product succeeded
};

// The state of one command run.
class Run
{
public:
    Run (const Command& commandToRun, const CommandContext& contextToUse, Console& consoleToUse)
        : command (commandToRun)
        , context (contextToUse)
        , console (consoleToUse)
    {
        const auto remembered = install::loadInstallFolderChoice();
        folders.vst3 = command.vst3Folder.empty() ? remembered.vst3 : command.vst3Folder;
        folders.clap = command.clapFolder.empty() ? remembered.clap : command.clapFolder;
    }

    int execute()
    {
        scanInstalled();

        if (command.kind == CommandKind::scan)
        {
            console.write (command.json ? pluginJson (plugins) : pluginTable (plugins));
            return exitSuccess;
        }

        const auto load = loadCatalogueRecords (context.catalogueUrl, context.cancel);

        if (cancelled (context))
            return interrupted();

        if (! load.ok)
        {
            console.problem (load.error);
            return exitCatalogueFailed;
        }

        rows = products::buildRows (load.products, plugins, install::loadReceipts(), {});

        if (command.kind == CommandKind::list)
            return list();

        return operate();
    }

private:
    void scanInstalled()
    {
        for (const auto format : install::pluginFormats)
        {
            auto found = scan::PluginScanner::scanPaths (install::InstallPathPolicy::scanPathsFor (format, folders[format]), format);

            if (! found.ok)
                console.problem ("Installed scan incomplete: " + found.error);

            plugins.insert (plugins.end(), std::make_move_iterator (found.plugins.begin()), std::make_move_iterator (found.plugins.end()));
        }
    }

    products::ProductFilter productFilter() const
    {
        switch (command.view)
        {
            case ListView::installed:
                return products::ProductFilter::myProducts;
            case ListView::updates:
                return products::ProductFilter::myUpdates;
            case ListView::free:
                return products::ProductFilter::freeProducts;
            case ListView::all:
                break;
        }

        return products::ProductFilter::allProducts;
    }

    std::vector<std::size_t> visibleRows() const
    {
        return products::visibleRowIndices (rows, { command.searchText, command.vst3, command.clap, productFilter() });
    }

    int list()
    {
        const auto shown = visibleRows();
        console.write (command.json ? productJson (rows, shown) : productTable (rows, shown));
        return exitSuccess;
    }

    std::vector<std::size_t> chosenRows()
    {
        if (! command.all)
        {
            const auto match = matchProductNames (rows, command.names);

            if (! match.ok)
                console.problem (match.error);

            return match.indices;
        }

        const auto visible = visibleRows();
        std::vector<std::string> slugs;

        if (command.kind == CommandKind::install)
            slugs = products::installCandidates (rows, visible);
        else if (command.kind == CommandKind::remove)
            slugs = products::uninstallCandidates (rows, visible);
        else
            for (const auto index : visible)
                if (rows[index].updateAvailable)
                    slugs.push_back (rows[index].slug);

        std::vector<std::size_t> chosen;

        for (const auto& slug : slugs)
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (rows[i].slug == slug)
                {
                    chosen.push_back (i);
                    break;
                }

        return chosen;
    }

    int operate()
    {
        const auto chosen = chosenRows();

        if (! command.all && chosen.empty())
            return exitUsage;

        if (command.all)
        {
            // The window's texts for its two bulk buttons, without "in the current view".
            const auto removing = command.kind == CommandKind::remove;
            const auto updating = command.kind == CommandKind::update;

            if (chosen.empty())
            {
                console.info (removing       ? "Nothing installed to uninstall."
                                  : updating ? "Nothing to update."
                                             : "Nothing to install or update.");
                return exitSuccess;
            }

            const auto what = removing ? "uninstall." : updating ? "update." : "install/update.";
            console.info ("Queued " + std::to_string (chosen.size()) + " product(s) for " + what);
        }

        std::vector<Task> tasks;

        for (const auto index : chosen)
        {
            if (cancelled (context))
                break;

            if (command.kind == CommandKind::remove)
                prepareRemove (rows[index], tasks);
            else
                prepareInstall (rows[index], tasks);
        }

        runTasks (tasks);

        if (cancelled (context))
            return interrupted();

        return failures > 0 ? exitProductFailed : exitSuccess;
    }

    int interrupted()
    {
        console.problem ("Cancelled.");
        return exitInterrupted;
    }

    void fail (const std::string& line)
    {
        console.problem (line);
        ++failures;
    }

    // The window's installOrUpdateProduct, up to the queueing of the job.
    void prepareInstall (const products::ProductRow& row, std::vector<Task>& tasks)
    {
        const auto button = products::rowButton (row, products::ActionMode::installOrUpdate, true);

        if (command.kind == CommandKind::update && ! row.installed)
            return fail (row.name + " is not installed");

        if (button == products::RowButton::upToDate || row.info == nullptr)
            return console.info (row.name + " is up to date");

        const install::InstallTargets targets { { command.vst3, folders.vst3 }, { command.clap, folders.clap } };

        for (const auto format : install::pluginFormats)
            if (targets[format].enabled)
                if (const auto check = install::canWriteDirectory (targets[format].folder); ! check.ok)
                    return fail (check.error + ". Choose a user-writable folder or run ZorvaManager as administrator.");

        auto artifact = products::chooseArtifact (*row.info, command.vst3);

        if (! artifact)
            return fail ("No compatible artifact available for " + row.name);

        console.info ((row.installed ? "Updating " : "Installing ") + row.name);

        // The job files the receipt (the catalogue's latest version, whichever release's
        // artifact came) as soon as the bundles are in place, so Ctrl+C never leaves new
        // bundles without one.
        products::InstallJobRequest request { std::move (*artifact), targets, row.info->name, row.info->slug, row.info->latestVersion };
        request.unpackHelper = package::IsolatedExtractor::helperBesideProgram();
        const auto name = row.name;

        tasks.push_back ({ name, [this, request = std::move (request), name] {
                              products::JobHooks hooks;
                              hooks.cancel = context.cancel;
                              hooks.report = [this, name] (const std::string& activity) { console.activity (name, activity); };
                              console.activity (name, "Downloading...");
                              const auto outcome = products::runInstallJob (request, hooks);
                              console.finished (name);

                              if (! outcome.ok)
                              {
                                  console.problem (name + ": " + outcome.error);
                                  return false;
                              }

                              for (const auto& path : outcome.installedPaths)
                                  console.info ("Installed " + path.string());

                              if (! outcome.receiptError.empty())
                                  console.problem ("Install receipts could not be saved: " + outcome.receiptError);

                              return true;
                          } });
    }

    // The window's removeProduct, up to the queueing of the job.
    void prepareRemove (const products::ProductRow& row, std::vector<Task>& tasks)
    {
        if (! row.installed)
            return console.info (row.name + " is not installed");

        auto selected = products::pathsToRemove (row.installedPaths, command.vst3, command.clap);

        if (selected.empty())
            return fail ("No installed plugin matches the selected type for " + row.name);

        console.info ("Removing " + row.name);

        const auto total = row.installedPaths.size();
        const auto catalogueName = row.info != nullptr ? row.info->name : std::string();
        const auto catalogueSlug = row.info != nullptr ? row.info->slug : std::string();
        const auto name = row.name;

        tasks.push_back ({ name, [this, selected = std::move (selected), total, catalogueName, catalogueSlug, name] {
                              console.activity (name, "Removing...");
                              products::JobHooks hooks;
                              hooks.cancel = context.cancel;

                              // The job forgets the receipt only when every bundle of the product
                              // went; a partial removal (one format kept, or a failure) keeps it.
                              const auto outcome = products::runRemoveJob (selected, total, hooks, catalogueName, catalogueSlug);
                              console.finished (name);

                              if (! outcome.ok)
                                  console.problem (name + ": Remove failed: " + outcome.error);

                              if (! outcome.receiptError.empty())
                                  console.problem ("Install receipts could not be saved: " + outcome.receiptError);

                              console.info ("Removed " + std::to_string (outcome.removedCount) + " plugin path(s) for " + name);
                              return outcome.ok;
                          } });
    }

    void runTasks (std::vector<Task>& tasks)
    {
        std::atomic<std::size_t> next { 0 };
        std::atomic<int> failed { 0 };

        auto worker = [&] {
            for (auto i = next++; i < tasks.size(); i = next++)
            {
                // A product that has not started when Ctrl+C comes is left as it is.
                if (cancelled (context))
                    return;

                if (! tasks[i].run())
                    ++failed;
            }
        };

        // The jobs file and forget receipts themselves, so a bundle that was installed or
        // removed has its receipt right also after Ctrl+C.
        std::vector<std::thread> threads;
        const auto count = std::min<std::size_t> (static_cast<std::size_t> (command.jobs), tasks.size());

        for (std::size_t i = 0; i < count; ++i)
            threads.emplace_back (worker);

        for (auto& thread : threads)
            thread.join();

        failures += failed.load();
    }

    const Command& command;
    const CommandContext& context;
    Console& console;
    install::FormatFolders folders;
    std::vector<scan::InstalledPlugin> plugins;
    std::vector<products::ProductRow> rows;
    int failures = 0;
};

std::atomic<bool> interruptRequested { false };

extern "C" void onInterrupt (int)
{
    interruptRequested.store (true);
}

void catchInterrupts()
{
    struct sigaction action
    {};
    action.sa_handler = onInterrupt;
    sigemptyset (&action.sa_mask);
    sigaction (SIGINT, &action, nullptr);
    sigaction (SIGTERM, &action, nullptr);

    // A closed pipe on standard output (list | head) must not kill an install half-way.
    std::signal (SIGPIPE, SIG_IGN);
}

} // namespace

int runCommand (const Command& command, const CommandContext& context, Console& console)
{
    return Run (command, context, console).execute();
}

int runCommandLine (int argc, const char* const* argv, const std::string& version)
{
    std::vector<std::string> arguments (argv + 1, argv + argc);
    const auto parsed = parseCommandLine (arguments);

    if (! parsed.ok)
    {
        std::fprintf (stderr, "ZorvaManager: %s\n", parsed.error.c_str());
        return exitUsage;
    }

    if (parsed.command.kind == CommandKind::help)
    {
        std::fputs (usageText().c_str(), stdout);
        return exitSuccess;
    }

    if (parsed.command.kind == CommandKind::version)
    {
        std::printf ("ZorvaManager %s\n", version.c_str());
        return exitSuccess;
    }

    catchInterrupts();
    Console console (stdout, stderr, Console::errorIsTerminal());
    return runCommand (parsed.command, { api::CatalogueEndpoint::catalogueUrl(), &interruptRequested }, console);
}

} // namespace zorvaplugins::zorvamanager::cli
