#pragma once

#include <optional>
#include <string>

namespace zorvaplugins::zorvamanager::core
{

// The desktop scale that the X resources ask for through "Xft.dpi": the setting that desktops
// without an XSETTINGS scale (and users' ~/.Xresources, through xrdb) use for a high-density
// screen. `resources` is the text of the root window's RESOURCE_MANAGER property, one
// "name:value" per line, as xrdb stores it.
//
// Gives dpi / 96 for the last "Xft.dpi" line whose value is a plain decimal number (digits,
// with an optional fraction), and nothing when there is no such line, its value is anything
// else, or it asks for less than 96 dpi: the window is laid out for at least that. A scale over
// `largestScale` is taken as that, so that a mistyped value cannot open a window many screens
// wide. Pure; any thread.
std::optional<double> scaleFromXResources (const std::string& resources);

constexpr double largestScale = 4.0;

} // namespace zorvaplugins::zorvamanager::core
