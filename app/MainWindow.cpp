#include "MainWindow.h"

#include "Palette.h"
#include "ZorvaManagerComponent.h"

MainWindow::MainWindow (const juce::String& name)
    : DocumentWindow (name, palette::windowBackground, DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    setResizable (true, true);
    setContentOwned (new ZorvaManagerComponent(), true);
    centreWithSize (1180, 760);
    setVisible (true);
}

void MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

void MainWindow::showAppImageIntegrationPromptIfNeeded()
{
    if (integrationPromptShown)
        return;

    // The prompt itself arrives with the desktop integration flow; until then it is only
    // marked as shown so that it stays a once-per-window offer.
    integrationPromptShown = true;
}
