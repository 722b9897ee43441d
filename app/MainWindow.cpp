#include "MainWindow.h"

#include "DesktopIntegrationPrompts.h"
#include "Palette.h"
#include "ZorvaManagerComponent.h"

MainWindow::MainWindow (const juce::String& name, ManagerController::CatalogueLoader loader)
    : DocumentWindow (name, palette::windowBackground, DocumentWindow::allButtons, true)
    , framePacer (*this, [this] {
        auto* content = dynamic_cast<ZorvaManagerComponent*> (getContentComponent());
        return content != nullptr && content->isAnimating();
    })
{
    setUsingNativeTitleBar (true);
    setResizable (true, true);
    auto* content = new ZorvaManagerComponent (std::move (loader));
    setContentOwned (content, true);
    setResizeLimits (ZorvaManagerComponent::minimumWidth, ZorvaManagerComponent::minimumHeight, 16384, 16384);
    centreWithSize (ZorvaManagerComponent::defaultWidth, ZorvaManagerComponent::defaultHeight);
    setVisible (true);
}

bool MainWindow::keyPressed (const juce::KeyPress& key)
{
    if (auto* content = getContentComponent();
        content != nullptr && ! content->isParentOf (juce::Component::getCurrentlyFocusedComponent()))
        return content->keyPressed (key);

    return DocumentWindow::keyPressed (key);
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
