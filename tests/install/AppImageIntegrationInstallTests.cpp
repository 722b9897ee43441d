#include "install/AppImageIntegration.h"

#include "install/AppImageIntegrationTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{

namespace fs = std::filesystem;
using zorvaplugins::zorvamanager::install::AppImageIntegration;
using zorvaplugins::zorvamanager::install::AppImageIntegrationPaths;
using zorvaplugins::zorvamanager::install::AppImageIntegrationResult;
using zorvatest::readFile;
using zorvatest::ScopedEnv;
using zorvatest::TempDir;
using zorvatest::writeFile;
using namespace zorvatest::appimage;

std::string entryWithExec (const std::string& execLine)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=ZorvaManager\n"
           "GenericName=ZorvaPlugins Plugin Manager\n"
           "Comment=Install and update ZorvaPlugins audio plugins\n" +
        execLine + "\n" +
        "Icon=zorvamanager\n"
        "Terminal=false\n"
        "Categories=AudioVideo;Audio;Music;\n"
        "Keywords=plugin;vst3;clap;zorvaplugins;installer;updater;\n"
        "StartupNotify=true\n"
        "X-ZorvaManager-Integration=true\n";
}

std::string execLineOf (const std::string& entry)
{
    const auto start = entry.find ("\nExec=");
    return start == std::string::npos ? "" : entry.substr (start + 1, entry.find ('\n', start + 1) - start - 1);
}

bool desktopFileValidateAvailable()
{
    return zorvatest::runShell ("command -v desktop-file-validate >/dev/null 2>&1") == 0;
}

bool passesDesktopFileValidate (const fs::path& entry)
{
    return zorvatest::runShell ("desktop-file-validate " + zorvatest::shellQuote (entry.string()) + " >/dev/null 2>&1") == 0;
}

// A user's home and data folders in a temporary folder, HOME and XDG_DATA_HOME pointing at
// them, and a source AppImage with its icon as a mounted AppImage would offer them.
class Integration : public ::testing::Test
{
protected:
    TempDir dir;
    fs::path home = dir / "home";
    fs::path data = dir / "data";
    ScopedEnv homeVariable { "HOME", home.string() };
    ScopedEnv dataVariable { "XDG_DATA_HOME", data.string() };
    fs::path sourceAppImage = dir / "source/ZorvaManager-x86_64.AppImage";
    fs::path sourceIcon = dir / "source/zorvamanager.png";
    AppImageIntegrationPaths paths = AppImageIntegration::defaultPaths();
    mode_t previousMask = ::umask (022);

    void SetUp() override
    {
        writeAppImage (sourceAppImage, 2, 300000, 7);
        writeFile (sourceIcon, "icon bytes");
    }

    void TearDown() override { ::umask (previousMask); }

    AppImageIntegrationResult install (bool commandLink = true)
    {
        return AppImageIntegration::install (sourceAppImage, sourceIcon, paths, commandLink);
    }

    std::string expectedEntry() const { return entryWithExec ("Exec=\"" + paths.appImage.string() + "\""); }

    void expectComplete (bool withLink = true)
    {
        EXPECT_EQ (readFile (paths.appImage), readFile (sourceAppImage));
        EXPECT_EQ (permissionsOf (paths.appImage), 0755u);
        EXPECT_EQ (readFile (paths.icon), readFile (sourceIcon));
        EXPECT_EQ (permissionsOf (paths.icon), 0644u);
        EXPECT_EQ (readFile (paths.desktopEntry), expectedEntry());
        EXPECT_EQ (permissionsOf (paths.desktopEntry), 0644u);

        if (withLink)
        {
            ASSERT_TRUE (fs::is_symlink (paths.commandLink));
            EXPECT_EQ (fs::read_symlink (paths.commandLink), paths.appImage);
        }

        EXPECT_EQ (temporaryLeftovers (dir.path()), std::vector<std::string>());
    }
};

// --- install -------------------------------------------------------------------------------

TEST_F (Integration, FreshInstallWritesCopyIconEntryAndCommandLink)
{
    const auto result = install();

    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_TRUE (result.commandLinkInstalled);
    EXPECT_FALSE (result.removedAnything);
    EXPECT_EQ (result.error, "");
    EXPECT_EQ (paths.desktopEntry, data / "applications/com.zorvaplugins.ZorvaManager.desktop");
    expectComplete();
    EXPECT_EQ (readFile (paths.desktopEntry).find ('\r'), std::string::npos);

    // The menu can start the copy through the link.
    EXPECT_TRUE (fs::equivalent (paths.commandLink, paths.appImage));
}

