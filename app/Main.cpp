#include "ZorvaManagerApplication.h"
#include "cli/CommandRunner.h"

// Without arguments the program is the window, started as START_JUCE_APPLICATION would start
// it. With any argument it is the command-line program, which runs before the framework is
// initialised and so never opens a display connection.
juce::JUCEApplicationBase* juce_CreateApplication();
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new ZorvaManagerApplication();
}

int main (int argc, char* argv[])
{
    if (argc > 1)
        return zorvaplugins::zorvamanager::cli::runCommandLine (argc, argv, JUCE_APPLICATION_VERSION_STRING);

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
