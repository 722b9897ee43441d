#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>

#if defined(__SANITIZE_ADDRESS__)
// libarchive asks malloc for absurd sizes on some hostile archives and handles the null it
// gets back; under AddressSanitizer that must stay a null rather than end the run.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

// The library suites never touch the real home: HOME and the XDG folders point into a
// temporary folder for the whole run, whoever starts the executable.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    const zorvatest::TemporaryHome home;

    // A JUCE program runs in the plain C locale; so do the library tests.
    std::setlocale (LC_ALL, "C");

    return RUN_ALL_TESTS();
}
