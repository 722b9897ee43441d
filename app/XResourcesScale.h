#pragma once

// The desktop scale of the X resources' "Xft.dpi", for the window system's framework.
//
// On X11 JUCE takes its desktop scale from an XSETTINGS manager, from GNOME's settings or from
// the screen's size in millimetres, never from Xft.dpi, which is how many desktops (and users'
// ~/.Xresources) say that a screen has a high density. Where the framework found no scale of
// its own for the main display (it counts 1) and the root window's resources ask for more,
// this makes that scale the framework's global scale factor; otherwise it changes nothing, so
// that a scale is never applied twice. Returns the global scale factor then in force.
//
// Message thread, before the first window opens. Does nothing where the window system is not
// X11 or no display is open.
float applyXResourcesScale();