TEST_F (Integration, WithoutTheCommandLinkTheBinFolderStillExists)
{
    const auto result = install (false);

    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_FALSE (result.commandLinkInstalled);
    expectComplete (false);
    EXPECT_TRUE (fs::is_directory (home / ".local/bin"));
    EXPECT_FALSE (fs::exists (fs::symlink_status (paths.commandLink)));
}

TEST_F (Integration, ReinstallReplacesTheCopyAndRepairsOwnCommandLink)
{
    ASSERT_TRUE (install().ok);

    // A newer AppImage, and the program's own link written relatively by an older version.
    writeAppImage (sourceAppImage, 2, 123457, 9);
    fs::remove (paths.commandLink);
    fs::create_symlink ("../lib/zorvamanager/ZorvaManager.AppImage", paths.commandLink);

    const auto result = install();
    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_TRUE (result.commandLinkInstalled);
    expectComplete();
}

TEST_F (Integration, InstallingFromTheIntegratedCopyItselfKeepsItWhole)
{
    ASSERT_TRUE (install().ok);
    const auto bytes = readFile (paths.appImage);

    const auto result = AppImageIntegration::install (paths.appImage, paths.icon, paths, true);
    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_TRUE (readFile (paths.appImage) == bytes);
    EXPECT_EQ (temporaryLeftovers (dir.path()), std::vector<std::string>());
}

TEST_F (Integration, UnusableSourcesAreRefusedBeforeAnythingIsWritten)
{
    writeAppImage (dir / "source/Type1.AppImage", 1);
    writeFile (dir / "source/Script.AppImage", "#!/bin/sh\n");
    makeLink (sourceAppImage, dir / "source/Link.AppImage");
    makeLink (sourceIcon, dir / "source/link.png");

    struct Case
    {
        fs::path appImage;
        fs::path icon;
        std::string error;
    };

    const Case cases[] = {
        { dir / "source/Link.AppImage", sourceIcon, "source is not a regular file: " + (dir / "source/Link.AppImage").string() },
        { dir / "source/Missing.AppImage", sourceIcon, "source is not a regular file: " + (dir / "source/Missing.AppImage").string() },
        { dir / "source", sourceIcon, "source is not a regular file: " + (dir / "source").string() },
        { dir / "source/Script.AppImage", sourceIcon, "source is not a valid AppImage" },
        { dir / "source/Type1.AppImage", sourceIcon, "source is not a valid AppImage" },
        { sourceAppImage, dir / "source/link.png", "source is not a regular file: " + (dir / "source/link.png").string() },
        { sourceAppImage, dir / "source/missing.png", "source is not a regular file: " + (dir / "source/missing.png").string() },
    };

    const auto before = snapshot (dir.path());

    for (const auto& c : cases)
    {
        const auto result = AppImageIntegration::install (c.appImage, c.icon, paths, true);
        EXPECT_FALSE (result.ok);
        EXPECT_FALSE (result.commandLinkInstalled);
        EXPECT_EQ (result.error, c.error);
    }

    EXPECT_EQ (snapshot (dir.path()), before);
}

TEST_F (Integration, DestinationsOfAnotherNameAreRefused)
{
    const auto valid = paths;
    auto with = [&valid] (auto change) {
        auto changed = valid;
        change (changed);
        return changed;
    };

    const AppImageIntegrationPaths cases[] = {
        AppImageIntegrationPaths(),
        with ([] (auto& p) { p.commandLink = p.commandLink.parent_path() / "zorvamanager"; }),
        with ([] (auto& p) { p.appImage = p.appImage.parent_path() / "Other.AppImage"; }),
        with ([] (auto& p) { p.desktopEntry = p.desktopEntry.parent_path() / "other.desktop"; }),
        with ([] (auto& p) { p.icon = p.icon.parent_path() / "zorvamanager.svg"; }),
        with ([] (auto& p) { p.icon = p.icon.string() + "/"; }),
        with ([] (auto& p) { p.commandLink = fs::path (".local/bin/ZorvaManager"); }),
    };

    const auto before = snapshot (dir.path());

    for (const auto& c : cases)
    {
        const auto installed = AppImageIntegration::install (sourceAppImage, sourceIcon, c, true);
        EXPECT_FALSE (installed.ok);
        EXPECT_EQ (installed.error, "invalid ZorvaManager integration destination");

        const auto removed = AppImageIntegration::uninstall (c);
        EXPECT_FALSE (removed.ok);
        EXPECT_EQ (removed.error, "invalid ZorvaManager integration destination");
    }

    EXPECT_EQ (snapshot (dir.path()), before);
}

