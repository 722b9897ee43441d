#include "products/ProductJobs.h"

#include "core/TemporaryRoot.h"
#include "install/PackageInstaller.h"
#include "support/PackageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;
using zorvatest::environment;

// The folders of one job: plug-in folders, and a temporary directory of its own so that
// anything the job leaves behind shows.
class Jobs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (environment ("ZORVAMANAGER_TEST_SERVICE").empty())
            GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";
    }

    // Puts a package where the service serves it and returns its artifact.
    api::ArtifactInfo publish (const zorvatest::PackageRecipe& recipe, const std::string& name)
    {
        const auto served = fs::path (environment ("ZORVAMANAGER_TEST_SERVICE_DATA")) / "jobs" / (token + "-" + name);
        const auto built = zorvatest::writePackage (served, recipe);

        api::ArtifactInfo artifact;
        artifact.platform = "linux-x64";
        artifact.format = "vst3";
        artifact.downloadUrl = urlOf (served.filename().string());
        artifact.fileName = name;
        artifact.sha256 = built.sha256;
        artifact.sizeBytes = built.sizeBytes;
        return artifact;
    }

    std::string urlOf (const std::string& servedName) const { return environment ("ZORVAMANAGER_TEST_SERVICE") + "/jobs/" + servedName; }

    products::InstallJobRequest requestFor (api::ArtifactInfo artifact, bool vst3 = true, bool clap = true) const
    {
        products::InstallJobRequest request { std::move (artifact), { { vst3, temp / "vst3" }, { clap, temp / "clap" } } };
        request.unpackHelper = ZORVAMANAGER_UNPACK_HELPER;
        return request;
    }

    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> names;

        for (const auto& entry : fs::directory_iterator (scratch.path()))
            names.push_back (entry.path().filename().string());

        return names;
    }

    zorvatest::TempDir temp;
    zorvatest::TempDir scratch;
    zorvatest::ScopedEnv tmpdir { "TMPDIR", scratch.path().string() };
    const std::string token = std::to_string (::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const zorvatest::PackageRecipe tape { "Tape Echo", "1.2.0" };
};

// Collects what a job reports, from its own thread.
struct Reports
{
    products::JobHooks hooks (const std::atomic<bool>* cancel = nullptr)
    {
        products::JobHooks result;
        result.cancel = cancel;
        result.report = [this] (const std::string& text) {
            const std::lock_guard<std::mutex> lock (mutex);
            texts.push_back (text);
        };
        return result;
    }

    std::vector<std::string> all()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return texts;
    }

    std::mutex mutex;
    std::vector<std::string> texts;
};

TEST_F (Jobs, InstallsBothFormatsAndCleansUp)
{
    Reports reports;
    const auto outcome = products::runInstallJob (requestFor (publish (tape, "tape-echo-1.2.0.tar.gz")), reports.hooks());

    ASSERT_TRUE (outcome.ok) << outcome.error;
    EXPECT_TRUE (outcome.error.empty());
    // Sorted by their place in the package: Linux/CLAP comes before Linux/VST3.
    EXPECT_EQ (outcome.installedPaths, (std::vector<fs::path> { temp / "clap/Tape Echo.clap", temp / "vst3/Tape Echo.vst3" }));
    EXPECT_EQ (zorvatest::readTree (temp / "vst3/Tape Echo.vst3"), zorvatest::vst3BundleFiles (tape));
    EXPECT_EQ (zorvatest::readFile (temp / "clap/Tape Echo.clap"), zorvatest::clapFile (tape));
    EXPECT_TRUE (leftovers().empty());

    const auto texts = reports.all();
    ASSERT_GE (texts.size(), 2u);
    EXPECT_EQ (texts[texts.size() - 2], "Verifying...");
    EXPECT_EQ (texts.back(), "Installing...");

    for (std::size_t i = 0; i + 2 < texts.size(); ++i)
        EXPECT_EQ (texts[i].rfind ("Downloading... ", 0), 0u) << texts[i];
}

