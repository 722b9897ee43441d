#include "ShopFixture.h"

#include "install/InstallReceipts.h"

#include <set>

namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

class Operations : public ShopFixture
{
protected:
    const zorvatest::PackageRecipe tape { "Tape Echo", "1.2.0" };
};

TEST_F (Operations, InstallFromTheCardEndToEnd)
{
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", tape) });
    openWindow();
    const auto before = probe().messages().size();

    EXPECT_EQ (controller().productList().buttonFor (row ("tape-echo")), products::RowButton::installNew);
    ActivityWatch watch (controller().productList(), "tape-echo");
    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());
    const auto activities = watch.seen;
    ASSERT_GE (activities.size(), 3u);
    EXPECT_EQ (activities.front(), "Downloading...");
    EXPECT_EQ (activities[activities.size() - 2], "Verifying...");
    EXPECT_EQ (activities.back(), "Installing...");

    const auto vst3 = home->vst3() / "Tape Echo.vst3";
    const auto clap = home->clap() / "Tape Echo.clap";
    EXPECT_EQ (messagesFrom (before),
               juce::StringArray (juce::String ("Installing Tape Echo"),
                                  "Installed " + juce::String (clap.string()),
                                  "Installed " + juce::String (vst3.string()),
                                  juce::String ("Installed scan: 2 plugin(s) found.")));
    EXPECT_EQ (probe().levels()[before], "INFO");

    EXPECT_EQ (zorvatest::readTree (vst3), zorvatest::vst3BundleFiles (tape));
    EXPECT_EQ (zorvatest::readFile (clap), zorvatest::clapFile (tape));
    EXPECT_EQ (receiptsText(), "{\n  \"tapeecho\": {\n    \"name\": \"Tape Echo\",\n    \"version\": \"1.2.0\"\n  }\n}");
    EXPECT_TRUE (leftovers().empty());

    const auto& installed = row ("tape-echo");
    EXPECT_TRUE (installed.installed);
    EXPECT_EQ (installed.installedVersion, "1.2.0");
    EXPECT_TRUE (installed.activity.empty());
    EXPECT_EQ (controller().productList().buttonFor (installed), products::RowButton::upToDate);
    EXPECT_FALSE (probe().list().isAnimating() && ! controller().productList().isBusy());

    // The card is up to date now: another click does nothing.
    const auto after = probe().messages().size();
    clickButtonOf ("tape-echo");
    pumpFor (100);
    EXPECT_EQ (probe().messages().size(), after);
}

// A receipts file that cannot be written (here a folder stands where it goes) is logged after
// an install and after a removal, as a failed settings save is; the plug-ins themselves are
// installed and removed all the same.
TEST_F (Operations, AFailedReceiptWriteIsLogged)
{
    std::filesystem::create_directories (install::receiptPath() / "in-the-way");
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", tape) });
    openWindow();

    const auto warning = [this] (int from) {
        const auto messages = messagesFrom (from);
        return std::count_if (messages.begin(), messages.end(), [] (const juce::String& m) {
            return m.startsWith ("Install receipts could not be saved: ");
        });
    };

    const auto beforeInstall = probe().messages().size();
    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_TRUE (row ("tape-echo").installed);
    EXPECT_EQ (warning (beforeInstall), 1) << messagesFrom (beforeInstall).joinIntoString (" | ");
    EXPECT_TRUE (probe().levels().contains ("WARN"));

    probe().button ("removeModeToggle").triggerClick();
    pumpFor (50);
    const auto beforeRemoval = probe().messages().size();
    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_FALSE (row ("tape-echo").installed);
    EXPECT_EQ (warning (beforeRemoval), 1) << messagesFrom (beforeRemoval).joinIntoString (" | ");
}

TEST_F (Operations, UpdateReplacesAnOlderInstalledVersion)
{
    apptest::installVst3 (home->vst3(), "Tape Echo", "1.0.0");
    zorvatest::writeFile (home->vst3() / "Tape Echo.vst3/old-only-file", "gone after the update");
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", tape) });
    openWindow();

    ASSERT_TRUE (row ("tape-echo").updateAvailable);
    EXPECT_EQ (controller().productList().buttonFor (row ("tape-echo")), products::RowButton::update);
    const auto before = probe().messages().size();

    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());

    EXPECT_EQ (probe().messages()[before], "Updating Tape Echo");
    EXPECT_EQ (zorvatest::readTree (home->vst3() / "Tape Echo.vst3"), zorvatest::vst3BundleFiles (tape));
    EXPECT_FALSE (row ("tape-echo").updateAvailable);
    EXPECT_EQ (row ("tape-echo").installedVersion, "1.2.0");
}

