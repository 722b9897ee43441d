#pragma once
// The runtime's own command line: options that begin with "--appimage-" in the first
// argument. Everything else goes to the program unchanged. Pure functions, any thread.
#ifdef __cplusplus
extern "C" {
#endif

typedef enum
{
    RuntimeRun,           // run the program (mounted, or extracted where FUSE cannot be used)
    RuntimeExtractAndRun, // run the program from an extracted copy
    RuntimeExtract,       // write ./squashfs-root (optionally only what matches a pattern)
    RuntimeOffset,        // print the offset of the file system image
    RuntimeHelp,
    RuntimeVersion,
    RuntimeBadOption // an unknown "--appimage-" option, or wrong arguments to one
} RuntimeAction;

typedef struct
{
    RuntimeAction action;
    const char* pattern;      // RuntimeExtract: the pattern, or null for everything
    int firstProgramArgument; // index into argv of the first argument for the program
    const char* badOption;    // RuntimeBadOption: the argument at fault
} RuntimeOptions;

// ENVIRONMENT_EXTRACT_AND_RUN is the value of APPIMAGE_EXTRACT_AND_RUN (null when unset).
RuntimeOptions parseRuntimeOptions (int argc, char* const* argv, const char* environmentExtractAndRun);

// The option texts shown by --appimage-help.
extern const char runtimeHelpText[];

#ifdef __cplusplus
}
#endif
