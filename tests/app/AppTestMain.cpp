#include "support/TestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

// The application suites run the real framework on this thread: its message loop is pumped
// by the tests themselves. HOME and the XDG folders point into a temporary folder.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    const zorvatest::TemporaryHome home;

    // The framework installs its X error handlers only for a standalone application; without
    // them the first harmless X error (a window-manager atom a bare X server lacks) would end
    // the process. No application object is ever created from this factory.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    juce::ScopedJuceInitialiser_GUI framework;
    const auto result = RUN_ALL_TESTS();
    juce::DeletedAtShutdown::deleteAll();
    return result;
}
