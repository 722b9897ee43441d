#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"
#include "ZorvaLookAndFeel.h"

#include "install/InstallFolders.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

// Every component below `parent` of a type.
template <typename Type>
std::vector<Type*> descendants (juce::Component& parent)
{
    std::vector<Type*> found;

    for (auto* child : parent.getChildren())
    {
        if (auto* typed = dynamic_cast<Type*> (child))
            found.push_back (typed);

        const auto below = descendants<Type> (*child);
        found.insert (found.end(), below.begin(), below.end());
    }

    return found;
}

juce::FileChooserDialogBox* folderDialog()
{
    auto* manager = juce::ModalComponentManager::getInstance();

    for (int i = 0; i < manager->getNumModalComponents(); ++i)
        if (auto* dialog = dynamic_cast<juce::FileChooserDialogBox*> (manager->getModalComponent (i)))
            return dialog;

    return nullptr;
}

class InstallFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<MainWindow> (
            "ZorvaManager", [] (const std::atomic<bool>*) { return apptest::loaded ({ apptest::product ("echo", "Echo") }); });
        probe = std::make_unique<ZorvaManagerComponentProbe> (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
        ASSERT_TRUE (pumpUntil ([this] { return ! probe->loading(); }, 10000));
    }

    void TearDown() override
    {
        if (auto* dialog = folderDialog())
            dialog->exitModalState (0);

        probe.reset();
        window.reset();
        pumpFor (30);
    }

    // Opens the VST3 folder dialog with the path button and answers it.
    void answerDialog (const fs::path& folder, bool open)
    {
        auto& pathButton = probe->button ("vst3PathButton");
        uidriver::clickAt (pathButton, pathButton.getLocalBounds().getCentre());
        ASSERT_TRUE (pumpUntil ([] { return folderDialog() != nullptr; }, 5000));
        auto* dialog = folderDialog();
        EXPECT_EQ (dialog->getName(), "Select VST3 install folder");

        if (open)
        {
            auto browsers = descendants<juce::FileBrowserComponent> (*dialog);
            ASSERT_EQ (browsers.size(), 1u);
            // The user types the folder's path into the dialog's name box.
            browsers[0]->setFileName (juce::String (folder.string()));
            pumpFor (50);
        }

        for (auto* button : descendants<juce::TextButton> (*dialog))
        {
            const auto text = button->getButtonText();

            if ((open && text != "Cancel" && text != "New Folder") || (! open && text == "Cancel"))
            {
                uidriver::clickAt (*button, button->getLocalBounds().getCentre());
                break;
            }
        }

        ASSERT_TRUE (pumpUntil ([] { return folderDialog() == nullptr; }, 5000));
        pumpFor (50);
    }

    apptest::ScopedHome home;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ZorvaManagerComponentProbe> probe;
};

TEST_F (InstallFolders, AChosenFolderIsShownScannedAndKept)
{
    const auto custom = home.path() / "Studio" / "My VST3 plug-ins";
    apptest::installVst3 (custom, "Echo", "1.0.0");
    const auto before = probe->messages().size();

    answerDialog (custom, true);

    EXPECT_EQ (probe->controller().installFolder (install::PluginFormat::Vst3), custom);
    EXPECT_EQ (probe->button ("vst3PathButton").getButtonText(), juce::String (custom.string()));
    EXPECT_EQ (probe->button ("vst3PathButton").getTooltip(), juce::String (custom.string()));
    EXPECT_EQ (probe->messages().size(), before + 1);
    EXPECT_EQ (probe->messages()[before], "Installed scan: 1 plugin(s) found.");
    EXPECT_TRUE (probe->controller().productList().rows()[0].installed);
    ASSERT_TRUE (pumpUntil ([this] { return probe->controller().runningJobs() == 0; }, 10000));
    EXPECT_EQ (install::loadInstallFolderChoice().vst3, custom);
}

TEST_F (InstallFolders, ACancelledDialogChangesNothing)
{
    const auto before = probe->messages().size();
    answerDialog (home.path() / "elsewhere", false);

    EXPECT_EQ (probe->controller().installFolder (install::PluginFormat::Vst3), home.vst3());
    EXPECT_EQ (probe->messages().size(), before);
    EXPECT_FALSE (fs::exists (install::installFolderSettingsPath()));
}

TEST_F (InstallFolders, ResetRestoresTheDefaultsAndSavesThem)
{
    probe->controller().setInstallFolder (install::PluginFormat::Clap, "/opt/clap");
    const auto before = probe->messages().size();

    probe->button ("resetPathsButton").triggerClick();
    pumpFor (50);

    EXPECT_EQ (probe->controller().installFolder (install::PluginFormat::Clap), home.clap());
    EXPECT_EQ (probe->button ("clapPathButton").getButtonText(), juce::String (home.clap().string()));
    EXPECT_EQ (probe->messages()[before], "Default install paths restored");
    EXPECT_TRUE (probe->messages()[before + 1].startsWith ("Installed scan: "));
    ASSERT_TRUE (pumpUntil ([this] { return probe->controller().runningJobs() == 0; }, 10000));
    EXPECT_EQ (install::loadInstallFolderChoice().clap, home.clap());
}

TEST_F (InstallFolders, LongPathsStayOnOneLineWithTheirEndAndTheTooltipShowsThemWhole)
{
    const fs::path deep = "/home/musician/Music/Production/Plug-ins/Collections/ZorvaPlugins/VST3 bundles for the studio";
    probe->controller().setInstallFolder (install::PluginFormat::Vst3, deep);

    auto& button = probe->control<juce::TextButton> ("vst3PathButton");

    // The tooltip window (which polls the mouse while it exists) is there while the mouse is
    // over a control with a tooltip, and only then.
    uidriver::moveTo (probe->component, probe->boundsOf ("productList").getCentre());
    EXPECT_EQ (descendants<juce::TooltipWindow> (*window).size(), 0u);
    uidriver::moveTo (button, button.getLocalBounds().getCentre());
    EXPECT_EQ (descendants<juce::TooltipWindow> (*window).size(), 1u) << "tooltips need a tooltip window";
    uidriver::moveTo (probe->component, probe->boundsOf ("productList").getCentre());
    EXPECT_EQ (descendants<juce::TooltipWindow> (*window).size(), 0u);

    EXPECT_EQ (button.getTooltip(), juce::String (deep.string()));

    const auto font = probe->component.getLookAndFeel().getTextButtonFont (button, button.getHeight());
    const auto shown = ZorvaLookAndFeel::elideStart (font, button.getButtonText(), static_cast<float> (button.getWidth() - 16));
    EXPECT_TRUE (shown.startsWith (juce::String (juce::CharPointer_UTF8 ("\xe2\x80\xa6"))));
    EXPECT_TRUE (shown.endsWith ("VST3 bundles for the studio"));
    EXPECT_LE (font.getStringWidthFloat (shown), static_cast<float> (button.getWidth() - 16));
    EXPECT_EQ (ZorvaLookAndFeel::elideStart (font, "/short", 200.0f), "/short");
}

} // namespace
