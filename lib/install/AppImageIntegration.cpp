#include "install/AppImageIntegration.h"

#include "install/SafeFileReplacement.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace zorvaplugins::zorvamanager::install
{

namespace
{

namespace fs = std::filesystem;
using namespace safefile;

constexpr const char* appImageFileName = "ZorvaManager.AppImage";
constexpr const char* iconFileName = "zorvamanager.png";
constexpr const char* commandLinkName = "ZorvaManager";
constexpr const char* invalidDestination = "invalid ZorvaManager integration destination";

fs::path environmentPath (const char* name)
{
    const char* value = std::getenv (name);

    if (value == nullptr || *value == '\0')
        return {};

    return fs::path (value);
}

// Guards install and uninstall against paths that would make them write or delete a file of
// another name. Relative paths are refused as well: they would land wherever the process
// happens to be (a relative HOME, say).
bool validatePathNames (const AppImageIntegrationPaths& paths, std::string& error)
{
    const std::pair<const fs::path*, fs::path> expected[] = {
        { &paths.appImage, appImageFileName },
        { &paths.desktopEntry, AppImageIntegration::desktopEntryFileName },
        { &paths.icon, iconFileName },
        { &paths.commandLink, commandLinkName },
    };

    for (const auto& [path, name] : expected)
    {
        if (path->filename() != name || ! path->is_absolute())
        {
            error = invalidDestination;
            return false;
        }
    }

    return true;
}

bool isRegularFileNotLink (const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::symlink_status (path, ec);
    return ! ec && fs::is_regular_file (status);
}

// A file in a folder that is itself a symbolic link is reached through that link; removal
// treats it as somebody else's, just as install refuses such a folder.
bool isInRealDirectory (const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::symlink_status (path.parent_path(), ec);
    return ! ec && fs::is_directory (status);
}

bool existsWithoutFollowing (const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::symlink_status (path, ec);
    return ! ec && status.type() != fs::file_type::not_found;
}

// The Exec value: the path in double quotes, with a backslash before each of the characters
// that the desktop entry format reserves inside a quoted argument. The whole value is also a
// key-file string, whose own escaping turns "\\" into one backslash before the argument is
// unquoted, so a literal backslash needs four; and a literal percent sign is "%%", since a
// single one starts a field code.
std::string quotedExecPath (const std::string& path)
{
    std::string quoted = "\"";

    for (const auto c : path)
    {
        if (c == '\\')
            quoted += "\\\\\\\\";
        else if (c == '"' || c == '`' || c == '$')
            quoted += std::string ("\\") + c;
        else if (c == '%')
            quoted += "%%";
        else
            quoted += c;
    }

    return quoted + "\"";
}

std::string desktopEntryText (const fs::path& appImage)
{
    const std::string lines[] = {
        "[Desktop Entry]",
        "Type=Application",
        "Version=1.0",
        "Name=ZorvaManager",
        "GenericName=ZorvaPlugins Plugin Manager",
        "Comment=Install and update ZorvaPlugins audio plugins",
        "Exec=" + quotedExecPath (appImage.string()),
        "Icon=zorvamanager",
        "Terminal=false",
        "Categories=AudioVideo;Audio;Music;",
        "Keywords=plugin;vst3;clap;zorvaplugins;installer;updater;",
        "StartupNotify=true",
        AppImageIntegration::integrationMarker,
    };

    std::string text;

    for (const auto& line : lines)
        text += line + "\n";

    return text;
}

AppImageIntegrationResult failure (AppImageIntegrationResult result, std::string error)
{
    result.ok = false;
    result.error = std::move (error);
    return result;
}

// Removes a regular file (removeRegularFile), noting in `result` what went or why it could not.
bool removeInto (const fs::path& path, AppImageIntegrationResult& result)
{
    const auto removal = removeRegularFile (path);
    result.removedAnything = result.removedAnything || removal.removed;

    if (! removal.ok)
        result.error = removal.error;

    return removal.ok;
}

AppImageIntegrationResult installCommandLink (AppImageIntegrationResult result, const AppImageIntegrationPaths& paths)
{
    const auto& link = paths.commandLink;
    std::error_code ec;
    static_cast<void> (fs::symlink_status (link, ec));

    if (ec && ec != std::errc::no_such_file_or_directory)
        return failure (result, "cannot inspect command link: " + ec.message());

    // Another program's file or link, or a folder: never ours to replace.
    if (! ec && ! commandLinkPointsTo (link, paths.appImage))
    {
        result.ok = true;
        return result;
    }

    const auto temporary = temporaryPathFor (link, 0);

    if (::symlink (paths.appImage.c_str(), temporary.c_str()) != 0)
        return failure (result, "cannot create ZorvaManager command link: " + std::string (std::strerror (errno)));

    if (::rename (temporary.c_str(), link.c_str()) != 0)
    {
        const auto reason = std::string (std::strerror (errno));
        fs::remove (temporary, ec);
        return failure (result, "cannot update ZorvaManager command link: " + reason);
    }

    std::string error;

    if (! fsyncDirectory (link.parent_path(), error))
        return failure (result, error);

    result.commandLinkInstalled = true;
    result.ok = true;
    return result;
}

} // namespace

AppImageIntegrationPaths AppImageIntegration::defaultPaths()
{
    const auto home = environmentPath ("HOME");

    if (home.empty())
        return {};

    auto data = environmentPath ("XDG_DATA_HOME");

    if (! data.has_root_directory())
        data.clear();

    return pathsForUser (home, data);
}

AppImageIntegrationPaths AppImageIntegration::pathsForUser (const fs::path& homeDirectory, const fs::path& dataDirectory)
{
    const auto data = dataDirectory.empty() ? homeDirectory / ".local" / "share" : dataDirectory;

    AppImageIntegrationPaths paths;
    paths.appImage = homeDirectory / ".local" / "lib" / "zorvamanager" / appImageFileName;
    paths.desktopEntry = data / "applications" / desktopEntryFileName;
    paths.icon = data / "icons" / "hicolor" / "512x512" / "apps" / iconFileName;
    paths.commandLink = homeDirectory / ".local" / "bin" / commandLinkName;
    return paths;
}

AppImageInfo AppImageIntegration::currentAppImage()
{
    AppImageInfo info;
    const auto appImage = environmentPath ("APPIMAGE");

    if (appImage.empty() || ! appImage.has_root_directory())
        return info;

    const auto name = appImage.filename().string();
    const std::string suffix = ".AppImage";

    if (name.size() <= 8 || name.compare (name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return info;

    std::string ignored;

    if (! isSafeSourceFile (appImage, ignored) || ! hasAppImageHeader (appImage))
        return info;

    info.isAppImage = true;
    info.appImagePath = appImage;

    const auto appDir = environmentPath ("APPDIR");

    if (! appDir.empty() && appDir.has_root_directory())
    {
        const fs::path candidates[] = {
            appDir / iconFileName,
            appDir / "usr" / "share" / "icons" / "hicolor" / "512x512" / "apps" / iconFileName,
            appDir / "ZorvaManagerIcon.png",
        };

        for (const auto& candidate : candidates)
        {
            if (isSafeSourceFile (candidate, ignored))
            {
                info.iconPath = candidate;
                break;
            }
        }
    }

    info.isIntegrated = isIntegratedAppImage (appImage, defaultPaths());
    return info;
}

bool AppImageIntegration::isIntegratedAppImage (const fs::path& appImage, const AppImageIntegrationPaths& paths)
{
    if (appImage.empty() || paths.appImage.empty())
        return false;

    if (! isRegularFileNotLink (paths.appImage))
        return false;

    std::error_code ec;
    const auto same = fs::equivalent (appImage, paths.appImage, ec);
    return same && ! ec;
}

AppImageIntegrationResult AppImageIntegration::install (const fs::path& sourceAppImage,
                                                        const fs::path& sourceIcon,
                                                        const AppImageIntegrationPaths& paths,
                                                        bool installCommandLinkToo)
{
    AppImageIntegrationResult result;
    std::string error;

    if (! isSafeSourceFile (sourceAppImage, error))
        return failure (result, error);

    if (! hasAppImageHeader (sourceAppImage))
        return failure (result, "source is not a valid AppImage");

    if (! isSafeSourceFile (sourceIcon, error) || ! validatePathNames (paths, error))
        return failure (result, error);

    for (const auto* file : { &paths.appImage, &paths.desktopEntry, &paths.icon, &paths.commandLink })
        if (! ensureDirectory (file->parent_path(), error))
            return failure (result, error);

    for (const auto* file : { &paths.appImage, &paths.desktopEntry, &paths.icon })
        if (! isReplaceableRegularFileOrMissing (*file, error))
            return failure (result, error);

    const auto anythingThere =
        existsWithoutFollowing (paths.appImage) || existsWithoutFollowing (paths.desktopEntry) || existsWithoutFollowing (paths.icon);

    if (anythingThere)
    {
        const auto copyIsOurs = isRegularFileNotLink (paths.appImage) && hasAppImageHeader (paths.appImage);
        const auto entryIsOurs = isRegularFileNotLink (paths.desktopEntry) && desktopEntryIsOurs (paths.desktopEntry);

        if (! copyIsOurs && ! entryIsOurs)
            return failure (result, "refusing to overwrite an unrecognised ZorvaManager integration");
    }

    const auto copyPath = paths.appImage.string();

    if (copyPath.find_first_of ("\r\n") != std::string::npos)
        return failure (result, "ZorvaManager cannot create a safe desktop entry for this home directory");

    const auto entry = desktopEntryText (paths.appImage);

    if (! replaceFromFileAtomically (sourceAppImage, paths.appImage, 0755, error) ||
        ! replaceFromFileAtomically (sourceIcon, paths.icon, 0644, error) ||
        ! writeDesktopEntryAtomically (paths.desktopEntry, entry, error))
        return failure (result, error);

    if (! installCommandLinkToo)
    {
        result.ok = true;
        return result;
    }

    return installCommandLink (result, paths);
}

AppImageIntegrationResult AppImageIntegration::installCurrentAppImage (bool installCommandLinkToo)
{
    const auto info = currentAppImage();

    if (! info.isAppImage)
        return failure ({}, "ZorvaManager was not launched from an AppImage");

    if (info.iconPath.empty())
        return failure ({}, "ZorvaManager AppImage icon is unavailable");

    return install (info.appImagePath, info.iconPath, defaultPaths(), installCommandLinkToo);
}

AppImageIntegrationResult AppImageIntegration::uninstall (const AppImageIntegrationPaths& paths)
{
    AppImageIntegrationResult result;
    std::string error;

    if (! validatePathNames (paths, error))
        return failure (result, error);

    const auto entryIsOurs =
        isInRealDirectory (paths.desktopEntry) && isRegularFileNotLink (paths.desktopEntry) && desktopEntryIsOurs (paths.desktopEntry);
    const auto copyIsValid =
        isInRealDirectory (paths.appImage) && isRegularFileNotLink (paths.appImage) && hasAppImageHeader (paths.appImage);

    if (copyIsValid && ! removeInto (paths.appImage, result))
        return failure (result, result.error);

    if (entryIsOurs && ! removeInto (paths.desktopEntry, result))
        return failure (result, result.error);

    if ((copyIsValid || entryIsOurs) && isInRealDirectory (paths.icon) && ! removeInto (paths.icon, result))
        return failure (result, result.error);

    if (isInRealDirectory (paths.commandLink) && commandLinkPointsTo (paths.commandLink, paths.appImage))
    {
        std::error_code ec;
        fs::remove (paths.commandLink, ec);

        if (ec)
            return failure (result, "cannot remove ZorvaManager command link: " + ec.message());

        result.removedAnything = true;
    }

    // Only an empty, real folder goes; a folder link or a non-empty folder stays.
    const auto copyFolder = paths.appImage.parent_path();

    if (isInRealDirectory (paths.appImage))
    {
        std::error_code ignored;
        fs::remove (copyFolder, ignored);
    }

    result.ok = true;
    return result;
}

AppImageIntegrationResult AppImageIntegration::uninstallCurrentUser()
{
    return uninstall (defaultPaths());
}

} // namespace zorvaplugins::zorvamanager::install
