#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// Lets the window's frame timer rest while nothing moves.
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
// only a few times a second (which still draws whatever the framework itself asks for, such as
// an exposed part of the window, within a quarter of a second). It goes back to the full rate at once when the user moves the mouse
// or types in the window, when the window is moved or resized, and whenever wake() is called
// (the window's own changes). Where no such timer is found (another window system, or a
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

    static constexpr int restingRateHz = 4;
    static constexpr int quietFramesBeforeRest = 30;

private:
    juce::Timer* frameTimer() const;
    void onFrame();
    static void restDesktopTimer();

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
    juce::VBlankAttachment frames;
    int fullInterval = 0;
    int quietFrames = 0;
    bool resting = false;

    JUCE_DECLARE_NON_COPYABLE (FramePacer)
};
