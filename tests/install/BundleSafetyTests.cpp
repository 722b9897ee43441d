#include "crypto/Sha256.h"
#include "install/FileLock.h"
#include "install/InstallReceipts.h"
#include "install/PackageInstaller.h"
#include "install/PackageUninstaller.h"
#include "package/PackageLayout.h"
#include "scan/PluginScanner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

namespace
{

namespace fs = std::filesystem;
using namespace zorvaplugins::zorvamanager;

// The files of a tree by relative path ("folder/" for folders), with their bytes.
std::map<std::string, std::string> contentsOf (const fs::path& root)
{
    std::map<std::string, std::string> files;

    for (const auto& entry : fs::recursive_directory_iterator (root))
    {
        const auto relative = fs::relative (entry.path(), root).generic_string();
        files[entry.is_directory() ? relative + "/" : relative] = entry.is_directory() ? std::string() : zorvatest::readFile (entry.path());
    }

    return files;
}

std::set<std::string> namesIn (const fs::path& folder)
{
    std::set<std::string> names;

    for (const auto& entry : fs::directory_iterator (folder))
        names.insert (entry.path().filename().string());

    return names;
}

// An extracted package whose bundles "Synth.vst3" and "Synth.clap" hold bytes of their own
// (`seed`) and, per version, a different set of files.
fs::path writeSynthPackage (const fs::path& root, std::uint32_t seed, int fileCount, std::size_t fileBytes)
{
    for (int i = 0; i < fileCount; ++i)
        zorvatest::writeFile (root / ("Synth.vst3/Contents/x86_64-linux/part" + std::to_string (i) + ".bin"),
                              zorvatest::patternBytes (fileBytes, seed + static_cast<std::uint32_t> (i)));

    zorvatest::writeFile (root / "Synth.vst3/Contents/Resources/moduleinfo.json", "{\"Version\": \"" + std::to_string (seed) + "\"}");
    zorvatest::writeFile (root / "Synth.clap", zorvatest::patternBytes (fileBytes, seed + 1000));
    return root;
}

struct Folders
{
    zorvatest::TempDir temp;
    fs::path vst3 = temp / "vst3";
    fs::path clap = temp / "clap";
    fs::path oldPackage = writeSynthPackage (temp / "old", 1, 3, 4096);
    fs::path newPackage = writeSynthPackage (temp / "new", 2, 5, 4096);

    install::PackageInstallRequest request() const { return { { { true, vst3 }, { true, clap } } }; }

