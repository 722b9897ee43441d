#include "ZorvaManagerApplication.h"

#include "XResourcesScale.h"

const juce::String ZorvaManagerApplication::getApplicationName()
{
    return "ZorvaManager";
}

const juce::String ZorvaManagerApplication::getApplicationVersion()
{
    return "1.0.0";
}

bool ZorvaManagerApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void ZorvaManagerApplication::initialise (const juce::String&)
{
    applyXResourcesScale();
    mainWindow = std::make_unique<MainWindow> ("ZorvaManager");

    juce::Component::SafePointer<MainWindow> window (mainWindow.get());
    juce::MessageManager::callAsync ([window] {
        if (auto* w = window.getComponent())
            w->showAppImageIntegrationPromptIfNeeded();
    });
}

void ZorvaManagerApplication::shutdown()
{
    mainWindow = nullptr;
}

void ZorvaManagerApplication::systemRequestedQuit()
{
    quit();
}
