#pragma once

#include "MainWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The application object: opens the one window at start and destroys it at shut-down.
// Message thread.
class ZorvaManagerApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void systemRequestedQuit() override;

    MainWindow* getMainWindow() const { return mainWindow.get(); }

private:
    std::unique_ptr<MainWindow> mainWindow;
};