    bool holds (const fs::path& package) const
    {
        return contentsOf (vst3 / "Synth.vst3") == contentsOf (package / "Synth.vst3") &&
            zorvatest::readFile (clap / "Synth.clap") == zorvatest::readFile (package / "Synth.clap");
    }
};

TEST (BundleSafety, TheSameBundleFromTwoProcessesIsNeverMixed)
{
    Folders folders;
    const auto first = writeSynthPackage (folders.temp / "first", 10, 8, 256 << 10);
    const auto second = writeSynthPackage (folders.temp / "second", 20, 5, 300 << 10);

    const auto installRepeatedly = [&folders] (const fs::path& package) {
        return [&folders, package] {
            for (int i = 0; i < 12; ++i)
                if (! install::PackageInstaller::installDirectory (package, folders.request()).ok)
                    return 1;

            return 0;
        };
    };

    const auto a = zorvatest::startChild (installRepeatedly (first));
    const auto b = zorvatest::startChild (installRepeatedly (second));

    EXPECT_EQ (zorvatest::waitForChild (a), 0);
    EXPECT_EQ (zorvatest::waitForChild (b), 0);
    EXPECT_TRUE (folders.holds (first) || folders.holds (second)) << "a mixed or partial bundle";
    EXPECT_EQ (namesIn (folders.vst3), std::set<std::string> { "Synth.vst3" }) << "no lock file, temporary or set-aside copy is left";
    EXPECT_EQ (namesIn (folders.clap), std::set<std::string> { "Synth.clap" });
}

TEST (BundleSafety, ReceiptsFromTwoProcessesAreAllKept)
{
    zorvatest::TempDir config;
    zorvatest::ScopedEnv xdg ("XDG_CONFIG_HOME", config.path().string());

    const auto fileReceipts = [] (const std::string& product) {
        return [product] {
            for (int i = 0; i < 40; ++i)
                if (! install::saveReceipt (product + " " + std::to_string (i), "", "1." + std::to_string (i)).ok)
                    return 1;

            return 0;
        };
    };

    const auto a = zorvatest::startChild (fileReceipts ("Alpha"));
    const auto b = zorvatest::startChild (fileReceipts ("Beta"));

    EXPECT_EQ (zorvatest::waitForChild (a), 0);
    EXPECT_EQ (zorvatest::waitForChild (b), 0);

    const auto receipts = install::loadReceipts();
    EXPECT_EQ (receipts.size(), 80u);
    EXPECT_EQ (receipts.at ("alpha39").version, "1.39");
    EXPECT_EQ (receipts.at ("beta0").name, "Beta 0");
}

TEST (BundleSafety, AReceiptKeyWithoutLettersOrDigitsIsNotFiled)
{
    zorvatest::TempDir config;
    zorvatest::ScopedEnv xdg ("XDG_CONFIG_HOME", config.path().string());

    EXPECT_TRUE (install::saveReceipt ("***", "\xc3\xa9\xc3\xa9", "1.0").ok);
    EXPECT_TRUE (install::saveReceipt ("Amp", "---", "2.0").ok);
    EXPECT_EQ (install::loadReceipts(), (install::InstallReceipts { { "amp", { "Amp", "2.0" } } }));
}

// A process that stops after every copy is complete and before the first rename (a crash,
// a kill, a power cut) leaves the old bundles whole under their names; the next install
// clears what it left and succeeds.
TEST (BundleSafety, AStopBetweenCopyAndRenameLeavesTheOldBundlesWhole)
{
    Folders folders;
    ASSERT_TRUE (install::PackageInstaller::installDirectory (folders.oldPackage, folders.request()).ok);

    const auto stopped = zorvatest::runInChild ([&folders] {
        auto request = folders.request();
        request.beforePutInPlace = [] { ::_exit (42); };
        install::PackageInstaller::installDirectory (folders.newPackage, request);
        return 0;
    });

    ASSERT_EQ (stopped, 42);
    EXPECT_TRUE (folders.holds (folders.oldPackage));

    // What the stopped job left is no plug-in to a scan.
    const auto found = scan::PluginScanner::scanPaths ({ folders.vst3 }, install::PluginFormat::Vst3).plugins;
    ASSERT_EQ (found.size(), 1u);
    EXPECT_EQ (found[0].path, folders.vst3 / "Synth.vst3");
    EXPECT_GT (namesIn (folders.vst3).size(), 1u) << "the stopped job's copy is still there";

    const auto again = install::PackageInstaller::installDirectory (folders.newPackage, folders.request());
    ASSERT_TRUE (again.ok) << again.error;
    EXPECT_TRUE (folders.holds (folders.newPackage));
    EXPECT_EQ (namesIn (folders.vst3), std::set<std::string> { "Synth.vst3" });
    EXPECT_EQ (namesIn (folders.clap), std::set<std::string> { "Synth.clap" });
}

// A cancel that comes while the copies are flushed still lets the finished copies go in
// place (the renames are one step); one that comes before stops the install with nothing
// changed.
TEST (BundleSafety, CancelBeforeOrDuringThePutInPlace)
{
    struct Case
    {
        const char* name;
        bool cancelAtStart;
        bool expectNew;
    };

    for (const auto& c : { Case { "at start", true, false }, Case { "before the renames", false, true } })
    {
        Folders folders;
        ASSERT_TRUE (install::PackageInstaller::installDirectory (folders.oldPackage, folders.request()).ok);

        std::atomic<bool> cancel { c.cancelAtStart };
        auto request = folders.request();
        request.cancel = &cancel;
        request.beforePutInPlace = [&cancel] { cancel = true; };

        const auto result = install::PackageInstaller::installDirectory (folders.newPackage, request);

        EXPECT_EQ (result.ok, c.expectNew) << c.name;
        EXPECT_EQ (result.error, c.expectNew ? "" : "cancelled") << c.name;
        EXPECT_TRUE (folders.holds (c.expectNew ? folders.newPackage : folders.oldPackage)) << c.name;
        EXPECT_EQ (namesIn (folders.vst3), std::set<std::string> { "Synth.vst3" }) << c.name;
    }
}

// A bundle held by another job (of this or another process) makes the install wait; the
// wait ends when the holder lets go, or at once when the job is cancelled.
TEST (BundleSafety, ABusyBundleIsWaitedForAndTheWaitCanBeCancelled)
{
    for (const auto cancelTheWait : { false, true })
    {
        Folders folders;
        ASSERT_TRUE (install::PackageInstaller::installDirectory (folders.oldPackage, folders.request()).ok);

        auto held = install::FileLocks::acquire (
            install::bundleLockFile (folders.clap / "Synth.clap"), true, nullptr, std::chrono::milliseconds (-1));
        ASSERT_TRUE (held.ok) << held.error;

        std::atomic<bool> cancel { false };
        std::atomic<bool> waiting { false };
        auto request = folders.request();
        request.cancel = &cancel;
        request.onWaiting = [&waiting] { waiting = true; };

        install::InstallResult result;
        std::thread job ([&] { result = install::PackageInstaller::installDirectory (folders.newPackage, request); });

        while (! waiting)
            std::this_thread::sleep_for (std::chrono::milliseconds (5));

        EXPECT_TRUE (folders.holds (folders.oldPackage)) << "nothing is touched while waiting";

        if (cancelTheWait)
            cancel = true;
        else
            held.lock.release();

        job.join();
        EXPECT_EQ (result.ok, ! cancelTheWait) << result.error;
        EXPECT_TRUE (folders.holds (cancelTheWait ? folders.oldPackage : folders.newPackage));
        held.lock.release();
        EXPECT_EQ (namesIn (folders.vst3), std::set<std::string> { "Synth.vst3" });
        EXPECT_EQ (namesIn (folders.clap), std::set<std::string> { "Synth.clap" });
    }
}

TEST (BundleSafety, RemovalWaitsForTheBundleAndLeavesNothingBehind)
{
    Folders folders;
    ASSERT_TRUE (install::PackageInstaller::installDirectory (folders.oldPackage, folders.request()).ok);
    const auto bundle = folders.vst3 / "Synth.vst3";

    // Leftovers of a stopped job are cleared with the bundle; others' files stay.
    zorvatest::writeTree (folders.vst3,
                          { "Synth.vst3.77-3.zorvamanager-old/Contents/x",
                            "Synth.vst3.zorvamanager-tmp/y",
                            "Other.vst3.1-1.zorvamanager-tmp/z",
                            "Synth.vst3.x.zorvamanager-tmp/w" });

    auto held = install::FileLocks::acquire (install::bundleLockFile (bundle), true, nullptr, std::chrono::milliseconds (-1));
    ASSERT_TRUE (held.ok);

    std::atomic<bool> cancel { false };
    install::UninstallResult cancelled;
    std::thread job ([&] { cancelled = install::PackageUninstaller::uninstallPluginPath (bundle, &cancel); });
    std::this_thread::sleep_for (std::chrono::milliseconds (50));
    cancel = true;
    job.join();
    EXPECT_EQ (cancelled.error, "cancelled");
    EXPECT_TRUE (fs::exists (bundle / "Contents/Resources/moduleinfo.json"));

    held.lock.release();
    const auto removed = install::PackageUninstaller::uninstallPluginPath (bundle);
    EXPECT_TRUE (removed.ok) << removed.error;
    EXPECT_EQ (namesIn (folders.vst3), (std::set<std::string> { "Other.vst3.1-1.zorvamanager-tmp", "Synth.vst3.x.zorvamanager-tmp" }));
}

TEST (BundleSafety, DigestAndLayoutWalkStopWhenCancelled)
{
    zorvatest::TempDir temp;
    const auto package = writeSynthPackage (temp / "package", 3, 2, 1 << 20);
    const std::atomic<bool> cancel { true };

    EXPECT_EQ (crypto::Sha256::verifyFile (package / "Synth.clap", std::string (64, 'a'), 0, &cancel).error, "cancelled");
    EXPECT_EQ (package::PackageLayout::validateDirectory (package, &cancel).error, "cancelled");

    install::PackageInstallRequest request { { { true, temp / "vst3" }, { true, temp / "clap" } } };
    request.cancel = &cancel;
    EXPECT_EQ (install::PackageInstaller::installDirectory (package, request).error, "cancelled");
    EXPECT_FALSE (fs::exists (temp / "vst3"));
}

} // namespace
