#pragma once

#include <filesystem>
#include <string>

namespace zorvaplugins::zorvamanager::install
{

// Where the per-user desktop integration lives. Four empty paths mean that no location is
// known (there is no home directory).
struct AppImageIntegrationPaths
{
    std::filesystem::path appImage;     // H/.local/lib/zorvamanager/ZorvaManager.AppImage
    std::filesystem::path desktopEntry; // D/applications/com.zorvaplugins.ZorvaManager.desktop
    std::filesystem::path icon;         // D/icons/hicolor/512x512/apps/zorvamanager.png
    std::filesystem::path commandLink;  // H/.local/bin/ZorvaManager
};

// The outcome of installing or removing the integration.
struct AppImageIntegrationResult
{
    bool ok = false;
    bool commandLinkInstalled = false; // install: the command link was created or updated
    bool removedAnything = false;      // uninstall: at least one file or the link was removed
    std::string error;
};

// What the running process knows about the AppImage it was started from.
struct AppImageInfo
{
    bool isAppImage = false;            // started from a well-formed type-2 AppImage
    bool isIntegrated = false;          // that AppImage is the integrated copy itself
    std::filesystem::path appImagePath; // absolute; empty unless isAppImage
    std::filesystem::path iconPath;     // the icon inside the mounted AppImage; may be empty
};

// Integrates the running AppImage into the current user's desktop (a private copy, an icon,
// a desktop entry and an optional command link) and removes that integration again. Only files
// the program recognises as its own are ever replaced or removed; every write is atomic and
// durable and no symbolic link is followed at a path that is read, replaced or removed.
// Stateless; message thread (nothing here locks). Never throws for filesystem errors.
class AppImageIntegration
{
public:
    AppImageIntegration() = delete;

    // The program's application identifier and the file name of its desktop entry.
    static constexpr const char* applicationId = "com.zorvaplugins.ZorvaManager";
    static constexpr const char* desktopEntryFileName = "com.zorvaplugins.ZorvaManager.desktop";

    // The line by which the program recognises a desktop entry as its own.
    static constexpr const char* integrationMarker = "X-ZorvaManager-Integration=true";

    // The locations for the current user, from HOME and XDG_DATA_HOME (a relative
    // XDG_DATA_HOME is ignored). Four empty paths when HOME is unset or empty.
    static AppImageIntegrationPaths defaultPaths();

    // The locations for a home directory and a data directory (empty: home/.local/share).
    // Pure path arithmetic: nothing is normalised or looked at.
    static AppImageIntegrationPaths pathsForUser (const std::filesystem::path& homeDirectory, const std::filesystem::path& dataDirectory);

    // Checks APPIMAGE (absolute, named *.AppImage, a regular file that is not a link, with the
    // type-2 AppImage header) and looks for the icon under APPDIR.
    static AppImageInfo currentAppImage();

    // True only when `appImage` is the very file (same device and inode) at `paths.appImage`,
    // and that location is a regular file, not a symbolic link.
    static bool isIntegratedAppImage (const std::filesystem::path& appImage, const AppImageIntegrationPaths& paths);

    // Copies the AppImage and the icon, writes the desktop entry and, when asked, points the
    // command link at the copy. Refuses to overwrite an integration it does not recognise; a
    // foreign file or link at the command link's place is left alone (commandLinkInstalled
    // stays false). Nothing is rolled back after a failure: every file written is complete.
    static AppImageIntegrationResult install (const std::filesystem::path& sourceAppImage,
                                              const std::filesystem::path& sourceIcon,
                                              const AppImageIntegrationPaths& paths,
                                              bool installCommandLink);

    // install() with the running AppImage, its icon and defaultPaths().
    static AppImageIntegrationResult installCurrentAppImage (bool installCommandLink);

    // Removes what it recognises as the program's own: a copy with the AppImage header, a
    // desktop entry with the marker, the icon when one of those two was found, a command link
    // that points at the copy, and the copy's folder when it is left empty.
    static AppImageIntegrationResult uninstall (const AppImageIntegrationPaths& paths);

    // uninstall (defaultPaths()).
    static AppImageIntegrationResult uninstallCurrentUser();
};

} // namespace zorvaplugins::zorvamanager::install