TEST_F (Jobs, EveryFailureNamesItsStepAndLeavesNothingBehind)
{
    // Something already installed that a failing job must not touch.
    zorvatest::writeTree (temp / "vst3", { "Keep.vst3/", "Keep.vst3/file" });

    const auto good = publish (tape, "good.tar.gz");
    auto missing = good;
    missing.downloadUrl = urlOf ("no-such-package.tar.gz");
    auto tooSmall = good;
    tooSmall.sizeBytes = good.sizeBytes + 10;
    auto tooLarge = good;
    tooLarge.sizeBytes = good.sizeBytes - 10;
    auto wrongDigest = good;
    wrongDigest.sha256 = std::string (64, '0');

    auto hostileRecipe = tape;
    hostileRecipe.extra.emplace_back ("../escaped.txt", zorvatest::EntryKind::File, "x");
    auto clapless = tape;
    clapless.withClap = false;

    struct Case
    {
        const char* what;
        products::InstallJobRequest request;
        std::string expected; // the message's beginning
    };

    const Case cases[] = {
        { "not found", requestFor (missing), "Download failed: HTTP request failed" },
        { "smaller than the catalogue says", requestFor (tooSmall), "Verification failed: " },
        { "larger than the catalogue says",
          requestFor (tooLarge),
          "Download failed: response body larger than " + std::to_string (tooLarge.sizeBytes) + " bytes" },
        { "digest mismatch", requestFor (wrongDigest), "Verification failed: " },
        { "hostile archive", requestFor (publish (hostileRecipe, "hostile.tar.gz")), "Extraction failed: " },
        { "package without a CLAP plug-in", requestFor (publish (clapless, "clapless.tar.gz")), "Install failed: " },
        { "no format selected", requestFor (good, false, false), "Install failed: no plugin formats selected" },
    };

    for (const auto& c : cases)
    {
        Reports reports;
        const auto outcome = products::runInstallJob (c.request, reports.hooks());

        EXPECT_FALSE (outcome.ok) << c.what;
        EXPECT_EQ (outcome.error.rfind (c.expected, 0), 0u) << c.what << ": " << outcome.error;
        EXPECT_TRUE (outcome.installedPaths.empty()) << c.what;
        EXPECT_TRUE (leftovers().empty()) << c.what;
        EXPECT_FALSE (fs::exists (temp / "clap")) << c.what;
        EXPECT_EQ (zorvatest::readTree (temp / "vst3"), (std::map<std::string, std::string> { { "Keep.vst3/file", "Keep.vst3/file" } }))
            << c.what;
        EXPECT_FALSE (fs::exists (temp / "escaped.txt"));
    }
}

TEST_F (Jobs, AnInstallFolderThatCannotBeWrittenFailsTheInstallStep)
{
    zorvatest::writeFile (temp / "vst3", "a file where the folder should be");
    const auto outcome = products::runInstallJob (requestFor (publish (tape, "p.tar.gz")), {});

    EXPECT_FALSE (outcome.ok);
    EXPECT_EQ (outcome.error.rfind ("Install failed: ", 0), 0u) << outcome.error;
    EXPECT_TRUE (leftovers().empty());
}

TEST_F (Jobs, NoScratchFolderEndsTheJobWithAClearMessage)
{
    zorvatest::writeFile (scratch / "not-a-folder", "x");
    const zorvatest::ScopedEnv badTmp ("TMPDIR", (scratch / "not-a-folder").string());

    const auto outcome = products::runInstallJob (requestFor (publish (tape, "p.tar.gz")), {});

    EXPECT_FALSE (outcome.ok);
    EXPECT_EQ (outcome.error.rfind ("Download failed: cannot create temporary folder: ", 0), 0u) << outcome.error;
}

