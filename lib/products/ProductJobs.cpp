#include "products/ProductJobs.h"

#include "core/TemporaryRoot.h"
#include "crypto/Sha256.h"
#include "install/InstallReceipts.h"
#include "install/PackageInstaller.h"
#include "install/PackageUninstaller.h"
#include "network/ReleaseFetcher.h"
#include "package/IsolatedExtractor.h"
#include "products/InstallPlan.h"

#include <algorithm>
#include <chrono>

namespace zorvaplugins::zorvamanager::products
{

namespace fs = std::filesystem;

namespace
{

constexpr std::int64_t downloadTimeoutSeconds = 300;
constexpr auto progressInterval = std::chrono::milliseconds (100);

// Owns the job's temporary folder: removed with everything in it when the job
// leaves, on every path.
class TemporaryFolder
{
public:
    TemporaryFolder() = default;
    ~TemporaryFolder() { removeNow(); }
    TemporaryFolder (const TemporaryFolder&) = delete;
    TemporaryFolder& operator= (const TemporaryFolder&) = delete;

    void create() { root = core::makeTemporaryRoot(); }
    const fs::path& path() const { return root; }

    void removeNow()
    {
        if (root.empty())
            return;

        std::error_code ignored;
        fs::remove_all (root, ignored);
        root.clear();
    }

private:
    fs::path root;
};

bool cancelled (const JobHooks& hooks)
{
    return hooks.cancel != nullptr && hooks.cancel->load();
}

void report (const JobHooks& hooks, const std::string& activity)
{
    if (hooks.report)
        hooks.report (activity);
}

// "Downloading... N%" from the bytes received against the size the catalogue
// gives, posted only when the figure changes and no more often than every 100
// ms.
class DownloadProgress
{
public:
    DownloadProgress (const JobHooks& jobHooks, std::uint64_t expectedBytes)
        : hooks (jobHooks)
        , expected (expectedBytes)
    {}

    void operator() (std::uint64_t received, std::uint64_t declared)
    {
        const auto total = expected > 0 ? expected : declared;

        if (total == 0 || ! hooks.report)
            return;

        const auto percent = static_cast<int> (std::min<std::uint64_t> (100, received * 100 / total));
        const auto now = std::chrono::steady_clock::now();

        if (percent == lastPercent || now - lastReport < progressInterval)
            return;

        lastPercent = percent;
        lastReport = now;
        hooks.report ("Downloading... " + std::to_string (percent) + "%");
    }

private:
    const JobHooks& hooks;
    std::uint64_t expected;
    int lastPercent = 0;
    std::chrono::steady_clock::time_point lastReport {};
};

InstallOutcome failed (std::string message)
{
    InstallOutcome outcome;
    outcome.error = std::move (message);
    return outcome;
}

InstallOutcome install (const InstallJobRequest& request, const JobHooks& hooks, TemporaryFolder& folder)
{
    try
    {
        folder.create();
    }
    catch (const std::exception& error)
    {
        return failed (std::string ("Download failed: cannot create temporary folder: ") + error.what());
    }

    const auto archive = folder.path() / packageFileName (request.artifact.fileName);
    const auto extracted = folder.path() / "extract";

    network::TransferControl control;
    control.maxBodyBytes = request.artifact.sizeBytes;
    control.cancel = hooks.cancel;
    control.onProgress = DownloadProgress (hooks, request.artifact.sizeBytes);

    const auto download =
        network::ReleaseFetcher::downloadHttpsToFile (request.artifact.downloadUrl, archive, downloadTimeoutSeconds, control);

    if (! download.ok)
        return failed ("Download failed: " + download.error);

    if (cancelled (hooks))
        return failed ("Download failed: transfer cancelled");

    report (hooks, "Verifying...");
    const auto verified = crypto::Sha256::verifyFile (archive, request.artifact.sha256, request.artifact.sizeBytes, hooks.cancel);

    if (! verified.ok)
        return failed ("Verification failed: " + verified.error);

    if (cancelled (hooks))
        return failed ("Verification failed: cancelled");

    report (hooks, "Installing...");

    const auto extraction = package::IsolatedExtractor::extractToDirectory (request.unpackHelper, archive, extracted, hooks.cancel);

    if (! extraction.ok)
        return failed ("Extraction failed: " + extraction.error);

    if (cancelled (hooks))
        return failed ("Extraction failed: cancelled");

    install::PackageInstallRequest installRequest;
    installRequest.targets = request.targets;
    installRequest.cancel = hooks.cancel;
    installRequest.beforePutInPlace = hooks.bundlesCopied;

    auto installed = install::PackageInstaller::installDirectory (extracted, installRequest);

    if (! installed.ok)
        return failed ("Install failed: " + installed.error);

    InstallOutcome outcome;
    outcome.ok = true;
    outcome.installedPaths = std::move (installed.installedPaths);

    if (! request.receiptName.empty())
        if (const auto filed = install::saveReceipt (request.receiptName, request.receiptSlug, request.receiptVersion); ! filed.ok)
            outcome.receiptError = filed.error;

    return outcome;
}

} // namespace

InstallOutcome runInstallJob (const InstallJobRequest& request, const JobHooks& hooks)
{
    try
    {
        TemporaryFolder folder;
        auto outcome = install (request, hooks, folder);

        // Removed before the outcome is handed back, so a completion never sees it.
        folder.removeNow();
        return outcome;
    }
    catch (const std::exception& error)
    {
        return failed (std::string ("Install failed: ") + error.what());
    }
    catch (...)
    {
        return failed ("Install failed: unknown error");
    }
}

RemoveOutcome runRemoveJob (const std::vector<fs::path>& selectedPaths,
                            std::size_t installedPathCount,
                            const JobHooks& hooks,
                            const std::string& receiptName,
                            const std::string& receiptSlug)
{
    RemoveOutcome outcome;

    for (const auto& path : selectedPaths)
    {
        if (cancelled (hooks))
        {
            outcome.error = "cancelled";
            break;
        }

        const auto removed = install::PackageUninstaller::uninstallPluginPath (path, hooks.cancel);

        if (removed.ok)
            ++outcome.removedCount;
        else
            outcome.error = removed.error;
    }

    outcome.ok = outcome.error.empty();
    outcome.allRemoved = static_cast<std::size_t> (outcome.removedCount) == installedPathCount;

    if (outcome.allRemoved && ! receiptName.empty())
        if (const auto forgotten = install::removeReceipt (receiptName, receiptSlug); ! forgotten.ok)
            outcome.receiptError = forgotten.error;

    return outcome;
}

} // namespace zorvaplugins::zorvamanager::products
