#pragma once

#include "api/ReleaseCatalogue.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace zorvaplugins::zorvamanager::products
{

// The artifact an install downloads: over the releases in catalogue order and their artifacts
// in order, the first for "linux-x64" in the wanted format ("vst3" while VST3 is enabled,
// otherwise "clap"), else the first for "linux-x64" in any format. Releases are neither
// sorted nor filtered by status: the catalogue's order decides. Nothing when the product has
// no Linux artifact. Pure; any thread.
std::optional<api::ArtifactInfo> chooseArtifact (const api::ProductReleaseInfo& product, bool vst3Enabled);

// The bundles a removal takes, in the order given: a path whose extension is exactly ".vst3"
// while VST3 is enabled, or exactly ".clap" while CLAP is enabled. Pure; any thread.
std::vector<std::filesystem::path>
pathsToRemove (const std::vector<std::filesystem::path>& installedPaths, bool vst3Enabled, bool clapEnabled);

// The name the downloaded package gets inside the job's temporary folder: the artifact's file
// name when it is one plain name (not empty, at most 255 bytes, no separator, not "." or "..",
// no control character), otherwise "package.archive". So the download can never land outside
// the folder that the job removes afterwards. Pure; any thread.
std::filesystem::path packageFileName (const std::string& artifactFileName);

} // namespace zorvaplugins::zorvamanager::products