TEST_F (Integration, ALinkPlantedAtATargetIsRefusedAndLeftAsItWas)
{
    writeFile (dir / "victim/file", "precious");

    for (const auto* target : { &paths.appImage, &paths.icon, &paths.desktopEntry })
    {
        SCOPED_TRACE (target->string());
        makeLink (dir / "victim/file", *target);
        const auto before = snapshot (dir.path());

        const auto result = install();
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "refusing to replace unsafe integration path: " + target->string());
        EXPECT_EQ (withoutNewFolders (snapshot (dir.path()), before), before);

        fs::remove (*target);
    }

    EXPECT_EQ (readFile (dir / "victim/file"), "precious");
}

TEST_F (Integration, ALinkInPlaceOfATargetFolderIsRefusedAndLeftAsItWas)
{
    for (const auto* target : { &paths.appImage, &paths.desktopEntry, &paths.icon, &paths.commandLink })
    {
        const auto folder = target->parent_path();
        SCOPED_TRACE (folder.string());
        fs::remove_all (home);
        fs::remove_all (data);
        fs::remove_all (dir / "elsewhere");
        fs::create_directories (dir / "elsewhere");
        writeFile (dir / "elsewhere" / target->filename(), "precious");
        makeLink (dir / "elsewhere", folder);
        const auto before = snapshot (dir / "elsewhere");

        const auto result = install (false);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "integration directory is not a safe directory: " + folder.string());
        EXPECT_TRUE (fs::is_symlink (folder));
        EXPECT_EQ (snapshot (dir / "elsewhere"), before);
    }
}

TEST_F (Integration, AForeignIntegrationIsNeverOverwritten)
{
    struct Case
    {
        const fs::path* file;
        std::string content;
    };

    // A desktop entry without the marker, an icon of the same name, a non-AppImage at the copy's place.
    const Case cases[] = {
        { &paths.desktopEntry, "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n" },
        { &paths.icon, "another program's icon" },
        { &paths.appImage, "#!/bin/sh\necho another program\n" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.file->string());
        fs::remove_all (home);
        fs::remove_all (data);
        writeFile (*c.file, c.content);
        const auto before = snapshot (dir.path());

        const auto result = install();
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "refusing to overwrite an unrecognised ZorvaManager integration");

        // The folders of the integration may now exist; no file was written.
        EXPECT_EQ (withoutNewFolders (snapshot (dir.path()), before), before);
    }
}

