#include "ShopFixture.h"

#include "crypto/Sha256.h"
#include "install/InstallReceipts.h"
#include "scan/PluginScanner.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

// Closing the window while a package of 1 GiB of incompressible data is being copied into the
// plug-in folder: the window goes promptly, and the folder holds the old bundle whole (the
// close came before the renames) or the new one whole with its receipt (it came after), never
// a part of either and never a temporary copy.
namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

constexpr std::uint64_t bigBytes = std::uint64_t (1) << 30;

class LargePackageWindow : public ShopFixture
{};

TEST_F (LargePackageWindow, ClosingDuringTheCopyEndsPromptlyWithOneWholeBundle)
{
    const auto staging = scratch.path() / "staging";
    ASSERT_TRUE (zorvatest::writeNoise (staging / "Big.vst3/Contents/x86_64-linux/Big.so", bigBytes, 0x2545f4914f6cdd1dull));
    zorvatest::writeFile (staging / "Big.vst3/Contents/Resources/moduleinfo.json", "{\"Version\": \"2.0.0\"}");
    zorvatest::writeFile (staging / "Big.clap", "new clap");
    const auto served = service.dataFolder() / "packages" / "big-2.0.0.tar";
    fs::create_directories (served.parent_path());
    ASSERT_EQ (zorvatest::runShell ("tar -cf " + zorvatest::shellQuote (served.string()) + " -C " +
                                    zorvatest::shellQuote (staging.string()) + " Big.vst3 Big.clap"),
               0);
    fs::remove_all (staging);
    const auto digest = crypto::Sha256::digestFile (served);
    ASSERT_TRUE (digest.ok);

    apptest::installVst3 (home->vst3(), "Big", "1.0.0");
    ASSERT_TRUE (install::saveReceipt ("Big", "big", "1.0.0").ok);
    const auto oldBundle = zorvatest::readTree (home->vst3() / "Big.vst3");

    setCatalogue ({ { "big",
                      "Big",
                      "2.0.0",
                      { { "2.0.0",
                          { { "linux-x64",
                              "vst3",
                              MakerServiceInstance::baseUrl() + "/packages/big-2.0.0.tar",
                              "big-2.0.0.tar",
                              digest.hexDigest,
                              digest.sizeBytes } } } } } });
    openWindow();
    clickButtonOf ("big");

    const auto copying = [this] {
        std::error_code ec;

        for (fs::directory_iterator entry (home->vst3(), ec), end; ! ec && entry != end; entry.increment (ec))
            if (entry->path().extension() == ".zorvamanager-tmp")
                return true;

        return false;
    };
    ASSERT_TRUE (pumpUntil (copying, 240000)) << "the copy never started";

    const auto started = juce::Time::getMillisecondCounterHiRes();
    componentProbe.reset();
    window.reset();
    const auto closingMs = juce::Time::getMillisecondCounterHiRes() - started;
    pumpFor (300);
    fs::remove (served);

    RecordProperty ("closingMilliseconds", static_cast<int> (closingMs));
    std::printf ("closing during the copy of 1 GiB took %.0f ms\n", closingMs);
    EXPECT_LT (closingMs, 60000.0) << "a liveness bound only; the figure is reported";

    const auto receipt = install::loadReceipts().at ("big").version;
    const auto found = scan::PluginScanner::scanPaths ({ home->vst3() }, install::PluginFormat::Vst3).plugins;
    ASSERT_EQ (found.size(), 1u);

    if (found[0].version == "2.0.0")
    {
        std::error_code ec;
        EXPECT_EQ (fs::file_size (home->vst3() / "Big.vst3/Contents/x86_64-linux/Big.so", ec), bigBytes);
        EXPECT_EQ (receipt, "2.0.0") << "a bundle in place always has its receipt";
    }
    else
    {
        EXPECT_EQ (zorvatest::readTree (home->vst3() / "Big.vst3"), oldBundle);
        EXPECT_EQ (receipt, "1.0.0");
    }

    for (const auto& folder : { home->vst3(), home->clap() })
    {
        if (! fs::exists (folder))
            continue;

        for (const auto& entry : fs::directory_iterator (folder))
            EXPECT_NE (entry.path().extension(), ".zorvamanager-tmp") << entry.path();
    }

    EXPECT_TRUE (leftovers().empty());
}

} // namespace
