// The X11 headers and the framework's X11 helpers, for the root window's resources.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "XResourcesScale.h"

#include "core/DesktopScale.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

namespace
{
#if JUCE_LINUX || JUCE_BSD
// The text of the root window's RESOURCE_MANAGER property (what xrdb loaded), or nothing.
std::string rootWindowResources()
{
    auto* display = juce::XWindowSystem::getInstance()->getDisplay();

    if (display == nullptr)
        return {};

    auto* x11 = juce::X11Symbols::getInstance();
    juce::XWindowSystemUtilities::ScopedXLock lock;
    const auto property = x11->xInternAtom (display, "RESOURCE_MANAGER", True);

    if (property == None)
        return {};

    // Up to 1 MiB (the length counts 32-bit units); a resource database is a few kilobytes.
    juce::XWindowSystemUtilities::GetXProperty resources (
        display, x11->xDefaultRootWindow (display), property, 0, 1 << 18, false, XA_STRING);

    if (! resources.success || resources.actualType != XA_STRING || resources.actualFormat != 8 || resources.data == nullptr)
        return {};

    return { reinterpret_cast<const char*> (resources.data), static_cast<std::size_t> (resources.numItems) };
}
#endif
} // namespace

float applyXResourcesScale()
{
    auto& desktop = juce::Desktop::getInstance();

#if JUCE_LINUX || JUCE_BSD
    const auto* main = desktop.getDisplays().getPrimaryDisplay();

    if (main != nullptr && juce::approximatelyEqual (main->scale, 1.0))
        if (const auto scale = zorvaplugins::zorvamanager::core::scaleFromXResources (rootWindowResources()))
            desktop.setGlobalScaleFactor (static_cast<float> (*scale));
#endif

    return desktop.getGlobalScaleFactor();
}
