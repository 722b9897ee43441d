#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

// Lets the window's frame timer rest while nothing is to be drawn.
//
// On X11 the framework paints a window only from a timer that its peer runs at the display's
// refresh rate for as long as the window exists, whether anything is to be drawn or not: an
// idle window wakes the message thread a hundred times a second or more. The framework has no
// switch for it: in JUCE 7.0.5 the timer is a private member of the X11 peer class, which is
// itself private to the framework's sources, started at the display's rate and restarted only
// when the window moves to another display, and neither VBlankAttachment nor the desktop's
// settings change its rate. So this finds that timer in the window's peer by its class's
// vtable (a weak reference: a framework without that class still links, and then nothing
// rests) and, once nothing has happened for a few frames and nothing animates, lets it tick
// only every couple of seconds.
//
// It goes back to the full rate at once whenever anything in the window asks to be drawn (any
// repaint of the window or a component in it passes through the window's cached-image hook,
// which this installs), when the X server exposes a part of the window (the peer's repaint
// listener, the hook the framework's OpenGL contexts use), when the user moves the mouse or
// types in the window, when the window is moved or resized, and when wake() is called. The
// slow resting tick is only a backstop for a drawing request that reaches the peer some other
// way and for X events that Xlib read into its queue while the window rested (see
// QueuedXEventDispatcher). Where no frame timer is found (another window system, or a
// framework that paints otherwise) it does nothing. Message thread only.
class FramePacer : private juce::MouseListener,
                   private juce::KeyListener,
                   private juce::FocusChangeListener,
                   private juce::ComponentListener
{
public:
    // `window` must outlive this object; `animating` says whether something on it moves.
    FramePacer (juce::Component& window, std::function<bool()> animating);
    ~FramePacer() override;

    // Something is about to be drawn: frames at the full rate again.
    void wake();

    // Whether the frame timer is resting now (tests and benchmarks).
    bool isResting() const { return resting; }

    // The interval of the window's frame timer in milliseconds, or 0 when none was found.
    int frameInterval() const;

    // The frame timer's interval while resting.
    static constexpr int restingIntervalMs = 2000;
    // Frames with nothing asked of them before the timer rests: a few, so that after the last
    // paint the queued X events are still looked at (QueuedXEventDispatcher) while frames run.
    static constexpr int quietFramesBeforeRest = 4;

private:
    juce::Timer* frameTimer() const;
    void onFrame();
    void listenForExposures();
    void stopListeningForExposures();
    static void restFrameworkPolls();

    void mouseMove (const juce::MouseEvent&) override { wake(); }
    void mouseEnter (const juce::MouseEvent&) override { wake(); }
    void mouseExit (const juce::MouseEvent&) override { wake(); }
    void mouseDown (const juce::MouseEvent&) override { wake(); }
    void mouseDrag (const juce::MouseEvent&) override { wake(); }
    void mouseUp (const juce::MouseEvent&) override { wake(); }
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override { wake(); }
    bool keyPressed (const juce::KeyPress&, juce::Component*) override;
    bool keyStateChanged (bool, juce::Component*) override;
    void globalFocusChanged (juce::Component* focused) override;
    void componentMovedOrResized (juce::Component&, bool, bool) override { wake(); }
    void componentVisibilityChanged (juce::Component&) override { wake(); }

    juce::Component& window;
    std::function<bool()> animating;
    juce::Component::SafePointer<juce::Component> focusedComponent;
    // Told of every exposure of the window by its peer (a component only by the hook's type).
    std::unique_ptr<juce::Component> exposureListener;
    juce::ComponentPeer* listenedPeer = nullptr;
    juce::uint32 listenedPeerId = 0;
    juce::CachedComponentImage* repaintHook = nullptr; // owned by the window
    juce::VBlankAttachment frames;
    int fullInterval = 0;
    int quietFrames = 0;
    bool resting = false;

    JUCE_DECLARE_NON_COPYABLE (FramePacer)
};
