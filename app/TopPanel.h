#pragma once

#include "install/PluginFormat.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <filesystem>
#include <functional>

// The search box: its caret exists only while it has the keyboard focus, as the caret's
// blinking timer runs for as long as the caret exists, focused or not.
class SearchEditor : public juce::TextEditor
{
public:
    SearchEditor() { setCaretVisible (false); }

    void focusGained (FocusChangeType cause) override
    {
        setCaretVisible (true);
        TextEditor::focusGained (cause);
    }

    void focusLost (FocusChangeType cause) override
    {
        TextEditor::focusLost (cause);
        setCaretVisible (false);
    }

    // The window's own keys (Ctrl+F, F5) pass through to it.
    bool keyPressed (const juce::KeyPress& key) override
    {
        if (key == juce::KeyPress ('f', juce::ModifierKeys::commandModifier, 0) || key == juce::KeyPress (juce::KeyPress::F5Key))
            return false;

        return TextEditor::keyPressed (key);
    }
};

// The panel above the list: the search box and the catalogue, scan and reset buttons; the two
// install folder buttons; the bulk actions and the program's own removal. It reports what the
// user asks for through its callbacks. Each control has a component ID, its member's name, by
// which tests find it. Message thread only.
class TopPanel : public juce::Component
{
public:
    TopPanel();

    std::function<void()> onSearchChanged;
    std::function<void()> onRefresh;
    std::function<void()> onScan;
    std::function<void()> onResetPaths;
    std::function<void (zorvaplugins::zorvamanager::install::PluginFormat)> onChooseFolder;
    std::function<void()> onInstallAll;
    std::function<void()> onUninstallAll;
    std::function<void()> onRemoveSelf;

    juce::String searchText() const { return searchEditor.getText(); }

    // Ctrl+F: the search box takes the keyboard focus with its text selected.
    void focusSearch();

    // The folder buttons show their folder, in full in their tooltips.
    void setFolders (const std::filesystem::path& vst3Folder, const std::filesystem::path& clapFolder);

    // While a catalogue loads, refresh and scan wait; the bulk actions need a loaded catalogue.
    void setAvailability (bool refreshAndScan, bool bulkActions);

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    juce::Label searchLabel, vst3PathLabel, clapPathLabel;
    SearchEditor searchEditor;
    juce::TextButton refreshButton, scanButton, resetPathsButton;
    juce::TextButton vst3PathButton, clapPathButton;
    juce::TextButton installAllButton, uninstallAllButton, removeSelfButton;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TopPanel)
};
