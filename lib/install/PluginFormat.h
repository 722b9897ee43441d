#pragma once

namespace zorvaplugins::zorvamanager::install
{

// The two plug-in formats. Callers pass and store the number; any number other than 0 is
// handled as CLAP.
enum class PluginFormat : int
{
    Vst3 = 0,
    Clap = 1
};

} // namespace zorvaplugins::zorvamanager::install
