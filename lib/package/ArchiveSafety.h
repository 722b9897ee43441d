#pragma once

#include <string>
#include <string_view>

namespace zorvaplugins::zorvamanager::package
{

// Outcome of checking one archive entry name.
struct EntryPathResult
{
    bool ok = false;
    std::string error; // "empty path", "control character", "absolute path",
                       // "windows drive prefix" or "parent traversal"; empty when ok
};

// The entry-name rule shared by archive extraction and package layout validation.
class ArchiveSafety
{
public:
    ArchiveSafety() = delete;

    // Accepts a relative entry name (either separator) that cannot reach outside the folder
    // it is unpacked into. Checks, first match decides: empty, any byte <= 0x1F, a leading
    // '/' or '\', a drive prefix "X:", a ".." component. Pure function; any thread.
    static EntryPathResult validateEntryPath (std::string_view entryName);
};

} // namespace zorvaplugins::zorvamanager::package
