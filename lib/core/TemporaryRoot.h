#pragma once

#include <filesystem>

namespace zorvaplugins::zorvamanager::core
{

// Every scratch folder of the program starts with this name, so that leftovers are easy to
// recognise in the system's temporary directory.
constexpr const char* temporaryRootPrefix = "zorvamanager-ui-";

// Creates a fresh folder "zorvamanager-ui-<steady clock in nanoseconds>" under the system's
// temporary directory and returns it; the caller removes it. A folder of that name that
// already exists is used as it is. Throws std::filesystem::filesystem_error when the folder
// cannot be created. Any thread: names made at the same moment on two threads differ by
// their clock reading.
std::filesystem::path makeTemporaryRoot();

} // namespace zorvaplugins::zorvamanager::core