TEST_F (Jobs, AFileNameThatIsNotAPlainNameStaysInsideTheScratchFolder)
{
    for (const auto* name : { "../../outside.tar.gz", "/tmp/absolute.tar.gz", "", "sub/dir.tar.gz", ".." })
    {
        auto artifact = publish (tape, "plain.tar.gz");
        artifact.fileName = name;
        const auto outcome = products::runInstallJob (requestFor (artifact), {});

        EXPECT_TRUE (outcome.ok) << name << ": " << outcome.error;
        EXPECT_TRUE (leftovers().empty()) << name;
        EXPECT_FALSE (fs::exists (scratch.path().parent_path() / "outside.tar.gz")) << name;
    }
}

TEST_F (Jobs, AnExceptionFromTheExtractorBecomesAFailure)
{
    // A file entry and then a folder entry below it: the extractor throws for the parent folder.
    auto recipe = tape;
    recipe.extra = { { "clash", zorvatest::EntryKind::File, "file" }, { "clash/inner", zorvatest::EntryKind::File, "file below a file" } };

    const auto outcome = products::runInstallJob (requestFor (publish (recipe, "clash.tar.gz")), {});

    EXPECT_FALSE (outcome.ok);
    EXPECT_EQ (outcome.error.rfind ("Extraction failed: ", 0), 0u) << outcome.error;
    EXPECT_TRUE (leftovers().empty());
}

TEST_F (Jobs, CancellingStopsASlowDownloadAndRemovesEverything)
{
    auto big = tape;
    big.payloadBytes = 3 << 20;
    auto artifact = publish (big, "big.tar.gz");
    artifact.downloadUrl = environment ("ZORVAMANAGER_TEST_SERVICE") + "/test/throttle/200000/jobs/" + token + "-big.tar.gz";

    std::atomic<bool> cancel { false };
    Reports reports;
    std::thread canceller ([&cancel] {
        std::this_thread::sleep_for (std::chrono::milliseconds (1500));
        cancel = true;
    });

    const auto started = std::chrono::steady_clock::now();
    const auto outcome = products::runInstallJob (requestFor (artifact), reports.hooks (&cancel));
    const auto seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();
    canceller.join();

    EXPECT_FALSE (outcome.ok);
    EXPECT_EQ (outcome.error, "Download failed: transfer cancelled");
    EXPECT_LT (seconds, 10.0) << "the job must not wait for the whole transfer";
    EXPECT_TRUE (leftovers().empty());
    EXPECT_FALSE (fs::exists (temp / "vst3"));

    // Progress came as whole percents that only grow, at most about ten a second.
    const auto texts = reports.all();
    ASSERT_FALSE (texts.empty());
    int last = -1;

    for (const auto& text : texts)
    {
        ASSERT_EQ (text.rfind ("Downloading... ", 0), 0u) << text;
        const auto percent = std::stoi (text.substr (15));
        EXPECT_GT (percent, last);
        EXPECT_LE (percent, 100);
        last = percent;
    }

    EXPECT_LE (texts.size(), static_cast<std::size_t> (seconds * 10.0) + 2);
}

TEST_F (Jobs, FourJobsInParallelIntoTheSameFolders)
{
    std::vector<api::ArtifactInfo> artifacts;

    for (int i = 0; i < 4; ++i)
        artifacts.push_back (
            publish ({ "Product " + std::to_string (i), "2.0." + std::to_string (i) }, "p" + std::to_string (i) + ".tar.gz"));

    std::vector<products::InstallOutcome> outcomes (artifacts.size());
    std::vector<std::thread> threads;

    for (std::size_t i = 0; i < artifacts.size(); ++i)
        threads.emplace_back ([&, i] { outcomes[i] = products::runInstallJob (requestFor (artifacts[i]), {}); });

    for (auto& thread : threads)
        thread.join();

    for (std::size_t i = 0; i < outcomes.size(); ++i)
    {
        EXPECT_TRUE (outcomes[i].ok) << outcomes[i].error;
        EXPECT_TRUE (fs::exists (temp / "vst3" / ("Product " + std::to_string (i) + ".vst3/Contents/Resources/moduleinfo.json")));
    }

    EXPECT_TRUE (leftovers().empty());
}

