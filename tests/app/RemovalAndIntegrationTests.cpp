#include "ShopFixture.h"

#include "install/AppImageIntegration.h"
#include "install/InstallReceipts.h"

#include <iostream>

namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

class Removal : public ShopFixture
{
protected:
    // Installs a product's two bundles and its receipt the way an install would leave them.
    void installed (const std::string& name, const std::string& slug)
    {
        apptest::installVst3 (home->vst3(), name, "1.0.0");
        apptest::installClap (home->clap(), name);
        install::saveReceipt (name, slug, "1.0.0");
    }

    void removeMode()
    {
        probe().button ("removeModeToggle").triggerClick();
        pumpFor (30);
    }
};

TEST_F (Removal, BothFormatsGoAndTheReceiptWithThem)
{
    installed ("Tape Echo", "tape-echo");
    installed ("Keep", "keep");
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", { "Tape Echo" }), productWith ("keep", "Keep", { "Keep" }) });
    openWindow();
    removeMode();

    EXPECT_EQ (controller().productList().buttonFor (row ("tape-echo")), products::RowButton::remove);
    const auto before = probe().messages().size();
    ActivityWatch watch (controller().productList(), "tape-echo");
    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());

    EXPECT_EQ (watch.seen, std::vector<std::string> { "Removing..." });
    EXPECT_EQ (
        messagesFrom (before),
        juce::StringArray ({ "Removing Tape Echo", "Removed 2 plugin path(s) for Tape Echo", "Installed scan: 2 plugin(s) found." }));
    EXPECT_FALSE (fs::exists (home->vst3() / "Tape Echo.vst3"));
    EXPECT_FALSE (fs::exists (home->clap() / "Tape Echo.clap"));
    EXPECT_EQ (install::loadReceipts(), (install::InstallReceipts { { "keep", { "Keep", "1.0.0" } } }));
    EXPECT_EQ (controller().productList().buttonFor (row ("tape-echo")), products::RowButton::notInstalled);
}

TEST_F (Removal, OnlyTheEnabledFormatGoesAndThePartialRemovalKeepsTheReceipt)
{
    installed ("Tape Echo", "tape-echo");
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", { "Tape Echo" }) });
    openWindow();
    removeMode();
    probe().button ("clapToggle").triggerClick();
    pumpFor (30);

    const auto before = probe().messages().size();
    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());

    EXPECT_EQ (messagesFrom (before)[1], "Removed 1 plugin path(s) for Tape Echo");
    EXPECT_FALSE (fs::exists (home->vst3() / "Tape Echo.vst3"));
    EXPECT_TRUE (fs::exists (home->clap() / "Tape Echo.clap"));
    EXPECT_EQ (install::loadReceipts().size(), 1u);
}

TEST_F (Removal, NothingOfTheSelectedFormatOnlyWarns)
{
    apptest::installVst3 (home->vst3(), "Tape Echo", "1.0.0");
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", { "Tape Echo" }) });
    openWindow();
    removeMode();

    // Only CLAP is shown; the product offers CLAP too, so its card stays in view.
    probe().button ("vst3Toggle").triggerClick();
    pumpFor (30);
    const auto before = probe().messages().size();
    clickButtonOf ("tape-echo");
    pumpFor (100);

    EXPECT_EQ (messagesFrom (before), juce::StringArray ("No installed plugin matches the selected type for Tape Echo"));
    EXPECT_EQ (probe().levels()[before], "WARN");
    EXPECT_TRUE (row ("tape-echo").activity.empty());
    EXPECT_TRUE (fs::exists (home->vst3() / "Tape Echo.vst3"));
}

TEST_F (Removal, TwoFailuresReportTheSecondAndRescan)
{
    installed ("Tape Echo", "tape-echo");
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", { "Tape Echo" }) });
    openWindow();
    removeMode();

    // Both bundles vanish behind the program's back after the scan.
    fs::remove_all (home->vst3() / "Tape Echo.vst3");
    fs::remove (home->clap() / "Tape Echo.clap");
    const auto before = probe().messages().size();
    clickButtonOf ("tape-echo");
    ASSERT_TRUE (waitUntilIdle());

    EXPECT_EQ (messagesFrom (before),
               juce::StringArray (juce::String ("Removing Tape Echo"),
                                  "Tape Echo: Remove failed: plugin path does not exist: " +
                                      juce::String ((home->clap() / "Tape Echo.clap").string()),
                                  juce::String ("Removed 0 plugin path(s) for Tape Echo"),
                                  juce::String ("Installed scan: 0 plugin(s) found.")));
    EXPECT_EQ (probe().levels()[before + 1], "ERROR");
    EXPECT_EQ (install::loadReceipts().size(), 1u) << "nothing was removed, so the receipt stays";
}