TEST_F (Integration, AForeignCommandIsLeftAloneByInstallAndUninstall)
{
    writeFile (dir / "other/tool", "another program");

    struct Case
    {
        std::string name;
        std::function<void()> plant;
    };

    const Case cases[] = {
        { "file", [&] { writeFile (paths.commandLink, "another program's command"); } },
        { "link", [&] { makeLink (dir / "other/tool", paths.commandLink); } },
        { "dangling-link", [&] { makeLink (dir / "other/missing", paths.commandLink); } },
        { "folder", [&] { writeFile (paths.commandLink / "inside", "x"); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        fs::remove_all (home);
        fs::remove_all (data);
        c.plant();
        const auto before = snapshot (home / ".local/bin");

        const auto installed = install();
        EXPECT_TRUE (installed.ok) << installed.error;
        EXPECT_FALSE (installed.commandLinkInstalled);
        expectComplete (false);
        EXPECT_EQ (snapshot (home / ".local/bin"), before);

        const auto removed = AppImageIntegration::uninstall (paths);
        EXPECT_TRUE (removed.ok) << removed.error;
        EXPECT_TRUE (removed.removedAnything);
        EXPECT_EQ (snapshot (home / ".local/bin"), before);
        EXPECT_EQ (readFile (dir / "other/tool"), "another program");
    }
}

TEST_F (Integration, APartialIntegrationIsRepaired)
{
    ASSERT_TRUE (install().ok);

    // The user deleted the copy: the program's desktop entry still proves ownership.
    fs::remove (paths.appImage);
    auto result = install();
    EXPECT_TRUE (result.ok) << result.error;
    expectComplete();

    // Only the desktop entry is left.
    fs::remove (paths.appImage);
    fs::remove (paths.icon);
    fs::remove (paths.commandLink);
    result = install();
    EXPECT_TRUE (result.ok) << result.error;
    expectComplete();

    // Only the copy is left (an older entry without the marker was replaced by someone).
    writeFile (paths.desktopEntry, "[Desktop Entry]\nName=Edited\n");
    result = install();
    EXPECT_TRUE (result.ok) << result.error;
    expectComplete();
}

// --- Exec quoting --------------------------------------------------------------------------

struct ExecCase
{
    std::string name;
    std::string homeName;
    std::string quotedHomeName; // as the Exec value writes it
};

const ExecCase execCases[] = {
    { "plain", "user", "user" },
    { "space-and-dollar", "my home $HOME", "my home \\$HOME" },
    { "shell-and-quote", "a b$c`d\"e\\f", "a b\\$c\\`d\\\"e\\\\\\\\f" },
    { "non-ascii", "Jos\xc3\xa9 M\xc3\xbcller", "Jos\xc3\xa9 M\xc3\xbcller" },
    { "percent-and-quote", "100% 'sure'", "100%% 'sure'" },
};

TEST_F (Integration, TheExecLineQuotesThePathOfTheCopy)
{
    for (const auto& c : execCases)
    {
        SCOPED_TRACE (c.name);
        const auto userHome = dir / "homes" / c.homeName;
        const auto userPaths = AppImageIntegration::pathsForUser (userHome, {});

        const auto result = AppImageIntegration::install (sourceAppImage, sourceIcon, userPaths, true);
        ASSERT_TRUE (result.ok) << result.error;

        const auto quoted = (dir / "homes").string() + "/" + c.quotedHomeName + "/.local/lib/zorvamanager/ZorvaManager.AppImage";
        EXPECT_EQ (execLineOf (readFile (userPaths.desktopEntry)), "Exec=\"" + quoted + "\"");
        EXPECT_EQ (readFile (userPaths.desktopEntry), entryWithExec ("Exec=\"" + quoted + "\""));
        EXPECT_EQ (fs::read_symlink (userPaths.commandLink), userPaths.appImage);
    }
}

TEST_F (Integration, WrittenDesktopEntriesPassDesktopFileValidate)
{
    if (! desktopFileValidateAvailable())
        GTEST_SKIP() << "desktop-file-validate is not installed (Debian package desktop-file-utils)";

    for (const auto& c : execCases)
    {
        SCOPED_TRACE (c.name);
        const auto userPaths = AppImageIntegration::pathsForUser (dir / "homes" / c.homeName, {});
        ASSERT_TRUE (AppImageIntegration::install (sourceAppImage, sourceIcon, userPaths, false).ok);
        EXPECT_TRUE (passesDesktopFileValidate (userPaths.desktopEntry)) << readFile (userPaths.desktopEntry);
    }
}

TEST_F (Integration, AHomeWithALineBreakIsRefusedBeforeAnyFileIsWritten)
{
    for (const std::string name : { "line\nfeed", "carriage\rreturn" })
    {
        const auto userPaths = AppImageIntegration::pathsForUser (dir / "homes" / name, {});
        const auto result = AppImageIntegration::install (sourceAppImage, sourceIcon, userPaths, true);

        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "ZorvaManager cannot create a safe desktop entry for this home directory");

        for (const auto& [relative, kind] : snapshot (dir / "homes" / name))
            EXPECT_EQ (kind, "dir") << relative;
    }
}

// --- uninstall -----------------------------------------------------------------------------

TEST_F (Integration, InstallThenUninstallTwice)
{
    ASSERT_TRUE (install().ok);
    writeFile (data / "applications/other.desktop", "[Desktop Entry]\n");

    const auto first = AppImageIntegration::uninstall (paths);
    EXPECT_TRUE (first.ok) << first.error;
    EXPECT_TRUE (first.removedAnything);

    for (const auto* gone : { &paths.appImage, &paths.desktopEntry, &paths.icon, &paths.commandLink })
        EXPECT_FALSE (fs::exists (fs::symlink_status (*gone))) << *gone;

    EXPECT_FALSE (fs::exists (paths.appImage.parent_path()));
    EXPECT_TRUE (fs::is_directory (paths.desktopEntry.parent_path()));
    EXPECT_TRUE (fs::is_directory (paths.icon.parent_path()));
    EXPECT_TRUE (fs::is_directory (paths.commandLink.parent_path()));
    EXPECT_EQ (readFile (data / "applications/other.desktop"), "[Desktop Entry]\n");

    const auto second = AppImageIntegration::uninstall (paths);
    EXPECT_TRUE (second.ok) << second.error;
    EXPECT_FALSE (second.removedAnything);
}

TEST_F (Integration, UninstallRemovesOnlyWhatItRecognises)
{
    struct Case
    {
        std::string name;
        std::function<void()> prepare;
        std::vector<const fs::path*> removed;
        std::vector<const fs::path*> kept;
    };

    const auto& p = paths;
    const Case cases[] = {
        { "copy-deleted-by-user", [&] { fs::remove (p.appImage); }, { &p.desktopEntry, &p.icon, &p.commandLink }, {} },
        { "entry-only",
          [&] {
              fs::remove (p.appImage);
              fs::remove (p.icon);
              fs::remove (p.commandLink);
          },
          { &p.desktopEntry },
          {} },
        { "neither-ours",
          [&] {
              writeFile (p.appImage, "not an AppImage");
              writeFile (p.desktopEntry, "[Desktop Entry]\nName=Foreign\n");
          },
          { &p.commandLink },
          { &p.appImage, &p.desktopEntry, &p.icon } },
        { "copy-only-valid",
          [&] { writeFile (p.desktopEntry, "[Desktop Entry]\nName=Foreign\n"); },
          { &p.appImage, &p.icon, &p.commandLink },
          { &p.desktopEntry } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        fs::remove_all (home);
        fs::remove_all (data);
        ASSERT_TRUE (install().ok);
        c.prepare();

        const auto result = AppImageIntegration::uninstall (paths);
        EXPECT_TRUE (result.ok) << result.error;
        EXPECT_TRUE (result.removedAnything);

        for (const auto* file : c.removed)
            EXPECT_FALSE (fs::exists (fs::symlink_status (*file))) << *file;

        for (const auto* file : c.kept)
            EXPECT_TRUE (fs::exists (fs::symlink_status (*file))) << *file;
    }
}

TEST_F (Integration, UninstallLeavesAFolderThatHoldsSomethingElse)
{
    ASSERT_TRUE (install().ok);
    writeFile (paths.appImage.parent_path() / "notes.txt", "mine");

    const auto result = AppImageIntegration::uninstall (paths);
    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_FALSE (fs::exists (paths.appImage));
    EXPECT_EQ (readFile (paths.appImage.parent_path() / "notes.txt"), "mine");
}

TEST_F (Integration, UninstallNeverReachesThroughALinkedFolder)
{
    // Another program's files, in folders that links of the integration's names lead to.
    writeAppImage (dir / "elsewhere/lib/ZorvaManager.AppImage");
    writeFile (dir / "elsewhere/applications/com.zorvaplugins.ZorvaManager.desktop", entryWithExec ("Exec=x"));
    writeFile (dir / "elsewhere/apps/zorvamanager.png", "icon");
    makeLink (paths.appImage, dir / "elsewhere/bin/ZorvaManager");
    makeLink (dir / "elsewhere/lib", paths.appImage.parent_path());
    makeLink (dir / "elsewhere/applications", paths.desktopEntry.parent_path());
    makeLink (dir / "elsewhere/apps", paths.icon.parent_path());
    makeLink (dir / "elsewhere/bin", paths.commandLink.parent_path());
    const auto before = snapshot (dir.path());

    const auto result = AppImageIntegration::uninstall (paths);
    EXPECT_TRUE (result.ok) << result.error;
    EXPECT_FALSE (result.removedAnything);
    EXPECT_EQ (snapshot (dir.path()), before);
}

TEST_F (Integration, CurrentUserOperationsUseTheAppImageTheProcessCameFrom)
{
    {
        ScopedEnv noAppImage ("APPIMAGE", std::nullopt);
        const auto result = AppImageIntegration::installCurrentAppImage (true);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "ZorvaManager was not launched from an AppImage");
    }

    ScopedEnv appImage ("APPIMAGE", sourceAppImage.string());
    {
        ScopedEnv noAppDir ("APPDIR", std::nullopt);
        const auto result = AppImageIntegration::installCurrentAppImage (true);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "ZorvaManager AppImage icon is unavailable");
    }

    EXPECT_EQ (snapshot (home), (std::map<std::string, std::string>()));

    ScopedEnv appDir ("APPDIR", sourceIcon.parent_path().string());
    const auto installed = AppImageIntegration::installCurrentAppImage (false);
    EXPECT_TRUE (installed.ok) << installed.error;
    EXPECT_FALSE (installed.commandLinkInstalled);
    expectComplete (false);

    // Started from the integrated copy, the program is integrated.
    {
        ScopedEnv fromCopy ("APPIMAGE", paths.appImage.string());
        EXPECT_TRUE (AppImageIntegration::currentAppImage().isIntegrated);
    }

    const auto removed = AppImageIntegration::uninstallCurrentUser();
    EXPECT_TRUE (removed.ok) << removed.error;
    EXPECT_TRUE (removed.removedAnything);
    EXPECT_FALSE (fs::exists (paths.desktopEntry));
}

