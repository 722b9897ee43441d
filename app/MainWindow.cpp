#include "MainWindow.h"

#include "DesktopIntegrationPrompts.h"
#include "Palette.h"
#include "ZorvaManagerComponent.h"

MainWindow::MainWindow (const juce::String& name, ManagerController::CatalogueLoader loader)
    : DocumentWindow (name, palette::windowBackground, DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    setResizable (true, true);
    setContentOwned (new ZorvaManagerComponent (std::move (loader)), true);
    setResizeLimits (ZorvaManagerComponent::minimumWidth, ZorvaManagerComponent::minimumHeight, 16384, 16384);
    centreWithSize (ZorvaManagerComponent::defaultWidth, ZorvaManagerComponent::defaultHeight);
    setVisible (true);
}

void MainWindow::closeButtonPressed()
{
    if (auto* application = juce::JUCEApplicationBase::getInstance())
        application->systemRequestedQuit();
}

void MainWindow::showAppImageIntegrationPromptIfNeeded()
{
    // Set before anything else, so that a second call never shows a second prompt.
    if (integrationPromptShown)
        return;

    integrationPromptShown = true;
    if (auto* content = dynamic_cast<ZorvaManagerComponent*> (getContentComponent()))
        desktopIntegration::offerIntegration (*this, content->getController().workerPool());
}
