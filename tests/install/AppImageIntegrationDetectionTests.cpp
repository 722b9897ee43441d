#include "install/AppImageIntegration.h"

#include "install/AppImageIntegrationTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace
{

namespace fs = std::filesystem;
using zorvaplugins::zorvamanager::install::AppImageIntegration;
using zorvaplugins::zorvamanager::install::AppImageIntegrationPaths;
using zorvatest::ScopedEnv;
using zorvatest::TempDir;
using zorvatest::writeFile;
using namespace zorvatest::appimage;

void expectPaths (const AppImageIntegrationPaths& paths, const fs::path& home, const fs::path& data)
{
    EXPECT_EQ (paths.appImage, home / ".local/lib/zorvamanager/ZorvaManager.AppImage");
    EXPECT_EQ (paths.desktopEntry, data / "applications/com.zorvaplugins.ZorvaManager.desktop");
    EXPECT_EQ (paths.icon, data / "icons/hicolor/512x512/apps/zorvamanager.png");
    EXPECT_EQ (paths.commandLink, home / ".local/bin/ZorvaManager");
}

bool allEmpty (const AppImageIntegrationPaths& paths)
{
    return paths.appImage.empty() && paths.desktopEntry.empty() && paths.icon.empty() && paths.commandLink.empty();
}

TEST (AppImageIntegrationPaths, IdentifierAndDesktopEntryNameAgree)
{
    EXPECT_EQ (std::string (AppImageIntegration::applicationId), "com.zorvaplugins.ZorvaManager");
    EXPECT_EQ (std::string (AppImageIntegration::desktopEntryFileName), std::string (AppImageIntegration::applicationId) + ".desktop");
}

TEST (AppImageIntegrationPaths, PathsForUserFollowTheXdgLayout)
{
    expectPaths (AppImageIntegration::pathsForUser ("/home/u", ""), "/home/u", "/home/u/.local/share");
    expectPaths (AppImageIntegration::pathsForUser ("/home/u", "/data"), "/home/u", "/data");
    // Pure joins: nothing is normalised.
    expectPaths (AppImageIntegration::pathsForUser ("/home/u/../v", "/d/./x"), "/home/u/../v", "/d/./x");
}

TEST (AppImageIntegrationPaths, DefaultPathsComeFromHomeAndXdgDataHome)
{
    struct Case
    {
        std::string name;
        std::optional<std::string> home;
        std::optional<std::string> data;
        fs::path expectedData; // empty: no paths at all
    };

    const Case cases[] = {
        { "home-unset", std::nullopt, "/data", {} },
        { "home-empty", "", "/data", {} },
        { "data-unset", "/home/u", std::nullopt, "/home/u/.local/share" },
        { "data-empty", "/home/u", "", "/home/u/.local/share" },
        { "data-relative", "/home/u", "relative/share", "/home/u/.local/share" },
        { "data-absolute", "/home/u", "/data", "/data" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ScopedEnv home ("HOME", c.home);
        ScopedEnv data ("XDG_DATA_HOME", c.data);
        const auto paths = AppImageIntegration::defaultPaths();

        if (c.expectedData.empty())
            EXPECT_TRUE (allEmpty (paths));
        else
            expectPaths (paths, *c.home, c.expectedData);
    }
}

// A fake mounted AppImage: the AppImage file and its AppDir in a temporary folder, with HOME
// and XDG_DATA_HOME pointing into the same folder.
class AppImageDetection : public ::testing::Test
{
protected:
    TempDir dir;
    fs::path appImage = dir / "apps/ZorvaManager-x86_64.AppImage";
    fs::path appDir = dir / "mount";
    ScopedEnv home { "HOME", (dir / "home").string() };
    ScopedEnv data { "XDG_DATA_HOME", std::nullopt };
    ScopedEnv appImageVariable { "APPIMAGE", appImage.string() };
    ScopedEnv appDirVariable { "APPDIR", appDir.string() };

    void SetUp() override
    {
        writeAppImage (appImage);
        writeFile (appDir / "zorvamanager.png", "top icon");
    }
};

TEST_F (AppImageDetection, AWellFormedAppImageIsRecognisedWithItsIcon)
{
    const auto info = AppImageIntegration::currentAppImage();

    EXPECT_TRUE (info.isAppImage);
    EXPECT_FALSE (info.isIntegrated);
    EXPECT_EQ (info.appImagePath, appImage);
    EXPECT_EQ (info.iconPath, appDir / "zorvamanager.png");
}

TEST_F (AppImageDetection, OnlyAnAbsoluteRegularTypeTwoFileNamedDotAppImageCounts)
{
    writeAppImage (dir / "apps/.AppImage");
    writeAppImage (dir / "apps/lower.appimage");
    writeAppImage (dir / "apps/Type1.AppImage", 1);
    writeFile (dir / "apps/Plain.AppImage", "#!/bin/sh\necho not an AppImage\n");
    writeAppImage (dir / "apps/NoSuffix");
    makeLink (appImage, dir / "apps/Link.AppImage");
    fs::create_directories (dir / "apps/Folder.AppImage");

    struct Case
    {
        std::optional<std::string> value;
        bool isAppImage;
    };

    const Case cases[] = {
        { (dir / "apps/.AppImage").string(), true },
        { std::nullopt, false },
        { "", false },
        { "apps/ZorvaManager-x86_64.AppImage", false },
        { (dir / "apps/lower.appimage").string(), false },
        { (dir / "apps/Type1.AppImage").string(), false },
        { (dir / "apps/Plain.AppImage").string(), false },
        { (dir / "apps/NoSuffix").string(), false },
        { (dir / "apps/Link.AppImage").string(), false },
        { (dir / "apps/Folder.AppImage").string(), false },
        { (dir / "apps/Missing.AppImage").string(), false },
    };

    const auto current = fs::current_path();
    fs::current_path (dir.path()); // so that the relative value would name a real AppImage

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.value.value_or ("<unset>"));
        ScopedEnv variable ("APPIMAGE", c.value);
        const auto info = AppImageIntegration::currentAppImage();

        EXPECT_EQ (info.isAppImage, c.isAppImage);
        EXPECT_EQ (info.appImagePath, c.isAppImage ? fs::path (*c.value) : fs::path());

        if (! c.isAppImage)
        {
            EXPECT_TRUE (info.iconPath.empty());
            EXPECT_FALSE (info.isIntegrated);
        }
    }

    fs::current_path (current);
}

