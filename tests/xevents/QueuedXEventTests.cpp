// Before Xlib's headers, whose macros (None, Bool, Status) clash with its names.
#include <gtest/gtest.h>

// The framework's X11 declarations are visible only where this precedes the first framework
// header (see app/QueuedXEventDispatcher.cpp).
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "MainWindow.h"
#include "support/TestSupport.h"

#include <juce_events/native/juce_linux_EventLoopInternal.h>

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

// A close request or a key press that Xlib has already taken off the X connection, while the
// message thread waited for a reply or flushed a request, leaves the connection quiet. The
// window must still act on it, although the server sends nothing more. Each case puts the
// event in that state on purpose and then only runs the message loop.
//
// Runs the real framework on this thread, on a display of its own (see CMakeLists.txt).
// HOME and the XDG folders point into a temporary folder.
namespace
{

constexpr int handledWithinMs = 2000; // generous: the window acts within one display frame

// The main window, with the program's quit replaced by a count, and the key presses that reach
// it counted too.
class RecordingWindow : public MainWindow, private juce::KeyListener
{
public:
    RecordingWindow()
        : MainWindow ("ZorvaManager", [] (const std::atomic<bool>*) { return std::make_shared<const WindowCatalogue>(); })
    {
        addKeyListener (this);
    }

    ~RecordingWindow() override { removeKeyListener (this); }

    void closeButtonPressed() override { ++closeRequests; }

    int closeRequests = 0;
    int f5Presses = 0;

private:
    bool keyPressed (const juce::KeyPress& key, juce::Component*) override
    {
        if (key.getKeyCode() != juce::KeyPress::F5Key)
            return false;

        ++f5Presses;
        return true;
    }
};

::Display* frameworkDisplay()
{
    return juce::XWindowSystem::getInstance()->getDisplay();
}

int frameworkConnection()
{
    return ConnectionNumber (frameworkDisplay());
}

bool connectionHasBytes (int timeoutMs)
{
    pollfd descriptor { frameworkConnection(), POLLIN, 0 };
    return ::poll (&descriptor, 1, timeoutMs) > 0;
}

// Events that the framework's connection holds in its queues or on its socket.
int eventsHeldByXlib()
{
    juce::XWindowSystemUtilities::ScopedXLock lock;
    return XEventsQueued (frameworkDisplay(), QueuedAfterReading);
}

void pumpFor (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (timeoutMs);

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;

        pumpFor (5);
    }

    return true;
}

// How the message thread comes to read the event off the connection outside the loop's callback.
enum class ReadBy
{
    replyWait,   // a round trip: the tooltip's and the desktop's pointer queries do this
    requestFlush // a request without reply sent at once: every painted frame does this
};

struct Case
{
    const char* name;
    void (*send) (::Display* sender, ::Window window);
    int RecordingWindow::*count;
    ReadBy readBy;
};

void PrintTo (const Case& c, std::ostream* out)
{
    *out << c.name;
}

