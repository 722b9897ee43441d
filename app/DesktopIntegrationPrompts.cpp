#include "DesktopIntegrationPrompts.h"

#include "GuiStrings.h"
#include "install/AppImageIntegration.h"

using zorvaplugins::zorvamanager::install::AppImageIntegration;
using zorvaplugins::zorvamanager::install::AppImageIntegrationResult;

namespace
{
void showBox (juce::MessageBoxIconType icon,
              const juce::String& title,
              const juce::String& message,
              juce::Component& associated,
              std::function<void (int)> onClose = nullptr)
{
    juce::AlertWindow::showAsync (
        juce::MessageBoxOptions().withIconType (icon).withTitle (title).withMessage (message).withButton ("OK").withAssociatedComponent (
            &associated),
        std::move (onClose));
}
} // namespace

namespace desktopIntegration
{

bool offerIntegration (juce::Component& window, WorkerPool& workers)
{
    const auto info = AppImageIntegration::currentAppImage();

    if (! info.isAppImage || info.isIntegrated)
        return false;

    juce::Component::SafePointer<juce::Component> safeWindow (&window);
    const auto question = juce::MessageBoxOptions()
                              .withIconType (juce::MessageBoxIconType::QuestionIcon)
                              .withTitle ("Install ZorvaManager")
                              .withMessage ("Would you like to add ZorvaManager to your applications menu? This installs ZorvaManager for "
                                            "your user account only and does not require administrator privileges.")
                              .withButton ("Install")
                              .withButton ("Run without installing")
                              .withAssociatedComponent (&window);

    juce::WeakReference<WorkerPool> safeWorkers (&workers);

    juce::AlertWindow::showAsync (question, [safeWindow, safeWorkers] (int result) {
        if (result != 1 || safeWindow == nullptr || safeWorkers == nullptr)
            return;

        safeWorkers->run<AppImageIntegrationResult> (
            [] { return AppImageIntegration::installCurrentAppImage (true); },
            [safeWindow] (AppImageIntegrationResult installed) {
                if (safeWindow == nullptr)
                    return;

                if (installed.ok)
                    showBox (juce::MessageBoxIconType::InfoIcon,
                             "ZorvaManager installed",
                             juce::String ("ZorvaManager was added to your applications menu.") +
                                 (installed.commandLinkInstalled ? " The ZorvaManager command was also added to ~/.local/bin." : ""),
                             *safeWindow);
                else
                    showBox (juce::MessageBoxIconType::WarningIcon,
                             "ZorvaManager installation failed",
                             "ZorvaManager could not be installed:\n" + toGuiString (installed.error),
                             *safeWindow);
            });
    });

    return true;
}

void confirmRemoval (juce::Component& component, std::function<void()> quit)
{
    juce::Component::SafePointer<juce::Component> safeComponent (&component);
    const auto question =
        juce::MessageBoxOptions()
            .withIconType (juce::MessageBoxIconType::WarningIcon)
            .withTitle ("Remove ZorvaManager")
            .withMessage (
                "Remove ZorvaManager from this computer?\n\nThis removes only ZorvaManager's AppImage, application-menu entry, icon, and "
                "optional command. Your ZorvaPlugins audio plugins, licences, presets, and settings will not be removed.")
            .withButton ("Remove ZorvaManager")
            .withButton ("Cancel")
            .withAssociatedComponent (&component);

    juce::AlertWindow::showAsync (question, [safeComponent, quit = std::move (quit)] (int result) {
        if (result != 1 || safeComponent == nullptr)
            return;

        const auto removed = AppImageIntegration::uninstallCurrentUser();

        if (! removed.ok)
        {
            showBox (juce::MessageBoxIconType::WarningIcon,
                     "ZorvaManager could not be removed",
                     "ZorvaManager could not complete its self-removal:\n" + toGuiString (removed.error),
                     *safeComponent);
            return;
        }

        showBox (juce::MessageBoxIconType::InfoIcon,
                 "ZorvaManager removed",
                 "ZorvaManager's desktop integration was removed. Your ZorvaPlugins audio plugins, licences, presets, and settings were "
                 "left untouched.",
                 *safeComponent,
                 [safeComponent, quit] (int) {
                     if (safeComponent != nullptr && quit)
                         quit();
                 });
    });
}

} // namespace desktopIntegration
