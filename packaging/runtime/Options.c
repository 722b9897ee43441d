#include "Options.h"

#include <string.h>

const char runtimeHelpText[] = "Options of the AppImage runtime (any other arguments go to the program):\n"
                               "  --appimage-extract [PATTERN]  write the contents (or what matches PATTERN) to ./squashfs-root\n"
                               "  --appimage-extract-and-run    run the program from a temporary extracted copy\n"
                               "  --appimage-offset             print where the file system image begins\n"
                               "  --appimage-help               print this help\n"
                               "  --appimage-version            print the runtime's version\n"
                               "Environment: APPIMAGE_EXTRACT_AND_RUN=1 acts as --appimage-extract-and-run.\n";

static const char prefix[] = "--appimage-";

RuntimeOptions parseRuntimeOptions (int argc, char* const* argv, const char* environmentExtractAndRun)
{
    RuntimeOptions options = { RuntimeRun, 0, 1, 0 };
    const int fromEnvironment = environmentExtractAndRun != 0 && strcmp (environmentExtractAndRun, "1") == 0;

    if (argc < 2 || strncmp (argv[1], prefix, sizeof prefix - 1) != 0)
    {
        if (fromEnvironment)
            options.action = RuntimeExtractAndRun;
        return options;
    }

    const char* option = argv[1];
    options.firstProgramArgument = 2;

    if (strcmp (option, "--appimage-extract-and-run") == 0)
    {
        options.action = RuntimeExtractAndRun;
        return options;
    }

    // The remaining options take no program arguments.
    const int extraArguments = argc - 2;
    if (strcmp (option, "--appimage-extract") == 0 && extraArguments <= 1)
    {
        options.action = RuntimeExtract;
        options.pattern = extraArguments == 1 ? argv[2] : 0;
        if (options.pattern != 0 && options.pattern[0] == '\0')
        {
            options.action = RuntimeBadOption;
            options.badOption = option;
        }
        return options;
    }

    const struct
    {
        const char* name;
        RuntimeAction action;
    } plain[] = { { "--appimage-offset", RuntimeOffset }, { "--appimage-help", RuntimeHelp }, { "--appimage-version", RuntimeVersion } };

    for (size_t i = 0; i < sizeof plain / sizeof plain[0]; ++i)
    {
        if (strcmp (option, plain[i].name) == 0 && extraArguments == 0)
        {
            options.action = plain[i].action;
            return options;
        }
    }

    options.action = RuntimeBadOption;
    options.badOption = option;
    return options;
}
