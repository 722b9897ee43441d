#include "products/ProductJobs.h"

#include "crypto/Sha256.h"
#include "install/FileLock.h"
#include "install/InstallReceipts.h"
#include "install/PackageInstaller.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

// A package of 1 GiB of incompressible data, installed over an older version of itself, with
// the job told to stop (as closing the window does) during each step in turn. Whatever the
// step, the job must end promptly, leave no temporary folder or copy, and leave the bundle
// under its final name whole: the old one without a new receipt, or the new one with it.
namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;
using zorvatest::environment;

constexpr std::uint64_t bigBytes = std::uint64_t (1) << 30;

enum class Step
{
    download,
    verify,
    extract,
    copy,
    rename
};

const char* nameOf (Step step)
{
    switch (step)
    {
        case Step::download:
            return "download";
        case Step::verify:
            return "verify";
        case Step::extract:
            return "extract";
        case Step::copy:
            return "copy";
        case Step::rename:
            return "rename";
    }

    return "?";
}

class LargePackageClose : public ::testing::TestWithParam<Step>
{
protected:
    void SetUp() override
    {
        if (environment ("ZORVAMANAGER_TEST_SERVICE").empty())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";

        // One of these tests at a time, even when the suites run in parallel: each takes about
        // 4 GiB of disk at its peak.
        fs::create_directories (served.parent_path());
        auto turn =
            install::FileLocks::acquire (served.parent_path() / "large-package.lock", false, nullptr, std::chrono::milliseconds (-1));
        ASSERT_TRUE (turn.ok) << turn.error;
        oneAtATime = std::move (turn.lock);

        // The new version: a 1 GiB plug-in binary in its VST3 bundle, and a small CLAP.
        const auto staging = temp / "staging";
        ASSERT_TRUE (zorvatest::writeNoise (staging / "Big.vst3/Contents/x86_64-linux/Big.so", bigBytes, 0x9e3779b97f4a7c15ull));
        zorvatest::writeFile (staging / "Big.vst3/Contents/Resources/moduleinfo.json", "{\"Version\": \"2.0.0\"}");
        zorvatest::writeFile (staging / "Big.clap", "new clap");
        ASSERT_EQ (zorvatest::runShell ("tar -cf " + zorvatest::shellQuote (served.string()) + " -C " +
                                        zorvatest::shellQuote (staging.string()) + " Big.vst3 Big.clap"),
                   0);
        fs::remove_all (staging);

        const auto digest = crypto::Sha256::digestFile (served);
        ASSERT_TRUE (digest.ok) << digest.error;
        artifact.platform = "linux-x64";
        artifact.format = "vst3";
        artifact.downloadUrl = environment ("ZORVAMANAGER_TEST_SERVICE") + "/jobs/" + served.filename().string();
        artifact.fileName = "big.tar";
        artifact.sha256 = digest.hexDigest;
        artifact.sizeBytes = digest.sizeBytes;

        // The old version, installed and remembered.
        zorvatest::writeTree (temp / "old",
                              { "Big.vst3/Contents/Resources/moduleinfo.json",
                                "Big.vst3/Contents/x86_64-linux/Big.so",
                                "Big.vst3/Contents/only-old.txt",
                                "Big.clap" });
        ASSERT_TRUE (install::PackageInstaller::installDirectory (temp / "old", { { { true, vst3 }, { true, clap } } }).ok);
        fs::remove_all (temp / "old");
        ASSERT_TRUE (install::saveReceipt ("Big", "big", "1.0.0").ok);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove (served, ignored);
        fs::remove_all (vst3, ignored);
        fs::remove_all (clap, ignored);
        oneAtATime.release();
    }

    bool holdsOld() const
    {
        return zorvatest::readFile (vst3 / "Big.vst3/Contents/only-old.txt") == "Big.vst3/Contents/only-old.txt" &&
            zorvatest::readFile (clap / "Big.clap") == "Big.clap";
    }

    bool holdsNew() const
    {
        std::error_code ec;
        return ! fs::exists (vst3 / "Big.vst3/Contents/only-old.txt") &&
            fs::file_size (vst3 / "Big.vst3/Contents/x86_64-linux/Big.so", ec) == bigBytes &&
            zorvatest::readFile (clap / "Big.clap") == "new clap";
    }

    static std::set<std::string> namesIn (const fs::path& folder)
    {
        std::set<std::string> names;

        for (const auto& entry : fs::directory_iterator (folder))
            names.insert (entry.path().filename().string());

        return names;
    }

