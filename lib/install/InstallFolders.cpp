#include "install/InstallFolders.h"

#include "install/InstallPathPolicy.h"
#include "install/SafeFileReplacement.h"
#include "install/ScopedFileDescriptor.h"
#include "install/UserConfigFile.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>

namespace zorvaplugins::zorvamanager::install
{

namespace fs = std::filesystem;

namespace
{

using Json = nlohmann::json;

constexpr std::uint64_t maxSettingsFileBytes = 1u << 20;

// The settings member that holds a format's folder.
const char* settingsMember (PluginFormat format)
{
    return format == PluginFormat::Vst3 ? "vst3Folder" : "clapFolder";
}

fs::path chosenOrDefault (const Json& root, const char* member, PluginFormat format)
{
    if (root.is_object())
    {
        const auto value = root.find (member);

        if (value != root.end() && value->is_string())
        {
            fs::path folder (value->get<std::string>());

            if (folder.is_absolute())
                return folder;
        }
    }

    return InstallPathPolicy::firstDefaultPath (format);
}

} // namespace

FolderResult canWriteDirectory (const fs::path& folder)
{
    std::error_code ec;
    fs::create_directories (folder, ec);

    if (ec || folder.empty())
        return { false, "cannot create install folder: " + folder.string() };

    const auto probe = folder / ".zorvamanager-write-test";
    safefile::ScopedFileDescriptor output (
        ::open (probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));

    if (! output.isValid())
        return { false, "install folder is not writable: " + folder.string() };

    // Whether the four bytes reach the disk does not matter: a full disk shows up, with its
    // own message, when the bundles are copied.
    std::string ignored;
    safefile::writeAll (output.get(), "test", 4, ignored);
    output.reset();
    fs::remove (probe, ec);
    return { true, {} };
}

fs::path installFolderSettingsPath()
{
    return userConfigFile ("settings.json", "ZorvaManager-settings.json");
}

FormatFolders loadInstallFolderChoice()
{
    Json root;

    // The JSON library takes a raw NUL for the end of the input; no JSON text holds one.
    if (const auto bytes = readSmallFile (installFolderSettingsPath(), maxSettingsFileBytes);
        bytes && bytes->find ('\0') == std::string::npos)
        root = Json::parse (bytes->begin(), bytes->end(), nullptr, false);

    FormatFolders folders;

    for (const auto format : pluginFormats)
        folders[format] = chosenOrDefault (root, settingsMember (format), format);

    return folders;
}

FolderResult saveInstallFolderChoice (const FormatFolders& choice)
{
    auto root = Json::object();

    for (const auto format : pluginFormats)
        root[settingsMember (format)] = choice[format].string();

    const auto file = installFolderSettingsPath();

    std::error_code ignored;
    fs::create_directories (file.parent_path(), ignored);
    FolderResult result;
    result.ok = safefile::writeFileAtomically (
        file, root.dump (2, ' ', false, Json::error_handler_t::replace), 0644, "settings file", result.error);
    return result;
}

} // namespace zorvaplugins::zorvamanager::install
