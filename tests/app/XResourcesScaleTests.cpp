// Before the X11 headers, whose macros (None, Bool) would break its own names.
#include <gtest/gtest.h>

// The X11 headers and the framework's X11 helpers, to set the root window's resources as xrdb does.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "AppFixtures.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "XResourcesScale.h"
#include "ZorvaManagerComponent.h"

#include <optional>
#include <string>

namespace
{

// The root window's RESOURCE_MANAGER property for the time of a test, as `xrdb -load` sets it;
// gone again afterwards, with the framework's global scale back at 1.
class RootWindowResources
{
public:
    explicit RootWindowResources (const std::optional<std::string>& text) { set (text); }

    ~RootWindowResources()
    {
        set (std::nullopt);
        juce::Desktop::getInstance().setGlobalScaleFactor (1.0f);
    }

private:
    static void set (const std::optional<std::string>& text)
    {
        auto* display = juce::XWindowSystem::getInstance()->getDisplay();
        auto* x11 = juce::X11Symbols::getInstance();
        juce::XWindowSystemUtilities::ScopedXLock lock;
        const auto property = x11->xInternAtom (display, "RESOURCE_MANAGER", False);
        const auto root = x11->xDefaultRootWindow (display);

        if (text)
            x11->xChangeProperty (display,
                                  root,
                                  property,
                                  XA_STRING,
                                  8,
                                  PropModeReplace,
                                  reinterpret_cast<const unsigned char*> (text->data()),
                                  static_cast<int> (text->size()));
        else
            x11->xDeleteProperty (display, root, property);

        x11->xSync (display, False);
    }
};

} // namespace

// A desktop that says its density through Xft.dpi alone gets the window at that scale; a scale
// the framework already has is never multiplied by it.
TEST (XResourcesScale, XftDpiScalesTheWindowUnlessTheFrameworkHasAScale)
{
    ASSERT_NE (juce::XWindowSystem::getInstance()->getDisplay(), nullptr);

    struct Case
    {
        const char* what;
        std::optional<std::string> resources;
        float frameworkScale;
        float expected;
    };

    const Case cases[] = {
        { "Xft.dpi 192", "Xft.antialias:\t1\nXft.dpi:\t192\nXft.hintstyle:\thintslight\n", 1.0f, 2.0f },
        { "Xft.dpi 144", "Xft.dpi:\t144\n", 1.0f, 1.5f },
        { "Xft.dpi 192 and a scale of 1.5 already", "Xft.dpi:\t192\n", 1.5f, 1.5f },
        { "Xft.dpi 72", "Xft.dpi:\t72\n", 1.0f, 1.0f },
        { "resources without Xft.dpi", "Xcursor.size:\t48\n", 1.0f, 1.0f },
        { "no resources", std::nullopt, 1.0f, 1.0f },
    };

    for (const auto& [what, resources, frameworkScale, expected] : cases)
    {
        SCOPED_TRACE (what);
        RootWindowResources root (resources);
        juce::Desktop::getInstance().setGlobalScaleFactor (frameworkScale);

        EXPECT_FLOAT_EQ (applyXResourcesScale(), expected);

        // The window keeps its layout and is drawn at the scale: its native window is that
        // many times its size in device pixels.
        const auto load = apptest::loaded ({ apptest::product ("p0", "Product 0") });
        MainWindow window ("ZorvaManager", [load] (const std::atomic<bool>*) { return load; });
        pumpFor (200);

        auto* peer = window.getPeer();
        ASSERT_NE (peer, nullptr);
        const auto native = juce::XWindowSystem::getInstance()->getWindowBounds ((::Window) peer->getNativeHandle(), {});
        EXPECT_EQ (window.getContentComponent()->getWidth(), ZorvaManagerComponent::defaultWidth);
        EXPECT_NEAR (native.getWidth(), window.getWidth() * double (expected), 2.0);
        EXPECT_NEAR (native.getHeight(), window.getHeight() * double (expected), 2.0);
    }
}
