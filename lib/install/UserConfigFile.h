#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zorvaplugins::zorvamanager::install
{

// The program's own folder for small files it keeps between runs:
// $XDG_CONFIG_HOME/ZorvaPlugins/ZorvaManager, else $HOME/.config/ZorvaPlugins/ZorvaManager; an
// empty or relative variable counts as unset. Empty when neither gives an absolute folder.
// Reads the environment at each call; creates nothing. Any thread.
std::filesystem::path userConfigFolder();

// `fileName` in userConfigFolder(), or, when there is none, `temporaryFileName` in the system's
// temporary directory. Any thread.
std::filesystem::path userConfigFile (const std::string& fileName, const std::string& temporaryFileName);

// The whole content of a small regular file, or nothing when it is missing, not a regular file
// (a FIFO or a device never blocks or streams forever), unreadable or larger than maxBytes.
// Any thread.
std::optional<std::string> readSmallFile (const std::filesystem::path& file, std::uint64_t maxBytes);

} // namespace zorvaplugins::zorvamanager::install
