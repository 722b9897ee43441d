#pragma once

#include "api/ReleaseCatalogue.h"
#include "install/InstallTargets.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::products
{

// Everything an install job needs, copied on the message thread before it is queued.
struct InstallJobRequest
{
    api::ArtifactInfo artifact;
    install::InstallTargets targets; // the formats to install and the folder of each

    // The receipt filed once the bundles are in place (the catalogue's name, slug and latest
    // version); none when the name is empty.
    std::string receiptName {};
    std::string receiptSlug {};
    std::string receiptVersion {};
    // The zorvamanager-unpack program that extracts the package.
    std::filesystem::path unpackHelper {};
};

// How an install ended.
struct InstallOutcome
{
    bool ok = false;
    std::string error;                                 // "Download failed: ..." and so on; empty when ok
    std::vector<std::filesystem::path> installedPaths; // the installer's bundle paths, in its order; empty on failure
    std::string receiptError;                          // why the receipt could not be filed; empty when it was (or none was asked)
};

// What a job may be told, and what it reports while it runs.
struct JobHooks
{
    const std::atomic<bool>* cancel = nullptr;                // set when the window closes
    std::function<void (const std::string& activity)> report; // the row's new activity text
    std::function<void()> bundlesCopied;                      // may be empty; every bundle copied and flushed, about to be put in place
};

// Download, verification, extraction and installation of one artifact, each failure prefixed
// with its step ("Download failed: ", "Verification failed: ", "Extraction failed: ",
// "Install failed: "). The extraction runs in the request's unpack helper under its limits
// (package::IsolatedExtractor), never in this process; a missing helper fails the extraction. Works in a fresh temporary folder that is
// removed on every path, also when a step throws or the job is cancelled. The download is bounded by the artifact's size and 300 seconds;
// while it runs, `report` receives "Downloading... N%" at most about ten times a second, then "Verifying..." and "Installing...". When
// `cancel` becomes true the transfer stops within about a second, the unpack helper is killed at once, and the job ends before its next
// step; an installation already under way completes. Blocking; a pool thread. Never throws.
InstallOutcome runInstallJob (const InstallJobRequest& request, const JobHooks& hooks);

// How a removal ended.
struct RemoveOutcome
{
    bool ok = false;   // every selected bundle was removed
    std::string error; // the text of the last failed removal, or "cancelled"; empty when ok
    int removedCount = 0;
    bool allRemoved = false; // removedCount equals every installed path of the product, selected or not
    std::string receiptError {};
};

// Removes each selected bundle in order with the uninstaller; a failure does not stop the others,
// a cancel does (the bundles not reached stay). `installedPathCount` is the number of all the
// product's installed paths. When every one of them was removed and `receiptName` is not
// empty, the job forgets the product's receipt itself (failure in `receiptError`). Blocking; a
// pool thread. Never throws.
RemoveOutcome runRemoveJob (const std::vector<std::filesystem::path>& selectedPaths,
                            std::size_t installedPathCount,
                            const JobHooks& hooks = {},
                            const std::string& receiptName = {},
                            const std::string& receiptSlug = {});

} // namespace zorvaplugins::zorvamanager::products
