#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Hands X events that Xlib has already read to the framework's event loop.
//
// On Linux the framework's message loop sleeps in poll() on the X connection and reads events
// only from that descriptor's callback. But Xlib reads the connection whenever the message
// thread talks to the X server anywhere else: a reply it waits for (the tooltip window's and
// the desktop's pointer queries, about eighteen a second while a tooltip window exists;
// window property reads while the window is set up) and the flush of a request (every painted
// frame) take every event that has arrived meanwhile into Xlib's own queue. The descriptor
// then stays quiet, the loop sleeps on, and a close request or a key press waits until the
// server sends something else: the next pointer move, or on an idle display never.
//
// Once per display frame of the window it is given, this looks at Xlib's queue and, when it
// holds events, runs the loop's X callback for them in a message of its own. Does nothing
// where the window system is not X11. Message thread only.
class QueuedXEventDispatcher : private juce::AsyncUpdater
{
public:
    // `window` must outlive this object; its peer's frames drive the check.
    explicit QueuedXEventDispatcher (juce::Component& window);
    ~QueuedXEventDispatcher() override;

    // Whether Xlib holds X events that the loop has not handled yet (false without X11).
    static bool eventsAreQueued();

    // Handles those events now, as the loop's X callback would.
    static void dispatchQueuedEvents();

private:
    void handleAsyncUpdate() override;

    juce::VBlankAttachment frames;

    JUCE_DECLARE_NON_COPYABLE (QueuedXEventDispatcher)
};