    zorvatest::TempDir temp;
    zorvatest::TempDir scratch;
    zorvatest::TempDir config;
    zorvatest::ScopedEnv tmpdir { "TMPDIR", scratch.path().string() };
    zorvatest::ScopedEnv xdg { "XDG_CONFIG_HOME", config.path().string() };
    fs::path vst3 = temp / "vst3";
    fs::path clap = temp / "clap";
    fs::path served = fs::path (environment ("ZORVAMANAGER_TEST_SERVICE_DATA")) / "jobs" / (std::to_string (::getpid()) + "-big.tar");
    api::ArtifactInfo artifact;
    install::FileLock oneAtATime;
};

TEST_P (LargePackageClose, EndsPromptlyAndLeavesOneWholeBundle)
{
    const auto step = GetParam();
    std::atomic<bool> cancel { false };
    std::atomic<bool> done { false };
    std::chrono::steady_clock::time_point cancelledAt {};

    const auto close = [&] {
        if (! cancel.exchange (true))
            cancelledAt = std::chrono::steady_clock::now();
    };

    products::JobHooks hooks;
    hooks.cancel = &cancel;
    hooks.report = [&] (const std::string& activity) {
        // Reported on the job's thread at the start of the step (the download's once a tenth
        // of the package has come), so the cancel lands inside that step.
        if ((step == Step::download && activity.rfind ("Downloading... ", 0) == 0 && std::stoi (activity.substr (15)) >= 10) ||
            (step == Step::verify && activity == "Verifying...") || (step == Step::extract && activity == "Installing..."))
            close();
    };
    hooks.bundlesCopied = [&] {
        if (step == Step::rename)
            close();
    };

    // The copy step: the cancel comes as soon as the job's copy of the bundle appears.
    std::thread copyWatch ([&] {
        while (step == Step::copy && ! done)
        {
            std::error_code ec;

            for (fs::directory_iterator entry (vst3, ec), end; ! ec && entry != end; entry.increment (ec))
                if (entry->path().extension() == ".zorvamanager-tmp")
                    close();

            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    });

    products::InstallJobRequest request { artifact, { { true, vst3 }, { true, clap } }, "Big", "big", "2.0.0" };
    request.unpackHelper = ZORVAMANAGER_UNPACK_HELPER;
    const auto outcome = products::runInstallJob (request, hooks);
    const auto ended = std::chrono::steady_clock::now();
    done = true;
    copyWatch.join();

    ASSERT_TRUE (cancel) << nameOf (step) << ": the job finished before the cancel came";
    const auto exitSeconds = std::chrono::duration<double> (ended - cancelledAt).count();
    RecordProperty ("exitMilliseconds", static_cast<int> (exitSeconds * 1000));
    std::printf (
        "step %s: ended %.3f s after the cancel (%s)\n", nameOf (step), exitSeconds, outcome.ok ? "installed" : outcome.error.c_str());

    // A liveness bound only: the figure itself is reported, not judged here.
    EXPECT_LT (exitSeconds, 120.0);

    const auto receipts = install::loadReceipts();
    ASSERT_EQ (receipts.count ("big"), 1u);

    if (step == Step::rename)
    {
        // Every copy was complete: the renames are one step and the receipt follows them.
        EXPECT_TRUE (outcome.ok) << outcome.error;
        EXPECT_TRUE (holdsNew());
        EXPECT_EQ (receipts.at ("big").version, "2.0.0");
    }
    else
    {
        EXPECT_FALSE (outcome.ok);
        EXPECT_NE (outcome.error.find ("cancelled"), std::string::npos) << outcome.error;
        EXPECT_TRUE (holdsOld());
        EXPECT_EQ (receipts.at ("big").version, "1.0.0");
    }

    EXPECT_EQ (namesIn (vst3), std::set<std::string> { "Big.vst3" }) << "no temporary or set-aside copy, no lock file";
    EXPECT_EQ (namesIn (clap), std::set<std::string> { "Big.clap" });
    EXPECT_TRUE (namesIn (scratch.path()).empty()) << "no temporary folder";
}

INSTANTIATE_TEST_SUITE_P (EveryStep,
                          LargePackageClose,
                          ::testing::Values (Step::download, Step::verify, Step::extract, Step::copy, Step::rename),
                          [] (const ::testing::TestParamInfo<Step>& param) { return std::string (nameOf (param.param)); });

} // namespace
