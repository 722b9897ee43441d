#include "FramePacer.h"

#if JUCE_LINUX || JUCE_BSD
// The frame timer's class inside the framework's X11 window peer: its vtable is all that is
// needed to recognise the timer among the peer's members. A weak reference, so that a
// framework without that class still links and the pacer then does nothing.
extern "C" const void* const _ZTVN4juce18LinuxComponentPeer18LinuxVBlankManagerE[] __attribute__ ((weak));
#endif

namespace
{
// How far into the peer the search for its frame timer looks: the X11 peer is a few hundred
// bytes, and the timer is one of its members.
constexpr std::size_t peerSearchBytes = 2048;
} // namespace

FramePacer::FramePacer (juce::Component& windowToPace, std::function<bool()> isAnimating)
    : window (windowToPace)
    , animating (std::move (isAnimating))
    , frames (&windowToPace, [this] { onFrame(); })
{
    window.addMouseListener (this, true);
    window.addComponentListener (this);
    juce::Desktop::getInstance().addFocusChangeListener (this);
}

FramePacer::~FramePacer()
{
    juce::Desktop::getInstance().removeFocusChangeListener (this);
    window.removeComponentListener (this);
    window.removeMouseListener (this);

    if (focusedComponent != nullptr)
        focusedComponent->removeKeyListener (this);

    // A resting peer outlives this object only if the window does; give it its rate back.
    wake();
}

juce::Timer* FramePacer::frameTimer() const
{
#if JUCE_LINUX || JUCE_BSD
    auto* peer = window.getPeer();

    if (peer == nullptr || _ZTVN4juce18LinuxComponentPeer18LinuxVBlankManagerE == nullptr)
        return nullptr;

    // An object's first word points two entries into its class's vtable (the Itanium C++ ABI);
    // the timer is the frame manager's only base, at its start.
    const auto* wanted = _ZTVN4juce18LinuxComponentPeer18LinuxVBlankManagerE + 2;
    const auto* words = reinterpret_cast<const void* const*> (peer);

    for (std::size_t i = 0; i < peerSearchBytes / sizeof (void*); ++i)
        if (words[i] == wanted)
            return reinterpret_cast<juce::Timer*> (const_cast<void**> (words + i));
#endif

    return nullptr;
}

int FramePacer::frameInterval() const
{
    auto* timer = frameTimer();
    return timer != nullptr && timer->isTimerRunning() ? timer->getTimerInterval() : 0;
}

void FramePacer::wake()
{
    quietFrames = 0;

    if (! resting)
        return;

    resting = false;

    if (auto* timer = frameTimer(); timer != nullptr && fullInterval > 0)
        timer->startTimer (fullInterval);
}

void FramePacer::onFrame()
{
    if (resting)
    {
        restDesktopTimer();
        return;
    }

    if (++quietFrames < quietFramesBeforeRest || (animating && animating()))
        return;

    if (auto* timer = frameTimer(); timer != nullptr && timer->isTimerRunning())
    {
        fullInterval = timer->getTimerInterval();
        timer->startTimerHz (restingRateHz);
        resting = true;
        restDesktopTimer();
    }
}

void FramePacer::restDesktopTimer()
{
    // The desktop polls the mouse ten times a second for as long as a global mouse listener
    // exists, to send those listeners moves outside every window; each text editor is one, for
    // its clicks alone, which reach it without the poll. A mouse move over the window starts
    // the poll again until the next rest. (A C-style cast reaches the private base.)
    auto* desktopTimer = (juce::Timer*) &juce::Desktop::getInstance();

    if (desktopTimer->isTimerRunning())
        desktopTimer->stopTimer();
}

bool FramePacer::keyPressed (const juce::KeyPress&, juce::Component*)
{
    wake();
    return false;
}

bool FramePacer::keyStateChanged (bool, juce::Component*)
{
    wake();
    return false;
}

void FramePacer::globalFocusChanged (juce::Component* focused)
{
    wake();

    if (focusedComponent != nullptr)
        focusedComponent->removeKeyListener (this);

    // Keys go to the focused component first, and one that uses a key hands it no further:
    // listening there hears every key typed into the window.
    focusedComponent = focused != nullptr && window.isParentOf (focused) ? focused : nullptr;

    if (focusedComponent != nullptr)
        focusedComponent->addKeyListener (this);
}
