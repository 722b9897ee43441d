/* Sends one close request or one key press to a window and reports how long the window's
 * program takes to act on it, as seen from the X server.
 *
 *   xevent_probe close WINDOW TIMEOUT_MS [NUDGE_MS]
 *       Sends WM_DELETE_WINDOW to WINDOW (a ClientMessage, as a window manager's close button
 *       does) and waits until WINDOW is destroyed.
 *   xevent_probe key WINDOW X Y W H KEYSYM TIMEOUT_MS [NUDGE_MS]
 *       Takes the pixels of the rectangle X,Y,W,H of WINDOW, presses and releases KEYSYM
 *       through the XTEST extension (the keyboard focus decides who gets it) and waits until
 *       those pixels change.
 *
 *   xevent_probe atoms
 *       Creates the atoms WM_PROTOCOLS, WM_DELETE_WINDOW and WM_TAKE_FOCUS, as a window manager
 *       would. A program that looks them up only if they exist when it connects (JUCE does)
 *       never offers or accepts WM_DELETE_WINDOW on a bare X server without them. They last
 *       as long as the server does not reset (Xvfb -noreset, or another client kept open).
 *
 * NUDGE_MS (default: never): when nothing has happened after that many milliseconds, moves
 * the pointer by one pixel and back, and goes on waiting. A program that holds an event it
 * has already received until the next one arrives acts right after the nudge.
 *
 * Prints one line:
 *   handled MS                        acted on within MS milliseconds, before any nudge
 *   held MS released MS2              nothing within MS; acted on MS2 after the nudge
 *   held MS never                     nothing within MS, nor up to TIMEOUT_MS after the nudge
 *   timeout MS                        no nudge asked for, nothing within TIMEOUT_MS
 * and exits 0 on any of them, 2 on a usage or X error.
 *
 * Needs libX11; XTEST is loaded at run time (libXtst.so.6), so only the key command needs it.
 * Build: cc -O2 -o xevent_probe xevent_probe.c -lX11 -ldl
 */
#define _POSIX_C_SOURCE 200809L

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dlfcn.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double nowMs (void)
{
    struct timespec t;
    clock_gettime (CLOCK_MONOTONIC, &t);
    return (double) t.tv_sec * 1000.0 + (double) t.tv_nsec / 1.0e6;
}

static int failedRequest = 0;

static int onXError (Display* display, XErrorEvent* error)
{
    (void) display;
    (void) error;
    failedRequest = 1;
    return 0;
}

static void nudgePointer (Display* display)
{
    XWarpPointer (display, None, None, 0, 0, 0, 0, 1, 0);
    XWarpPointer (display, None, None, 0, 0, 0, 0, -1, 0);
    XFlush (display);
}

/* The check that says whether the program has acted; returns 1 once it has. */
typedef int (*Check) (Display* display, void* context);

struct CloseWatch
{
    Window window;
    int destroyed;
};

static int windowIsGone (Display* display, void* context)
{
    struct CloseWatch* watch = context;

    while (XPending (display) > 0)
    {
        XEvent event;
        XNextEvent (display, &event);

        if (event.type == DestroyNotify && event.xdestroywindow.window == watch->window)
            watch->destroyed = 1;
    }

    return watch->destroyed;
}

struct PixelWatch
{
    Window window;
    int x, y;
    unsigned int w, h;
    XImage* before;
};

static XImage* grab (Display* display, const struct PixelWatch* watch)
{
    return XGetImage (display, watch->window, watch->x, watch->y, watch->w, watch->h, AllPlanes, ZPixmap);
}

static int pixelsChanged (Display* display, void* context)
{
    struct PixelWatch* watch = context;
    XImage* now = grab (display, watch);

    if (now == NULL)
        return 1; /* the window went away: the key did something */

    int changed = 0;

    for (unsigned int y = 0; y < watch->h && ! changed; ++y)
        for (unsigned int x = 0; x < watch->w && ! changed; ++x)
            changed = XGetPixel (now, (int) x, (int) y) != XGetPixel (watch->before, (int) x, (int) y);

    XDestroyImage (now);
    return changed;
}