TEST_F (Operations, ArtifactChoiceFollowsTheCatalogueOrderAndTheFormatToggles)
{
    // A first release with only a Windows artifact, the Linux one in the second.
    auto windowsFirst = productWith ("amp", "Amp", { "Amp", "2.0.0" });
    auto windowsArtifact = windowsFirst.releases[0].artifacts[0];
    windowsArtifact.platform = "windows-x64";
    windowsFirst.releases.insert (windowsFirst.releases.begin(), { "2.1.0", { windowsArtifact } });
    windowsFirst.latestVersion = "2.1.0";

    // Different packages behind the VST3 and the CLAP artifact, so the one taken shows.
    ProductEntry twoArtifacts {
        "verb",
        "Verb",
        "3.0.0",
        { { "3.0.0",
            { publish ({ "Verb", "3.0.0-vst3" }, "verb-vst3.tar.gz"), publish ({ "Verb", "3.0.0-clap" }, "verb-clap.tar.gz", "clap") } } }
    };
    auto vst3Only = productWith ("solo", "Solo", { "Solo", "1.0.0" });

    setCatalogue ({ windowsFirst, twoArtifacts, vst3Only });
    openWindow();

    clickButtonOf ("amp");
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_TRUE (fs::exists (home->vst3() / "Amp.vst3"));
    EXPECT_NE (receiptsText().find ("\"version\": \"2.1.0\""), std::string::npos) << "the receipt keeps the catalogue's latest version";

    // Only CLAP: the clap artifact is preferred, and a product with only a vst3 artifact uses it.
    probe().button ("vst3Toggle").triggerClick();
    pumpFor (50);
    clickButtonOf ("verb");
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_EQ (zorvatest::readFile (home->clap() / "Verb.clap"), zorvatest::clapFile ({ "Verb", "3.0.0-clap" }));
    EXPECT_FALSE (fs::exists (home->vst3() / "Verb.vst3")) << "VST3 is switched off";

    clickButtonOf ("solo");
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_TRUE (fs::exists (home->clap() / "Solo.clap"));
    EXPECT_FALSE (fs::exists (home->vst3() / "Solo.vst3"));
}

TEST_F (Operations, EveryFailureLogsOneErrorAndLeavesEverythingAsItWas)
{
    auto missing = productWith ("missing", "Missing", { "Missing" });
    missing.releases[0].artifacts[0].url += ".nowhere";
    auto wrongSize = productWith ("wrong-size", "Wrong Size", { "Wrong Size" });
    wrongSize.releases[0].artifacts[0].sizeBytes += 1;
    auto wrongDigest = productWith ("wrong-digest", "Wrong Digest", { "Wrong Digest" });
    wrongDigest.releases[0].artifacts[0].sha256 = std::string (64, 'f');
    zorvatest::PackageRecipe hostileRecipe { "Hostile" };
    hostileRecipe.extra.emplace_back ("../../escaped", zorvatest::EntryKind::File, "x");
    zorvatest::PackageRecipe claplessRecipe { "Clapless" };
    claplessRecipe.withClap = false;
    auto windowsOnly = productWith ("windows-only", "Windows Only", { "Windows Only" });
    windowsOnly.releases[0].artifacts[0].platform = "windows-x64";

    setCatalogue ({ missing,
                    wrongSize,
                    wrongDigest,
                    productWith ("hostile", "Hostile", hostileRecipe),
                    productWith ("clapless", "Clapless", claplessRecipe),
                    windowsOnly });

    // Something installed and remembered that no failure may touch.
    apptest::installVst3 (home->vst3(), "Keep", "1.0");
    install::saveReceipt ("Keep", "keep", "1.0");
    const auto receipts = receiptsText();
    const auto installed = zorvatest::readTree (home->vst3());
    openWindow();

    const std::pair<const char*, juce::String> cases[] = {
        { "missing", "Missing: Download failed: HTTP request failed" },
        { "wrong-size", "Wrong Size: Verification failed: " },
        { "wrong-digest", "Wrong Digest: Verification failed: " },
        { "hostile", "Hostile: Extraction failed: " },
        { "clapless", "Clapless: Install failed: " },
        { "windows-only", "No compatible artifact available for Windows Only" },
    };

    for (const auto& [slug, expected] : cases)
    {
        const auto before = probe().messages().size();
        clickButtonOf (slug);
        ASSERT_TRUE (waitUntilIdle()) << slug;

        const auto added = messagesFrom (before);
        const auto levels = probe().levels();
        const auto errors = std::count (levels.begin() + before, levels.end(), "ERROR");
        EXPECT_EQ (errors, 1) << slug << "\n" << added.joinIntoString ("\n");
        EXPECT_TRUE (added.joinIntoString ("\n").contains (expected)) << slug << "\n" << added.joinIntoString ("\n");
        // A failed job rescans (its row must show what is on disk), except a start that was
        // refused before any job ran.
        EXPECT_EQ (added.joinIntoString ("\n").contains ("Installed scan"), std::string (slug) != "windows-only") << slug;
        EXPECT_TRUE (row (slug).activity.empty()) << slug;
        EXPECT_TRUE (leftovers().empty()) << slug;
        EXPECT_EQ (receiptsText(), receipts) << slug;
        EXPECT_EQ (zorvatest::readTree (home->vst3()), installed) << slug;
        EXPECT_FALSE (fs::exists (home->clap() / "Clapless.clap")) << slug;
        EXPECT_FALSE (fs::exists (scratch.path().parent_path() / "escaped"));
    }
}

