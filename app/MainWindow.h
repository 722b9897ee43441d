#pragma once

#include "FramePacer.h"
#include "ManagerController.h"
#include "QueuedXEventDispatcher.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The program's only window; owns the main component. Closing it quits the program.
// Message thread only.
class MainWindow : public juce::DocumentWindow
{
public:
    // `loader` replaces the catalogue load (tests); empty is the maker's catalogue.
    explicit MainWindow (const juce::String& name, ManagerController::CatalogueLoader loader = {});

    void closeButtonPressed() override;

    // Keys that no control took, also when no control has the focus, go to the content.
    bool keyPressed (const juce::KeyPress& key) override;

    // Offers the desktop integration once per window, after the window is on screen.
    void showAppImageIntegrationPromptIfNeeded();

    bool integrationPromptShown = false;

    const FramePacer& getFramePacer() const { return framePacer; }

private:
    // Close requests and key presses that Xlib read while the program talked to the X server
    // would otherwise wait for the server's next event.
    QueuedXEventDispatcher queuedXEvents { *this };

    // Frames at the display's rate only while something changes or moves.
    FramePacer framePacer;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
