#pragma once

#include "WindowCatalogue.h"
#include "support/TestSupport.h"

#include <memory>
#include <string>
#include <vector>

// Small builders for the application suites. Test thread only.
namespace apptest
{

// A catalogue product with one Linux VST3 and one Linux CLAP artifact of its latest version.
zorvaplugins::zorvamanager::api::ProductReleaseInfo
product (const std::string& slug, const std::string& name, const std::string& latestVersion = "1.2.0");

// A successful load of these products, without pictures.
std::shared_ptr<const WindowCatalogue> loaded (std::vector<zorvaplugins::zorvamanager::api::ProductReleaseInfo> products);

// A failed load with this text.
std::shared_ptr<const WindowCatalogue> failed (const juce::String& error);

// An installed VST3 bundle (with its version in moduleinfo.json when given) or CLAP plug-in.
void installVst3 (const zorvatest::fs::path& folder, const std::string& stem, const std::string& version = {});
void installClap (const zorvatest::fs::path& folder, const std::string& stem);

// A home folder of the test's own: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point into it
// while it lives.
class ScopedHome
{
public:
    ScopedHome();

    const zorvatest::fs::path& path() const { return folder.path(); }
    zorvatest::fs::path vst3() const { return folder / ".vst3"; }
    zorvatest::fs::path clap() const { return folder / ".clap"; }

private:
    zorvatest::TempDir folder;
    zorvatest::ScopedEnv home { "HOME", folder.path().string() };
    zorvatest::ScopedEnv config { "XDG_CONFIG_HOME", (folder / ".config").string() };
    zorvatest::ScopedEnv data { "XDG_DATA_HOME", (folder / ".local/share").string() };
};

} // namespace apptest