TEST_F (Removal, UninstallAllRemovesEveryInstalledProductInView)
{
    installed ("One", "one");
    installed ("Two", "two");
    setCatalogue (
        { productWith ("one", "One", { "One" }), productWith ("two", "Two", { "Two" }), productWith ("three", "Three", { "Three" }) });
    openWindow();

    const auto before = probe().messages().size();
    probe().button ("uninstallAllButton").triggerClick();
    pumpFor (20);
    ASSERT_TRUE (waitUntilIdle());

    const auto added = messagesFrom (before);
    EXPECT_EQ (added[0], "Queued 2 product(s) for uninstall.");
    EXPECT_TRUE (added.contains ("Removed 2 plugin path(s) for One"));
    EXPECT_TRUE (added.contains ("Removed 2 plugin path(s) for Two"));
    EXPECT_TRUE (zorvatest::readTree (home->path()).count (".config/ZorvaPlugins/ZorvaManager/installed.json") == 1);
    EXPECT_TRUE (install::loadReceipts().empty());
    EXPECT_TRUE (fs::is_empty (home->vst3()));

    const auto later = probe().messages().size();
    probe().button ("uninstallAllButton").triggerClick();
    pumpFor (20);
    EXPECT_EQ (messagesFrom (later), juce::StringArray ("Nothing installed to uninstall in the current view."));
}

// The desktop integration flows, driven through their message boxes.
class DesktopIntegration : public ShopFixture
{
protected:
    void SetUp() override
    {
        ShopFixture::SetUp();

        if (IsSkipped())
            return;

        appDir = std::make_unique<zorvatest::TempDir>();
        appImage = (*appDir) / "ZorvaManager-1.0.0-x86_64.AppImage";
        zorvatest::writeFile (appImage, appImageBytes());
        zorvatest::writeFile ((*appDir) / "zorvamanager.png", "a png icon");
        appImageVariable = std::make_unique<zorvatest::ScopedEnv> ("APPIMAGE", appImage.string());
        appDirVariable = std::make_unique<zorvatest::ScopedEnv> ("APPDIR", appDir->path().string());
        setCatalogue ({});
    }

    static std::string appImageBytes()
    {
        auto bytes = zorvatest::patternBytes (4096, 7);
        const unsigned char header[] = { 0x7f, 'E', 'L', 'F', 0x02, 0x01, 0x01, 0x00, 'A', 'I', 2 };
        bytes.replace (0, sizeof (header), reinterpret_cast<const char*> (header), sizeof (header));
        return bytes;
    }

    install::AppImageIntegrationPaths paths() const { return install::AppImageIntegration::defaultPaths(); }

    bool anythingIntegrated() const
    {
        const auto p = paths();
        return fs::exists (p.appImage) || fs::exists (p.desktopEntry) || fs::exists (p.icon) || fs::is_symlink (p.commandLink);
    }

    std::unique_ptr<zorvatest::TempDir> appDir;
    fs::path appImage;
    std::unique_ptr<zorvatest::ScopedEnv> appImageVariable, appDirVariable;
};

TEST_F (DesktopIntegration, ThePromptComesOnceAndInstallIntegrates)
{
    openWindow();
    window->showAppImageIntegrationPromptIfNeeded();
    ASSERT_TRUE (uidriver::waitForAlert ("Install ZorvaManager"));
    EXPECT_EQ (uidriver::alertMessage(),
               "Would you like to add ZorvaManager to your applications menu? This installs ZorvaManager for your user account only and "
               "does not require administrator privileges.");

    ASSERT_TRUE (uidriver::clickAlertButton ("Install"));
    ASSERT_TRUE (uidriver::waitForAlert ("ZorvaManager installed"));
    EXPECT_EQ (uidriver::alertMessage(),
               "ZorvaManager was added to your applications menu. The ZorvaManager command was also added to ~/.local/bin.");

    const auto p = paths();
    EXPECT_EQ (zorvatest::readFile (p.appImage), appImageBytes());
    EXPECT_EQ (zorvatest::readFile (p.icon), "a png icon");
    EXPECT_NE (zorvatest::readFile (p.desktopEntry).find ("X-ZorvaManager-Integration=true"), std::string::npos);
    EXPECT_EQ (fs::read_symlink (p.commandLink), p.appImage);

    ASSERT_TRUE (uidriver::clickAlertButton ("OK"));
    EXPECT_EQ (uidriver::currentAlert(), nullptr);

    // Once per window.
    window->showAppImageIntegrationPromptIfNeeded();
    pumpFor (100);
    EXPECT_EQ (uidriver::currentAlert(), nullptr);
}

// An AppImage of tens of megabytes is copied and flushed on a worker: meanwhile the message
// loop keeps handling its messages, and the report comes when the copy is done. The longest
// gap between two ticks of a 10 ms timer is printed for the notes.
TEST_F (DesktopIntegration, ALargeAppImageIsCopiedOffTheMessageThread)
{
    auto bytes = zorvatest::patternBytes (48u << 20, 3);
    const auto header = appImageBytes();
    bytes.replace (0, 16, header.substr (0, 16));
    zorvatest::writeFile (appImage, bytes);

    openWindow();
    window->showAppImageIntegrationPromptIfNeeded();
    ASSERT_TRUE (uidriver::waitForAlert ("Install ZorvaManager"));

    struct Ticks : juce::Timer
    {
        void timerCallback() override
        {
            const auto now = juce::Time::getMillisecondCounterHiRes();
            longestGap = std::max (longestGap, now - last);
            last = now;
        }

        double last = juce::Time::getMillisecondCounterHiRes(), longestGap = 0;
    } ticks;

    ticks.startTimer (10);
    ASSERT_TRUE (uidriver::clickAlertButton ("Install"));
    ASSERT_TRUE (uidriver::waitForAlert ("ZorvaManager installed", 30000));
    ticks.stopTimer();
    std::cout << "[ figures  ] a 48 MiB AppImage integrated; longest gap between 10 ms timer ticks " << ticks.longestGap << " ms\n";

    EXPECT_TRUE (zorvatest::readFile (paths().appImage) == bytes);
    EXPECT_EQ (controller().runningJobs(), 0);
    ASSERT_TRUE (uidriver::clickAlertButton ("OK"));
}

