#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <string>

// What the window benchmarks share: a clock, the process's memory figures, a message loop run
// until a condition holds, and a search through the window's components. Message thread only.
namespace windowbench
{

// Milliseconds on the framework's high-resolution counter.
double nowMs();

// A line of /proc/self/status such as "VmHWM:", in KiB; -1 when it is missing. Any thread.
long statusKiB (const std::string& field);

// Runs the message loop in slices of `sliceMs` until `condition` holds or `timeoutMs` have
// passed; whether it held.
bool pumpUntil (const std::function<bool()>& condition, double timeoutMs, int sliceMs = 20);

// The first component below `parent`, depth first, of this type that `matches` accepts.
template <typename Type>
Type* findDescendant (
    juce::Component& parent, const std::function<bool (Type&)>& matches = [] (Type&) { return true; })
{
    for (auto* child : parent.getChildren())
    {
        if (auto* typed = dynamic_cast<Type*> (child); typed != nullptr && matches (*typed))
            return typed;

        if (auto* found = findDescendant<Type> (*child, matches))
            return found;
    }

    return nullptr;
}

} // namespace windowbench
