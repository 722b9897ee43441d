// The framework's X11 declarations (XWindowSystem, X11Symbols and Xlib itself) are visible only
// where this is defined before the first framework header, as the framework's own modules do.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "QueuedXEventDispatcher.h"

#if JUCE_LINUX || JUCE_BSD
#    include <juce_events/native/juce_linux_EventLoopInternal.h>
#endif

namespace
{
#if JUCE_LINUX || JUCE_BSD
// The framework's connection to the X server, or nullptr before it opens one or without X11.
::Display* frameworkDisplay()
{
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    return windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;
}
#endif
} // namespace

QueuedXEventDispatcher::QueuedXEventDispatcher (juce::Component& window)
    : frames (&window, [this] {
        // Message thread, inside the window peer's frame callback: only post here, so that
        // the events are handled at the top of the loop, where closing a window is safe.
        if (eventsAreQueued())
            triggerAsyncUpdate();
    })
{}

QueuedXEventDispatcher::~QueuedXEventDispatcher() = default;

bool QueuedXEventDispatcher::eventsAreQueued()
{
#if JUCE_LINUX || JUCE_BSD
    if (auto* display = frameworkDisplay())
    {
        juce::XWindowSystemUtilities::ScopedXLock lock;
        // QueuedAfterReading counts the events Xlib holds, taking first any that the connection
        // library beneath it has read and any waiting on the socket (without blocking: one
        // read() per frame); it sends nothing.
        return juce::X11Symbols::getInstance()->xEventsQueued (display, QueuedAfterReading) > 0;
    }
#endif

    return false;
}

void QueuedXEventDispatcher::dispatchQueuedEvents()
{
#if JUCE_LINUX || JUCE_BSD
    // The callback the framework registered for the X connection: it takes events from Xlib
    // until none is left and hands each to its window, exactly as when the descriptor wakes
    // the loop; with nothing queued it returns at once.
    if (auto* display = frameworkDisplay())
        juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (juce::X11Symbols::getInstance()->xConnectionNumber (display));
#endif
}

void QueuedXEventDispatcher::handleAsyncUpdate()
{
    // Message thread, a posted message of its own.
    dispatchQueuedEvents();
}
