#pragma once

#include "install/PluginFormat.h"

#include <filesystem>
#include <string>
#include <vector>

// Small free helpers of the application. Any thread unless stated.

// Creates a fresh folder "zorvamanager-ui-<steady clock nanoseconds>" under the system's
// temporary directory and returns it; the caller removes it. Throws std::filesystem::filesystem_error
// when the folder cannot be created.
std::filesystem::path makeTemporaryRoot();

// The comparison key of product names and slugs: ASCII letters and digits only, lower-cased.
std::string normaliseName (std::string text);

// The first default install folder of a format, or an empty path when there is none.
std::filesystem::path firstDefaultPath (zorvaplugins::zorvamanager::install::PluginFormat format);

// The ordered, duplicate-free folders that the installed scan of one format looks in: the
// chosen folder, then the default install, user and system folders.
std::vector<std::filesystem::path> scanPathsFor (zorvaplugins::zorvamanager::install::PluginFormat format,
                                                 const std::filesystem::path& chosenFolder);