// --- faults --------------------------------------------------------------------------------

TEST_F (Integration, AReadOnlyApplicationsFolderKeepsTheOldEntry)
{
    ASSERT_TRUE (install().ok);
    const auto oldEntry = readFile (paths.desktopEntry);
    writeAppImage (sourceAppImage, 2, 5000, 99);

    ReadOnlyFolder readOnly (paths.desktopEntry.parent_path());

    if (! readOnly.active())
        GTEST_SKIP() << readOnly.reason();

    const auto result = install();
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error.rfind ("cannot create temporary desktop entry: ", 0), 0u) << result.error;
    EXPECT_EQ (readFile (paths.desktopEntry), oldEntry);
    // The copy before it was replaced completely (nothing is rolled back).
    EXPECT_EQ (readFile (paths.appImage), readFile (sourceAppImage));
    EXPECT_EQ (temporaryLeftovers (dir.path()), std::vector<std::string>());

    const auto removed = AppImageIntegration::uninstall (paths);
    EXPECT_FALSE (removed.ok);
    EXPECT_EQ (removed.error.rfind ("cannot remove " + paths.desktopEntry.string() + ": ", 0), 0u) << removed.error;
    EXPECT_TRUE (removed.removedAnything); // the copy went first
    EXPECT_EQ (readFile (paths.desktopEntry), oldEntry);
}

