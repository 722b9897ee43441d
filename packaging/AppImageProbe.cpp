#include "install/AppImageIntegration.h"

#include <cstdlib>
#include <iostream>

// Stands in for the program inside a test AppDir: prints, one "key=value" per line, what the
// program would see when AppRun starts it, so that a test can check the AppDir's layout.
int main (int argc, char** argv)
{
    using zorvaplugins::zorvamanager::install::AppImageIntegration;

    const char* appDir = std::getenv ("APPDIR");
    const auto info = AppImageIntegration::currentAppImage();

    std::cout << "APPDIR=" << (appDir != nullptr ? appDir : "") << "\n"
              << "isAppImage=" << (info.isAppImage ? "true" : "false") << "\n"
              << "isIntegrated=" << (info.isIntegrated ? "true" : "false") << "\n"
              << "appImagePath=" << info.appImagePath.string() << "\n"
              << "iconPath=" << info.iconPath.string() << "\n";

    for (int i = 1; i < argc; ++i)
        std::cout << "argument=" << argv[i] << "\n";

    return 0;
}