void sendCloseRequest (::Display* sender, ::Window window)
{
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom (sender, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long> (XInternAtom (sender, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent (sender, window, False, NoEventMask, &event);
}

void sendF5Press (::Display* sender, ::Window window)
{
    constexpr int keyPressType = 2; // Xlib's KeyPress, whose macro the framework removes

    XEvent event {};
    event.xkey.type = keyPressType;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow (sender);
    event.xkey.time = CurrentTime;
    event.xkey.same_screen = True;
    event.xkey.keycode = XKeysymToKeycode (sender, XK_F5);
    XSendEvent (sender, window, False, KeyPressMask, &event);
}

// The main window on the display, and a connection of the test's own that plays the window
// manager and the keyboard.
class WindowOnDisplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sender = XOpenDisplay (nullptr);
        ASSERT_NE (sender, nullptr);

        // The pointer away from the window, so that no hover or tooltip sends anything later.
        XWarpPointer (sender, None, DefaultRootWindow (sender), 0, 0, 0, 0, 0, 0);
        XSync (sender, False);

        window = std::make_unique<RecordingWindow>();
        windowHandle = reinterpret_cast<::Window> (window->getPeer()->getNativeHandle());
    }

    void TearDown() override
    {
        window.reset();
        pumpFor (30);

        if (sender != nullptr)
            XCloseDisplay (sender);
    }

    static bool nothingLeftToHandle() { return ! connectionHasBytes (0) && eventsHeldByXlib() == 0; }

    ::Display* sender = nullptr;
    std::unique_ptr<RecordingWindow> window;
    ::Window windowHandle = 0;
};

// Showing the window makes the framework talk to the server (it waits for replies while it
// sets the window up and paints the first frame), so its own map, configure, expose and focus
// events are read meanwhile; nothing else arrives after them.
TEST_F (WindowOnDisplay, HandlesTheEventsOfItsOwnStart)
{
    EXPECT_TRUE (pumpUntil (nothingLeftToHandle, handledWithinMs)) << eventsHeldByXlib() << " events still held by Xlib";
}

class QueuedXEvents : public WindowOnDisplay, public ::testing::WithParamInterface<Case>
{
protected:
    void SetUp() override
    {
        WindowOnDisplay::SetUp();

        // Shown, painted and loaded; whatever the start left in Xlib is handled here by the
        // framework's own X callback, and the frames that this paints are let through, so that
        // each case starts from a connection that stays quiet.
        pumpFor (500);
        int quietChecks = 0;
        ASSERT_TRUE (pumpUntil (
            [&quietChecks] {
                juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (frameworkConnection());
                pumpFor (50);
                quietChecks = nothingLeftToHandle() ? quietChecks + 1 : 0;
                return quietChecks >= 6;
            },
            10000));
    }
};

TEST_P (QueuedXEvents, AreHandledAlthoughTheConnectionStaysQuiet)
{
    const auto& c = GetParam();

    c.send (sender, windowHandle);
    XSync (sender, False);
    ASSERT_TRUE (connectionHasBytes (2000)) << "the event never reached the window's connection";

    // The message thread reads the event outside the loop's X callback, as the program does
    // many times a second.
    if (c.readBy == ReadBy::replyWait)
    {
        juce::Desktop::getMousePosition();
    }
    else
    {
        juce::XWindowSystemUtilities::ScopedXLock lock;
        XNoOp (frameworkDisplay());
        XFlush (frameworkDisplay());
    }

    // Not counted through Xlib here: counting would move the event between Xlib's queues.
    ASSERT_FALSE (connectionHasBytes (0)) << "the connection still has bytes: the case would not test a held event";
    ASSERT_EQ ((*window).*c.count, 0);

    EXPECT_TRUE (pumpUntil ([&] { return (*window).*c.count > 0; }, handledWithinMs));
    EXPECT_EQ ((*window).*c.count, 1);
}

INSTANTIATE_TEST_SUITE_P (
    CloseAndKey,
    QueuedXEvents,
    ::testing::Values (Case { "CloseRequestReadByReplyWait", sendCloseRequest, &RecordingWindow::closeRequests, ReadBy::replyWait },
                       Case { "CloseRequestReadByRequestFlush", sendCloseRequest, &RecordingWindow::closeRequests, ReadBy::requestFlush },
                       Case { "KeyPressReadByReplyWait", sendF5Press, &RecordingWindow::f5Presses, ReadBy::replyWait },
                       Case { "KeyPressReadByRequestFlush", sendF5Press, &RecordingWindow::f5Presses, ReadBy::requestFlush }),
    [] (const ::testing::TestParamInfo<Case>& param) { return std::string (param.param.name); });

} // namespace

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // A window manager creates these atoms; the framework looks them up only if they exist when
    // it connects, and without them would neither offer nor accept WM_DELETE_WINDOW. This
    // connection stays open for the run, so that a server that resets when its last client
    // leaves keeps them.
    auto* atomKeeper = XOpenDisplay (nullptr);

    if (atomKeeper == nullptr)
    {
        std::fprintf (stderr, "no X display\n");
        return 1;
    }

    for (const auto* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS" })
        XInternAtom (atomKeeper, name, False);

    XSync (atomKeeper, False);

    const zorvatest::TemporaryHome home;

    // As in the application suites: the framework installs its X error handlers only for a
    // standalone application; no application object is ever created from this factory.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    int result = 0;

    {
        juce::ScopedJuceInitialiser_GUI framework;
        result = RUN_ALL_TESTS();
        juce::DeletedAtShutdown::deleteAll();
    }

    XCloseDisplay (atomKeeper);
    return result;
}
