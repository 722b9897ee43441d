#include "FramePacer.h"

#if JUCE_LINUX || JUCE_BSD
// The frame timer's class inside the framework's X11 window peer: its vtable is all that is
// needed to recognise the timer among the peer's members. A weak reference, so that a
// framework without that class still links and the pacer then does nothing.
extern "C" const void* const _ZTVN4juce18LinuxComponentPeer18LinuxVBlankManagerE[] __attribute__ ((weak));

namespace juce
{
// The X11 peer's repaint listeners, as the framework's OpenGL contexts use them: each is sent
// command message 0 whenever the X server exposes a part of the window. Weak, as above.
void juce_LinuxAddRepaintListener (ComponentPeer*, Component*) __attribute__ ((weak));
void juce_LinuxRemoveRepaintListener (ComponentPeer*, Component*) __attribute__ ((weak));
} // namespace juce

// The holder of the framework's top-level window manager, whose first member is the instance
// pointer (null while no top-level window exists). Weak, as above.
extern "C" void* const _ZN4juce21TopLevelWindowManager15singletonHolderE[] __attribute__ ((weak));
#endif

namespace
{
// How far into the peer the search for its frame timer looks: the X11 peer is a few hundred
// bytes, and the timer is one of its members.
constexpr std::size_t peerSearchBytes = 2048;

// Installed as the window's cached image. A window on the desktop has no parent to paint it
// through the cache, so it draws nothing of its own; but every repaint of the window or of a
// component in it reaches the window's cached image before the peer, and so this hears them.
class RepaintHook final : public juce::CachedComponentImage
{
public:
    RepaintHook (juce::Component& windowToHear, std::function<void()> repaintRequested)
        : window (windowToHear)
        , onRepaint (std::move (repaintRequested))
    {}

    void paint (juce::Graphics& g) override { window.paintEntireComponent (g, false); }

    bool invalidateAll() override
    {
        onRepaint();
        return true;
    }

    bool invalidate (const juce::Rectangle<int>&) override
    {
        onRepaint();
        return true;
    }

    void releaseResources() override {}

private:
    juce::Component& window;
    std::function<void()> onRepaint;
};

// Never shown: the peer calls it directly when the X server exposes a part of the window.
class ExposureListener final : public juce::Component
{
public:
    explicit ExposureListener (std::function<void()> exposed)
        : onExposed (std::move (exposed))
    {}

    void handleCommandMessage (int) override { onExposed(); }

private:
    std::function<void()> onExposed;
};
} // namespace

FramePacer::FramePacer (juce::Component& windowToPace, std::function<bool()> isAnimating)
    : window (windowToPace)
    , animating (std::move (isAnimating))
    , exposureListener (std::make_unique<ExposureListener> ([this] { wake(); }))
    , frames (&windowToPace, [this] { onFrame(); })
{
    auto hook = std::make_unique<RepaintHook> (window, [this] { wake(); });
    repaintHook = hook.get();
    window.setCachedComponentImage (hook.release());
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

    stopListeningForExposures();

    if (window.getCachedComponentImage() == repaintHook)
        window.setCachedComponentImage (nullptr);

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

void FramePacer::listenForExposures()
{
#if JUCE_LINUX || JUCE_BSD
    auto* peer = window.getPeer();

    // By identifier, not address: a peer made anew may take a deleted one's address, but
    // identifiers are never reused, and none is 0.
    const auto peerId = peer != nullptr ? peer->getUniqueID() : juce::uint32 { 0 };

    if (juce::juce_LinuxAddRepaintListener == nullptr || peerId == listenedPeerId)
        return;

    stopListeningForExposures();

    if (peer != nullptr)
    {
        juce::juce_LinuxAddRepaintListener (peer, exposureListener.get());
        listenedPeer = peer;
        listenedPeerId = peerId;
    }
#endif
}

void FramePacer::stopListeningForExposures()
{
#if JUCE_LINUX || JUCE_BSD
    if (listenedPeer != nullptr && juce::ComponentPeer::isValidPeer (listenedPeer) && listenedPeer->getUniqueID() == listenedPeerId &&
        juce::juce_LinuxRemoveRepaintListener != nullptr)
        juce::juce_LinuxRemoveRepaintListener (listenedPeer, exposureListener.get());
#endif

    listenedPeer = nullptr;
    listenedPeerId = 0;
}

void FramePacer::onFrame()
{
    listenForExposures();

    if (resting)
    {
        restFrameworkPolls();
        return;
    }

    if (++quietFrames < quietFramesBeforeRest || (animating && animating()))
        return;

    if (auto* timer = frameTimer(); timer != nullptr && timer->isTimerRunning())
    {
        fullInterval = timer->getTimerInterval();
        timer->startTimer (restingIntervalMs);
        resting = true;
        restFrameworkPolls();
    }
}

void FramePacer::restFrameworkPolls()
{
    const auto stop = [] (juce::Timer* timer) {
        if (timer != nullptr && timer->isTimerRunning())
            timer->stopTimer();
    };

    // The desktop polls the mouse ten times a second for as long as a global mouse listener
    // exists, to send those listeners moves outside every window; each text editor is one, for
    // its clicks alone, which reach it without the poll. A mouse move over the window starts
    // the poll again until the next rest. (A C-style cast reaches the private base.)
    stop ((juce::Timer*) &juce::Desktop::getInstance());

#if JUCE_LINUX || JUCE_BSD
    // The top-level window manager asks the X server which window is active every 1.7 s for as
    // long as a window exists. On X11 the server tells the window when it gains or loses the
    // focus, and that starts the manager's check again, so the poll only repeats what the
    // events say. The timer is the manager's first base.
    if (_ZN4juce21TopLevelWindowManager15singletonHolderE != nullptr)
        stop (static_cast<juce::Timer*> (_ZN4juce21TopLevelWindowManager15singletonHolderE[0]));
#endif
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