TEST_F (Operations, FoldersThatCannotBeUsedAndNoFormatSelected)
{
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", tape) });
    openWindow();

    // A file where the CLAP folder should be.
    fs::remove_all (home->clap());
    zorvatest::writeFile (home->clap(), "not a folder");
    auto before = probe().messages().size();
    clickButtonOf ("tape-echo");
    pumpFor (100);
    EXPECT_EQ (messagesFrom (before),
               juce::StringArray ("cannot create install folder: " + juce::String (home->clap().string()) +
                                  ". Choose a user-writable folder or run ZorvaManager as administrator."));
    EXPECT_EQ (probe().levels().joinIntoString (",").fromLastOccurrenceOf (",", false, false), "ERROR");
    EXPECT_TRUE (row ("tape-echo").activity.empty());
    fs::remove (home->clap());

    // Both formats off (only possible from code; the toggles keep one on): the package is
    // fetched and checked, and the installer refuses.
    controller().updateProductFilters ({ {}, false, false, products::ProductFilter::allProducts, products::ActionMode::installOrUpdate });
    before = probe().messages().size();
    controller().operations().installOrUpdateProduct (rowIndex ("tape-echo"));
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_EQ (messagesFrom (before).joinIntoString ("\n").upToLastOccurrenceOf ("\n", false, false),
               "Installing Tape Echo\nTape Echo: Install failed: no plugin formats selected");
    EXPECT_FALSE (fs::exists (home->clap())) << "no folder is checked (or created) for a format that is off";
    EXPECT_TRUE (leftovers().empty());
}

TEST_F (Operations, ABusyProductRefusesASecondStartSilently)
{
    // About five seconds of download, so the product is still busy at the second click.
    zorvatest::PackageRecipe recipe { "Slow" };
    recipe.payloadBytes = 128 << 10;
    auto slow = productWith ("slow", "Slow", recipe);
    slow.releases[0].artifacts[0].url = MakerServiceInstance::baseUrl() + "/test/throttle/50000/packages/slow-1.0.0.tar.gz";
    setCatalogue ({ slow });
    openWindow();

    clickButtonOf ("slow");
    const auto before = probe().messages().size();
    clickButtonOf ("slow");
    controller().operations().installOrUpdateProduct (rowIndex ("slow"));
    pumpFor (100);

    EXPECT_EQ (probe().messages().size(), before);
    EXPECT_FALSE (row ("slow").activity.empty());
    ASSERT_TRUE (waitUntilIdle());
    EXPECT_TRUE (fs::exists (home->vst3() / "Slow.vst3"));
}

TEST_F (Operations, InstallAllQueuesTheCandidatesAndRunsAtMostFourAtOnce)
{
    std::vector<ProductEntry> products;

    for (int i = 0; i < 6; ++i)
    {
        // Downloads of a few seconds each, so that several run at the same time.
        const auto slug = "p" + std::to_string (i);
        zorvatest::PackageRecipe recipe { "Product " + std::to_string (i), "1.0." + std::to_string (i) };
        recipe.payloadBytes = 64 << 10;
        auto entry = productWith (slug, "Product " + std::to_string (i), recipe);
        entry.releases[0].artifacts[0].url =
            MakerServiceInstance::baseUrl() + "/test/throttle/40000/packages/" + slug + "-1.0." + std::to_string (i) + ".tar.gz";
        products.push_back (entry);
    }

    // Installed and current: not a candidate.
    products.push_back (productWith ("current", "Current", { "Current", "5.0" }));
    apptest::installVst3 (home->vst3(), "Current", "5.0");
    setCatalogue (products);
    openWindow();

    const auto before = probe().messages().size();
    probe().button ("installAllButton").triggerClick();
    pumpFor (20);

    const auto added = messagesFrom (before);
    ASSERT_GE (added.size(), 7);
    EXPECT_EQ (added[0], "Queued 6 product(s) for install/update.");

    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (added[i + 1], "Installing Product " + juce::String (i));

    // Jobs that have started report a percentage; the others still wait in the queue.
    std::size_t mostRunning = 0;
    pumpUntil (
        [&] {
            std::size_t running = 0;

            for (const auto& [slug, activity] : controller().activities())
                running += activity != "Downloading..." ? 1 : 0;

            mostRunning = std::max (mostRunning, running);
            return controller().runningJobs() == 0 && controller().activities().empty();
        },
        60000);

    EXPECT_LE (mostRunning, 4u);
    EXPECT_GE (mostRunning, 2u);

    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE (fs::exists (home->vst3() / ("Product " + std::to_string (i) + ".vst3"))) << i;

    // Nothing left to do in this view.
    const auto later = probe().messages().size();
    probe().button ("installAllButton").triggerClick();
    pumpFor (20);
    EXPECT_EQ (messagesFrom (later), juce::StringArray ("Nothing to install or update in the current view."));
}