/* Waits for `check`, nudging the pointer once after nudgeMs (when >= 0); prints the result. */
static void waitAndReport (Display* display, Check check, void* context, double timeoutMs, double nudgeMs)
{
    const double start = nowMs();
    double nudgedAt = -1.0;
    struct pollfd descriptor = { ConnectionNumber (display), POLLIN, 0 };

    for (;;)
    {
        if (check (display, context))
        {
            const double at = nowMs();

            if (nudgedAt < 0.0)
                printf ("handled %.1f\n", at - start);
            else
                printf ("held %.0f released %.1f\n", nudgedAt - start, at - nudgedAt);

            return;
        }

        const double elapsed = nowMs() - start;

        if (nudgeMs >= 0.0 && nudgedAt < 0.0 && elapsed >= nudgeMs)
        {
            nudgePointer (display);
            nudgedAt = nowMs();
            continue;
        }

        const double limit = nudgedAt < 0.0 ? (nudgeMs >= 0.0 ? nudgeMs : timeoutMs) : (nudgedAt - start) + timeoutMs;

        if (elapsed >= limit)
        {
            if (nudgedAt < 0.0)
                printf ("timeout %.0f\n", elapsed);
            else
                printf ("held %.0f never\n", nudgedAt - start);

            return;
        }

        poll (&descriptor, 1, 1);
    }
}

static int usage (void)
{
    fprintf (stderr,
             "usage: xevent_probe close WINDOW TIMEOUT_MS [NUDGE_MS]\n"
             "       xevent_probe key WINDOW X Y W H KEYSYM TIMEOUT_MS [NUDGE_MS]\n"
             "       xevent_probe atoms\n");
    return 2;
}

int main (int argc, char** argv)
{
    if (argc < 2 || (argc < 4 && strcmp (argv[1], "atoms") != 0))
        return usage();

    Display* display = XOpenDisplay (NULL);

    if (display == NULL)
    {
        fprintf (stderr, "xevent_probe: cannot open the display\n");
        return 2;
    }

    XSetErrorHandler (onXError);

    if (strcmp (argv[1], "atoms") == 0)
    {
        const char* names[] = { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS" };

        for (unsigned int i = 0; i < sizeof names / sizeof names[0]; ++i)
            XInternAtom (display, names[i], False);

        XCloseDisplay (display);
        return 0;
    }

    const Window window = (Window) strtoul (argv[2], NULL, 0);

    if (strcmp (argv[1], "close") == 0 && (argc == 4 || argc == 5))
    {
        const double timeoutMs = atof (argv[3]);
        const double nudgeMs = argc == 5 ? atof (argv[4]) : -1.0;

        XSelectInput (display, window, StructureNotifyMask);
        XSync (display, False);

        if (failedRequest)
        {
            fprintf (stderr, "xevent_probe: no window %s\n", argv[2]);
            return 2;
        }

        XEvent message;
        memset (&message, 0, sizeof message);
        message.xclient.type = ClientMessage;
        message.xclient.window = window;
        message.xclient.message_type = XInternAtom (display, "WM_PROTOCOLS", False);
        message.xclient.format = 32;
        message.xclient.data.l[0] = (long) XInternAtom (display, "WM_DELETE_WINDOW", False);
        message.xclient.data.l[1] = CurrentTime;
        XSendEvent (display, window, False, NoEventMask, &message);
        XFlush (display);

        struct CloseWatch watch = { window, 0 };
        waitAndReport (display, windowIsGone, &watch, timeoutMs, nudgeMs);
    }
    else if (strcmp (argv[1], "key") == 0 && (argc == 9 || argc == 10))
    {
        struct PixelWatch watch = { window, atoi (argv[3]), atoi (argv[4]), (unsigned int) atoi (argv[5]), (unsigned int) atoi (argv[6]),
                                    NULL };
        const KeySym keysym = XStringToKeysym (argv[7]);
        const double timeoutMs = atof (argv[8]);
        const double nudgeMs = argc == 10 ? atof (argv[9]) : -1.0;

        typedef int (*FakeKey) (Display*, unsigned int, Bool, unsigned long);
        void* xtest = dlopen ("libXtst.so.6", RTLD_NOW);
        FakeKey fakeKey = xtest != NULL ? (FakeKey) dlsym (xtest, "XTestFakeKeyEvent") : NULL;

        if (keysym == NoSymbol || fakeKey == NULL)
        {
            fprintf (stderr, "xevent_probe: unknown key %s, or no XTEST library\n", argv[7]);
            return 2;
        }

        watch.before = grab (display, &watch);

        if (watch.before == NULL)
        {
            fprintf (stderr, "xevent_probe: cannot read window %s\n", argv[2]);
            return 2;
        }

        const unsigned int keycode = XKeysymToKeycode (display, keysym);
        fakeKey (display, keycode, True, CurrentTime);
        fakeKey (display, keycode, False, CurrentTime);
        XFlush (display);

        waitAndReport (display, pixelsChanged, &watch, timeoutMs, nudgeMs);
        XDestroyImage (watch.before);
    }
    else
    {
        return usage();
    }

    XCloseDisplay (display);
    return 0;
}
