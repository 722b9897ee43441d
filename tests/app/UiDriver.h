#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Drives the real window the way a user would: mouse events through the window's peer and
// the buttons of the message boxes on screen. Test thread (the message thread) only.
namespace uidriver
{
// A left click at a point in a component's coordinates: press and release through the peer,
// so the framework's own hit testing and modal rules decide who receives it.
void clickAt (juce::Component& component, juce::Point<int> position);

// The mouse moved (no button held) to a point in a component's coordinates.
void moveTo (juce::Component& component, juce::Point<int> position);

// A key pressed while the window of this component is in front, through its peer as the
// window system's key events arrive: to the focused control first, then up its parents.
bool pressKey (juce::Component& component, const juce::KeyPress& key);

// A wheel movement over a point in a component's coordinates.
void wheelAt (juce::Component& component, juce::Point<int> position, float deltaY);

// The message box on screen, or nullptr.
juce::AlertWindow* currentAlert();

// The title and message of the message box on screen (empty when there is none).
juce::String alertTitle();
juce::String alertMessage();

// Clicks the button with this text on the message box on screen; false when there is none.
bool clickAlertButton (const juce::String& text);

// Waits (pumping the message loop) until a message box with this title is on screen.
bool waitForAlert (const juce::String& title, int timeoutMs = 5000);

// Writes a snapshot of a component to a PNG file in ZORVAMANAGER_SCREENSHOT_DIR, if set.
// `scale` draws it for a screen with that many device pixels per point.
void screenshot (juce::Component& component, const juce::String& name, float scale = 1.0f);
} // namespace uidriver