TEST_F (Integration, AReadOnlyBinFolderFailsTheCommandLinkOnly)
{
    ASSERT_TRUE (install (false).ok);
    ReadOnlyFolder readOnly (paths.commandLink.parent_path());

    if (! readOnly.active())
        GTEST_SKIP() << readOnly.reason();

    const auto result = install();
    EXPECT_FALSE (result.ok);
    EXPECT_FALSE (result.commandLinkInstalled);
    EXPECT_EQ (result.error.rfind ("cannot create ZorvaManager command link: ", 0), 0u) << result.error;
    expectComplete (false);
}

TEST_F (Integration, ACommandLinkThatCannotBeRemovedFailsTheUninstall)
{
    ASSERT_TRUE (install().ok);

    {
        ReadOnlyFolder readOnly (paths.commandLink.parent_path());

        if (! readOnly.active())
            GTEST_SKIP() << readOnly.reason();

        const auto result = AppImageIntegration::uninstall (paths);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error.rfind ("cannot remove ZorvaManager command link: ", 0), 0u) << result.error;
        EXPECT_TRUE (fs::is_symlink (paths.commandLink));
    }

    const auto again = AppImageIntegration::uninstall (paths);
    EXPECT_TRUE (again.ok) << again.error;
    EXPECT_TRUE (again.removedAnything);
    EXPECT_FALSE (fs::exists (fs::symlink_status (paths.commandLink)));
}

} // namespace
