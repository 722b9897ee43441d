#pragma once

#include "install/PluginFormat.h"

#include <filesystem>

namespace zorvaplugins::zorvamanager::install
{

// Both formats, in the order the program lists, scans and installs them.
constexpr PluginFormat pluginFormats[] = { PluginFormat::Vst3, PluginFormat::Clap };

// One value for each plug-in format, reached by the format.
template <typename Value>
struct PerFormat
{
    Value vst3 {};
    Value clap {};

    Value& operator[] (PluginFormat format) { return format == PluginFormat::Vst3 ? vst3 : clap; }
    const Value& operator[] (PluginFormat format) const { return format == PluginFormat::Vst3 ? vst3 : clap; }

    bool operator== (const PerFormat& other) const { return vst3 == other.vst3 && clap == other.clap; }
    bool operator!= (const PerFormat& other) const { return ! (*this == other); }
};

// Whether an install takes one format, and the folder its bundles go to.
struct FormatTarget
{
    bool enabled = false;
    std::filesystem::path folder;

    bool operator== (const FormatTarget& other) const { return enabled == other.enabled && folder == other.folder; }
};

// Which formats an install takes and where each goes, as the user has chosen.
using InstallTargets = PerFormat<FormatTarget>;

// The install folder of each format (the user's choice, kept between runs).
using FormatFolders = PerFormat<std::filesystem::path>;

} // namespace zorvaplugins::zorvamanager::install
