#pragma once

#include "ManagerController.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The program's only window; owns the main component. Closing it quits the program.
// Message thread only.
class MainWindow : public juce::DocumentWindow
{
public:
    // `loader` replaces the catalogue load (tests); empty is the maker's catalogue.
    explicit MainWindow (const juce::String& name, ManagerController::CatalogueLoader loader = {});

    void closeButtonPressed() override;

    // Offers the desktop integration once per window, after the window is on screen.
    void showAppImageIntegrationPromptIfNeeded();

    bool integrationPromptShown = false;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
