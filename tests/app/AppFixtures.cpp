#include "AppFixtures.h"

namespace apptest
{

using namespace zorvaplugins::zorvamanager;

api::ProductReleaseInfo product (const std::string& slug, const std::string& name, const std::string& latestVersion)
{
    api::ProductReleaseInfo p;
    p.slug = slug;
    p.name = name;
    p.tagline = name + " for tests";
    p.latestVersion = latestVersion;
    p.capabilities = { "vst3", "clap" };

    api::ReleaseInfo release;
    release.version = latestVersion;
    release.status = "stable";

    for (const auto* format : { "vst3", "clap" })
    {
        api::ArtifactInfo artifact;
        artifact.id = slug + "-" + format;
        artifact.platform = "linux-x64";
        artifact.format = format;
        artifact.packageType = "archive";
        artifact.downloadUrl = "https://example.invalid/" + slug + ".tar.gz";
        artifact.fileName = slug + ".tar.gz";
        artifact.sha256 = std::string (64, 'a');
        artifact.sizeBytes = 1;
        release.artifacts.push_back (artifact);
    }

    p.releases.push_back (release);
    return p;
}

std::shared_ptr<const WindowCatalogue> loaded (std::vector<api::ProductReleaseInfo> products)
{
    auto load = std::make_shared<WindowCatalogue>();
    load->ok = true;
    load->products = std::make_shared<const std::vector<api::ProductReleaseInfo>> (std::move (products));
    return load;
}

std::shared_ptr<const WindowCatalogue> failed (const juce::String& error)
{
    auto load = std::make_shared<WindowCatalogue>();
    load->error = error;
    return load;
}

void installVst3 (const zorvatest::fs::path& folder, const std::string& stem, const std::string& version)
{
    const auto bundle = folder / (stem + ".vst3");
    zorvatest::writeFile (bundle / "Contents/x86_64-linux" / (stem + ".so"), "binary");

    if (! version.empty())
        zorvatest::writeFile (bundle / "Contents/Resources/moduleinfo.json",
                              "{\"Name\": \"" + stem + "\", \"Version\": \"" + version + "\"}");
}

void installClap (const zorvatest::fs::path& folder, const std::string& stem)
{
    zorvatest::writeFile (folder / (stem + ".clap"), "binary");
}

ScopedHome::ScopedHome() = default;

} // namespace apptest
