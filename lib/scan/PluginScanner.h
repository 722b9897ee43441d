#pragma once

#include "install/PluginFormat.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::scan
{

// One plug-in found by a scan.
struct InstalledPlugin
{
    install::PluginFormat format = install::PluginFormat::Vst3; // the format scanned for
    std::string name;                                           // file name without extension
    std::filesystem::path path;                                 // folder as given / file name
    std::string version;                                        // VST3 only; may be empty
};

// Outcome of a scan.
struct ScanResult
{
    bool ok = false;
    std::string error;                    // empty when ok
    std::vector<InstalledPlugin> plugins; // empty on failure
};

// Finds the installed plug-ins of one format in a list of folders. Called on the message
// thread; safe on any thread, as the only shared state is a pattern compiled once.
class PluginScanner
{
public:
    PluginScanner() = delete;

    // Looks only at the top level of each folder, in order; an entry counts when its
    // extension is exactly ".vst3" (a directory, links followed) or ".clap" (a regular file or
    // a directory, links followed), as `format` asks. Missing,
    // non-directory and unreadable folders contribute nothing and report nothing. The result
    // is sorted by the bytes of each path's native string; nothing is de-duplicated.
    //
    // When advancing from one entry of a folder to the next fails, the scan fails with the
    // file system's text and finds nothing: a listing broken off half-way is not "nothing
    // more here". Never throws for the file system.
    static ScanResult scanPaths (const std::vector<std::filesystem::path>& folders, install::PluginFormat format);
};

// The "Version" value of a VST3 bundle's Contents/Resources/moduleinfo.json: the first
// match of "Version"\s*:\s*"([^"]*)" anywhere in the text (no JSON parsing). Empty when
// the file is missing, unreadable or has no such entry. Any thread; never throws.
std::string readVst3Version (const std::filesystem::path& bundle);

} // namespace zorvaplugins::zorvamanager::scan