TEST (RemoveJob, CountsRemovalsAndKeepsTheLastError)
{
    zorvatest::TempDir temp;
    zorvatest::writeTree (temp.path(), { "A.vst3/", "A.vst3/x", "A.clap" });

    const auto both = products::runRemoveJob ({ temp / "A.vst3", temp / "A.clap" }, 2);
    EXPECT_EQ (both.removedCount, 2);
    EXPECT_TRUE (both.allRemoved);
    EXPECT_TRUE (both.ok);
    EXPECT_TRUE (both.error.empty());
    EXPECT_TRUE (fs::is_empty (temp.path()));

    zorvatest::writeTree (temp.path(), { "B.vst3/", "B.vst3/x", "B.clap" });
    const auto oneOfTwo = products::runRemoveJob ({ temp / "B.vst3" }, 2);
    EXPECT_EQ (oneOfTwo.removedCount, 1);
    EXPECT_TRUE (oneOfTwo.ok);
    EXPECT_FALSE (oneOfTwo.allRemoved);

    // Paths the uninstaller refuses: both fail, the second failure's text is kept.
    const auto refused = products::runRemoveJob ({ temp / "Missing.vst3", temp / "B.txt" }, 2);
    EXPECT_EQ (refused.removedCount, 0);
    EXPECT_FALSE (refused.allRemoved);
    EXPECT_FALSE (refused.ok);
    EXPECT_EQ (refused.error, "uninstall path must be a .vst3 or .clap plugin");
    EXPECT_TRUE (fs::exists (temp / "B.clap"));
}

// A process killed in the middle of copying a bundle never leaves a half bundle under the
// final name, and the next install clears its temporary copy.
TEST (KilledInstall, LeavesNoHalfBundleAndTheNextInstallClearsItsTemporaries)
{
    zorvatest::TempDir temp;
    zorvatest::PackageRecipe recipe { "Heavy", "3.0.0" };
    recipe.payloadBytes = 64 << 20;
    const auto package = temp / "package";
    zorvatest::writeTree (package, { "Linux/", "Linux/VST3/", "Linux/CLAP/" });

    for (const auto& [relative, bytes] : zorvatest::vst3BundleFiles (recipe))
        zorvatest::writeFile (package / "Linux/VST3/Heavy.vst3" / relative, bytes);

    zorvatest::writeFile (package / "Linux/CLAP/Heavy.clap", zorvatest::clapFile (recipe));

    install::PackageInstallRequest request { { { true, temp / "vst3" }, { true, temp / "clap" } } };
    const auto child = ::fork();
    ASSERT_GE (child, 0);

    if (child == 0)
    {
        install::PackageInstaller::installDirectory (package, request);
        ::_exit (0);
    }

    // Kill it as soon as a temporary copy shows up.
    const auto temporary = temp / "vst3/Heavy.vst3.zorvamanager-tmp";
    const auto clapTemporary = temp / "clap/Heavy.clap.zorvamanager-tmp";

    for (int i = 0; i < 20000 && ! fs::exists (temporary) && ! fs::exists (clapTemporary); ++i)
        std::this_thread::sleep_for (std::chrono::microseconds (100));

    ::kill (child, SIGKILL);
    int status = 0;
    ::waitpid (child, &status, 0);

    // Under its final name a bundle is either absent or whole.
    if (fs::exists (temp / "vst3/Heavy.vst3"))
    {
        EXPECT_EQ (zorvatest::readTree (temp / "vst3/Heavy.vst3"), zorvatest::vst3BundleFiles (recipe));
    }

    if (fs::exists (temp / "clap/Heavy.clap"))
    {
        EXPECT_EQ (zorvatest::readFile (temp / "clap/Heavy.clap"), zorvatest::clapFile (recipe));
    }

    const auto result = install::PackageInstaller::installDirectory (package, request);
    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_FALSE (fs::exists (temporary));
    EXPECT_FALSE (fs::exists (clapTemporary));
    EXPECT_EQ (zorvatest::readTree (temp / "vst3/Heavy.vst3"), zorvatest::vst3BundleFiles (recipe));
}

} // namespace