TEST_F (AppImageDetection, TheIconIsTheFirstSafeCandidateUnderAnAbsoluteAppDir)
{
    const auto top = appDir / "zorvamanager.png";
    const auto hicolor = appDir / "usr/share/icons/hicolor/512x512/apps/zorvamanager.png";
    const auto fallback = appDir / "ZorvaManagerIcon.png";
    writeFile (hicolor, "hicolor icon");
    writeFile (fallback, "fallback icon");

    EXPECT_EQ (AppImageIntegration::currentAppImage().iconPath, top);

    fs::remove (top);
    EXPECT_EQ (AppImageIntegration::currentAppImage().iconPath, hicolor);

    // A candidate that is a link is passed over, even when it leads to a real picture.
    makeLink (fallback, hicolor.parent_path() / "elsewhere.png");
    fs::remove (hicolor);
    makeLink (hicolor.parent_path() / "elsewhere.png", hicolor);
    EXPECT_EQ (AppImageIntegration::currentAppImage().iconPath, fallback);

    fs::remove (fallback);
    fs::create_directory (fallback); // a folder is no icon either
    EXPECT_TRUE (AppImageIntegration::currentAppImage().iconPath.empty());
    EXPECT_TRUE (AppImageIntegration::currentAppImage().isAppImage);

    writeFile (top, "top icon");

    for (const std::optional<std::string>& value :
         { std::optional<std::string> {}, std::optional<std::string> (""), std::optional<std::string> ("mount") })
    {
        const auto current = fs::current_path();
        fs::current_path (dir.path());
        ScopedEnv variable ("APPDIR", value);
        const auto info = AppImageIntegration::currentAppImage();
        fs::current_path (current);

        EXPECT_TRUE (info.isAppImage);
        EXPECT_TRUE (info.iconPath.empty()) << value.value_or ("<unset>");
    }
}

TEST_F (AppImageDetection, OnlyTheVeryFileAtTheIntegratedPlaceIsIntegrated)
{
    const auto paths = AppImageIntegration::defaultPaths();
    writeAppImage (paths.appImage);

    {
        ScopedEnv variable ("APPIMAGE", paths.appImage.string());
        const auto info = AppImageIntegration::currentAppImage();
        EXPECT_TRUE (info.isAppImage);
        EXPECT_TRUE (info.isIntegrated);
    }

    // An equal copy elsewhere is another file.
    EXPECT_FALSE (AppImageIntegration::currentAppImage().isIntegrated);
    EXPECT_FALSE (AppImageIntegration::isIntegratedAppImage (appImage, paths));

    // A hard link is the same file.
    fs::create_hard_link (paths.appImage, dir / "apps/Hard.AppImage");
    EXPECT_TRUE (AppImageIntegration::isIntegratedAppImage (dir / "apps/Hard.AppImage", paths));

    // A link placed at the integrated location does not make its target integrated.
    fs::remove (paths.appImage);
    makeLink (appImage, paths.appImage);
    EXPECT_FALSE (AppImageIntegration::currentAppImage().isIntegrated);
    EXPECT_FALSE (AppImageIntegration::isIntegratedAppImage (appImage, paths));

    EXPECT_FALSE (AppImageIntegration::isIntegratedAppImage ({}, paths));
    EXPECT_FALSE (AppImageIntegration::isIntegratedAppImage (appImage, {}));

    ScopedEnv noHome ("HOME", std::nullopt);
    EXPECT_FALSE (AppImageIntegration::isIntegratedAppImage (appImage, AppImageIntegration::defaultPaths()));
    EXPECT_FALSE (AppImageIntegration::currentAppImage().isIntegrated);
}

} // namespace