TEST_F (DesktopIntegration, RunningWithoutInstallingWritesNothing)
{
    openWindow();
    window->showAppImageIntegrationPromptIfNeeded();
    ASSERT_TRUE (uidriver::waitForAlert ("Install ZorvaManager"));
    ASSERT_TRUE (uidriver::clickAlertButton ("Run without installing"));
    pumpFor (100);

    EXPECT_EQ (uidriver::currentAlert(), nullptr);
    EXPECT_FALSE (anythingIntegrated());
    EXPECT_FALSE (probe().logLines().joinIntoString ("\n").contains ("ZorvaManager installed"));
}

TEST_F (DesktopIntegration, NoPromptFromTheIntegratedCopyOrWithoutAnAppImage)
{
    ASSERT_TRUE (install::AppImageIntegration::installCurrentAppImage (false).ok);

    for (const auto& variable : { std::optional<std::string> (paths().appImage.string()), std::optional<std::string>() })
    {
        const zorvatest::ScopedEnv startedFrom ("APPIMAGE", variable);
        openWindow();
        window->showAppImageIntegrationPromptIfNeeded();
        pumpFor (100);
        EXPECT_TRUE (window->integrationPromptShown);
        EXPECT_EQ (uidriver::currentAlert(), nullptr) << variable.value_or ("(unset)");
        window.reset();
    }
}

TEST_F (DesktopIntegration, ConfirmedRemovalRemovesTheIntegrationAndQuits)
{
    ASSERT_TRUE (install::AppImageIntegration::installCurrentAppImage (true).ok);
    openWindow();
    auto quitRequests = 0;
    probe().component.onQuitRequested = [&quitRequests] { ++quitRequests; };

    // Cancel first: nothing happens.
    probe().button ("removeSelfButton").triggerClick();
    ASSERT_TRUE (uidriver::waitForAlert ("Remove ZorvaManager"));
    EXPECT_TRUE (uidriver::alertMessage().startsWith ("Remove ZorvaManager from this computer?\n\nThis removes only"));
    ASSERT_TRUE (uidriver::clickAlertButton ("Cancel"));
    EXPECT_TRUE (anythingIntegrated());

    probe().button ("removeSelfButton").triggerClick();
    ASSERT_TRUE (uidriver::waitForAlert ("Remove ZorvaManager"));
    ASSERT_TRUE (uidriver::clickAlertButton ("Remove ZorvaManager"));
    ASSERT_TRUE (uidriver::waitForAlert ("ZorvaManager removed"));
    EXPECT_FALSE (anythingIntegrated());
    EXPECT_EQ (quitRequests, 0) << "the program quits only once the report is dismissed";

    ASSERT_TRUE (uidriver::clickAlertButton ("OK"));
    EXPECT_EQ (quitRequests, 1);
}

TEST_F (DesktopIntegration, AFailedRemovalKeepsTheProgramRunning)
{
    ASSERT_TRUE (install::AppImageIntegration::installCurrentAppImage (true).ok);

    // An immutable folder: not even root may remove the desktop entry inside it.
    const auto applications = paths().desktopEntry.parent_path();

    if (zorvatest::runShell ("chattr +i " + zorvatest::shellQuote (applications.string()) + " 2>/dev/null") != 0)
        GTEST_SKIP() << "chattr +i is not available here";

    struct Unlock
    {
        ~Unlock() { zorvatest::runShell ("chattr -i " + zorvatest::shellQuote (folder.string())); }
        fs::path folder;
    } unlock { applications };

    openWindow();
    auto quitRequests = 0;
    probe().component.onQuitRequested = [&quitRequests] { ++quitRequests; };

    probe().button ("removeSelfButton").triggerClick();
    ASSERT_TRUE (uidriver::waitForAlert ("Remove ZorvaManager"));
    ASSERT_TRUE (uidriver::clickAlertButton ("Remove ZorvaManager"));

    ASSERT_TRUE (uidriver::waitForAlert ("ZorvaManager could not be removed")) << uidriver::alertTitle();
    EXPECT_TRUE (uidriver::alertMessage().startsWith ("ZorvaManager could not complete its self-removal:\n"));
    ASSERT_TRUE (uidriver::clickAlertButton ("OK"));
    EXPECT_EQ (quitRequests, 0);
    EXPECT_NE (window, nullptr);
}

} // namespace
