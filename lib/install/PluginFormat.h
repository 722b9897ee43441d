#pragma once

namespace zorvaplugins::zorvamanager::install
{

// The two plug-in formats. The numbers are fixed: settings and listings may store them.
enum class PluginFormat : int
{
    Vst3 = 0,
    Clap = 1
};

// The format's name in the catalogue and in a package's layout: "vst3" or "clap".
constexpr const char* formatName (PluginFormat format)
{
    return format == PluginFormat::Vst3 ? "vst3" : "clap";
}

// The format's name in messages: "VST3" or "CLAP".
constexpr const char* formatLabel (PluginFormat format)
{
    return format == PluginFormat::Vst3 ? "VST3" : "CLAP";
}

} // namespace zorvaplugins::zorvamanager::install
