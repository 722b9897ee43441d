#include "ShopFixture.h"

#include "crypto/Sha256.h"
#include "install/InstallReceipts.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include <unistd.h>

// Packages on which libarchive itself misbehaves, served with matching digests and installed
// from the real window: the unpacking helper ends at its limit, and the window's process neither
// grows nor stops answering meanwhile. Only a broken or compromised maker site could serve them.
namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

const fs::path hostilePackages = ZORVAMANAGER_SOURCE_DIR "/../shared/public-test-data/hostile-packages";

// The resident size of this process, in MiB.
double residentMiB()
{
    std::ifstream statm ("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double> (resident) * static_cast<double> (::sysconf (_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Whether a package unpacking helper started by this process is running.
bool helperRuns()
{
    for (const auto& task : fs::directory_iterator ("/proc/self/task"))
    {
        std::ifstream children (task.path() / "children");

        for (pid_t pid; children >> pid;)
        {
            std::ifstream comm ("/proc/" + std::to_string (pid) + "/comm");
            std::string name;

            if (std::getline (comm, name) && name.rfind ("zorvamanager-un", 0) == 0)
                return true;
        }
    }

    return false;
}

class HostilePackageWindow : public ShopFixture
{
protected:
    // A product whose only package is this file, with its true digest and size.
    ProductEntry servedAsPackage (const std::string& slug, const fs::path& file)
    {
        const auto served = service.dataFolder() / "packages" / file.filename();
        fs::create_directories (served.parent_path());
        fs::copy_file (file, served, fs::copy_options::overwrite_existing);
        const auto digest = crypto::Sha256::digestFile (served);
        EXPECT_TRUE (digest.ok) << digest.error;

        return { slug,
                 slug,
                 "1.0.0",
                 { { "1.0.0",
                     { { "linux-x64",
                         "vst3",
                         MakerServiceInstance::baseUrl() + "/packages/" + file.filename().string(),
                         file.filename().string(),
                         digest.hexDigest,
                         digest.sizeBytes } } } } };
    }

    // A posted call is handled and a toggle switches (and back) while the helper runs.
    void expectTheWindowAnswers()
    {
        bool handled = false;
        juce::MessageManager::callAsync ([&handled] { handled = true; });
        EXPECT_TRUE (pumpUntil ([&handled] { return handled; }, 2000)) << "a posted call waited";

        auto& toggle = probe().button ("clapToggle");
        const auto before = toggle.getToggleState();

        for (const auto expected : { ! before, before })
        {
            uidriver::clickAt (probe().component, probe().boundsOf ("clapToggle").getCentre());
            EXPECT_TRUE (pumpUntil ([&toggle, expected] { return toggle.getToggleState() == expected; }, 2000))
                << "the toggle did not switch";
        }
    }
};

TEST_F (HostilePackageWindow, TheInstallFailsAtTheHelpersLimitAndTheWindowStaysSmallAndAnswering)
{
    const auto memoryLimit = "Extraction failed: package unpacking exceeded its memory limit";
    const auto timeLimit = "Extraction failed: package unpacking exceeded its time limit";
    const struct
    {
        const char* file;
        std::vector<const char*> messages; // any one of them
    } cases[] = {
        // The buffer doubles to the memory limit in seconds; on a machine busy enough to slow
        // the helper past its time limit first, that limit ends it instead.
        { "gzip-members-memory-growth.bin", { memoryLimit, timeLimit } },
        { "xar-endless-loop.xar", { timeLimit } },
    };

    std::vector<ProductEntry> catalogue;

    for (const auto& c : cases)
        catalogue.push_back (servedAsPackage (c.file, hostilePackages / c.file));

    setCatalogue (catalogue);
    openWindow();
    const auto receipts = receiptsText();

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.file);
        const auto before = probe().messages().size();
        const auto residentBefore = residentMiB();
        auto residentPeak = residentBefore;

        clickButtonOf (c.file);
        ASSERT_TRUE (pumpUntil (helperRuns, 60000)) << "the helper never started";
        expectTheWindowAnswers();

        // Liveness bound: the helper's own limits end it well within this.
        const auto ended = pumpUntil (
            [this, &residentPeak] {
                residentPeak = std::max (residentPeak, residentMiB());
                return controller().runningJobs() == 0;
            },
            180000);
        ASSERT_TRUE (ended) << "the install never ended";
        ASSERT_TRUE (waitUntilIdle());

        const auto added = messagesFrom (static_cast<int> (before)).joinIntoString ("\n");
        EXPECT_TRUE (std::any_of (c.messages.begin(), c.messages.end(), [&] (const char* message) {
            return added.contains (juce::String (c.file) + ": " + message);
        })) << added;
        EXPECT_LT (residentPeak - residentBefore, 100.0) << "the window's process grew";
        EXPECT_FALSE (helperRuns());
        EXPECT_TRUE (leftovers().empty());
        EXPECT_EQ (receiptsText(), receipts);
        EXPECT_FALSE (fs::exists (home->vst3()) && ! fs::is_empty (home->vst3()));
        std::printf (
            "%s: the window's process grew by %.1f MiB at most (%.1f MiB before)\n", c.file, residentPeak - residentBefore, residentBefore);
    }
}

} // namespace
