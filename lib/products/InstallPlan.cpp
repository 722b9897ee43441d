#include "products/InstallPlan.h"

#include <algorithm>

namespace zorvaplugins::zorvamanager::products
{

std::optional<api::ArtifactInfo> chooseArtifact (const api::ProductReleaseInfo& product, bool vst3Enabled)
{
    const std::string platform = "linux-x64";
    const std::string format = vst3Enabled ? "vst3" : "clap";

    for (const auto anyFormat : { false, true })
        for (const auto& release : product.releases)
            for (const auto& artifact : release.artifacts)
                if (artifact.platform == platform && (anyFormat || artifact.format == format))
                    return artifact;

    return std::nullopt;
}

std::vector<std::filesystem::path>
pathsToRemove (const std::vector<std::filesystem::path>& installedPaths, bool vst3Enabled, bool clapEnabled)
{
    std::vector<std::filesystem::path> selected;

    for (const auto& path : installedPaths)
    {
        const auto extension = path.extension();

        if ((vst3Enabled && extension == ".vst3") || (clapEnabled && extension == ".clap"))
            selected.push_back (path);
    }

    return selected;
}

std::filesystem::path packageFileName (const std::string& artifactFileName)
{
    const auto unsafe = [] (char c) { return c == '/' || c == '\\' || static_cast<unsigned char> (c) < 0x20 || c == 0x7f; };

    if (artifactFileName.empty() || artifactFileName.size() > 255 || artifactFileName == "." || artifactFileName == ".." ||
        std::any_of (artifactFileName.begin(), artifactFileName.end(), unsafe))
        return "package.archive";

    return artifactFileName;
}

} // namespace zorvaplugins::zorvamanager::products
