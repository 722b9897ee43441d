#pragma once

#include "WorkerPool.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// The two desktop-integration conversations, in asynchronous message boxes that never block
// the message loop. Their callbacks hold weak references and do nothing once their component
// is gone. Nothing here writes to the log. Message thread only.
namespace desktopIntegration
{
// When the program runs from an AppImage that is not integrated yet, asks whether to add it to
// the applications menu ("Install" or "Run without installing") and, on "Install", integrates
// it with its command link and reports how that went. The integration copies the AppImage
// (tens of megabytes, flushed) on one of `workers`' threads; the report comes when it is done,
// unless the window or the pool is gone by then. Returns whether the question was asked.
bool offerIntegration (juce::Component& window, WorkerPool& workers);

// Asks whether to remove the program's own integration; on "Remove ZorvaManager" removes it
// and reports. `quit` runs when the success report is dismissed while the component still
// exists; after a failure the program keeps running.
void confirmRemoval (juce::Component& component, std::function<void()> quit);
} // namespace desktopIntegration
