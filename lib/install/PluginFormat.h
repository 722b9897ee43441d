#pragma once

namespace zorvaplugins::zorvamanager::install
{

// The two plug-in formats. The numbers are fixed: settings and listings may store them.
enum class PluginFormat : int
{
    Vst3 = 0,
    Clap = 1
};

} // namespace zorvaplugins::zorvamanager::install