// Two products that ship the same bundle names, both queued by "Install / Update All": the
// jobs take turns on the bundles, so each reports its own whole install and the folders end
// with one complete package's bundles, byte for byte, whichever went last.
TEST_F (Operations, TwoProductsShippingTheSameBundleTakeTurns)
{
    zorvatest::PackageRecipe first { "Shared", "1.0.0" };
    first.payloadBytes = 3 << 20;
    zorvatest::PackageRecipe second { "Shared", "2.0.0" };
    second.payloadBytes = (3 << 20) + 4096;
    setCatalogue ({ productWith ("shared-one", "Shared One", first), productWith ("shared-two", "Shared Two", second) });
    openWindow();
    const auto before = probe().messages().size();

    probe().button ("installAllButton").triggerClick();
    // Both jobs have started once the log says so; their activities may come and go between
    // two looks, when a job is quicker than the message loop.
    ASSERT_TRUE (pumpUntil (
        [&] {
            const auto lines = messagesFrom (before);
            return lines.contains ("Installing Shared One") && lines.contains ("Installing Shared Two");
        },
        10000));
    ASSERT_TRUE (waitUntilIdle (120000));

    const auto vst3 = home->vst3() / "Shared.vst3";
    const auto clap = home->clap() / "Shared.clap";
    const auto lines = messagesFrom (before);
    EXPECT_EQ (lines.joinIntoString ("\n").indexOf ("ERROR"), -1) << lines.joinIntoString ("\n");
    for (const auto& bundle : { vst3, clap })
        EXPECT_EQ (std::count (lines.begin(), lines.end(), "Installed " + juce::String (bundle.string())), 2)
            << "each job reports its own install" << lines.joinIntoString ("\n");

    const auto holds = [&] (const zorvatest::PackageRecipe& recipe) {
        return zorvatest::readTree (vst3) == zorvatest::vst3BundleFiles (recipe) &&
            zorvatest::readFile (clap) == zorvatest::clapFile (recipe);
    };
    EXPECT_TRUE (holds (first) || holds (second)) << "one complete package's bundles";

    for (const auto& folder : { home->vst3(), home->clap() })
        EXPECT_EQ (std::distance (fs::directory_iterator (folder), fs::directory_iterator()), 1)
            << folder << ": no lock file or temporary copy is left";

    const auto receipts = install::loadReceipts();
    EXPECT_EQ (receipts.count ("sharedone"), 1u);
    EXPECT_EQ (receipts.count ("sharedtwo"), 1u);
    EXPECT_TRUE (leftovers().empty());
}

TEST_F (Operations, ClosingTheWindowWhileJobsRunEndsPromptlyAndCleanly)
{
    std::vector<ProductEntry> products;

    for (int i = 0; i < 5; ++i)
    {
        const auto slug = "big" + std::to_string (i);
        zorvatest::PackageRecipe recipe { "Big " + std::to_string (i) };
        recipe.payloadBytes = 2 << 20;
        auto entry = productWith (slug, "Big " + std::to_string (i), recipe);
        entry.releases[0].artifacts[0].url = MakerServiceInstance::baseUrl() + "/test/throttle/100000/packages/" + slug + "-1.0.0.tar.gz";
        products.push_back (entry);
    }

    setCatalogue (products);
    openWindow();
    probe().button ("installAllButton").triggerClick();
    pumpFor (800);

    const auto started = juce::Time::getMillisecondCounterHiRes();
    componentProbe.reset();
    window.reset();
    const auto closingMs = juce::Time::getMillisecondCounterHiRes() - started;
    pumpFor (300); // late completions, if any, find the window gone

    EXPECT_LT (closingMs, 5000.0) << "closing waits for running transfers only until they stop";
    RecordProperty ("closingMilliseconds", static_cast<int> (closingMs));
    EXPECT_TRUE (leftovers().empty());

    for (const auto& folder : { home->vst3(), home->clap() })
    {
        if (! fs::exists (folder))
            continue;

        for (const auto& entry : fs::directory_iterator (folder))
            EXPECT_EQ (entry.path().string().find (".zorvamanager-tmp"), std::string::npos) << entry.path();
    }

    EXPECT_EQ (receiptsText(), "(none)");
}

} // namespace
