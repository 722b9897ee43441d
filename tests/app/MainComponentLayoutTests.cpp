#include "ComponentProbe.h"
#include "GuiStrings.h"
#include "LogPanel.h"
#include "MakerServiceFixture.h"

#include <gtest/gtest.h>

TEST (MainComponentLayout, PlacesEveryControlAtTheDefaultSize)
{
    ZorvaManagerComponent component;
    ZorvaManagerComponentProbe probe (component);
    const auto controls = probe.controls();

    const std::pair<const char*, juce::Rectangle<int>> expected[] = {
        { "installModeToggle", { 42, 176, 214, 30 } },   { "removeModeToggle", { 42, 210, 214, 30 } },
        { "vst3Toggle", { 42, 300, 214, 30 } },          { "clapToggle", { 42, 334, 214, 30 } },
        { "allProductsToggle", { 42, 424, 214, 30 } },   { "myProductsToggle", { 42, 458, 214, 30 } },
        { "freeProductsToggle", { 42, 492, 214, 30 } },  { "myUpdatesToggle", { 42, 526, 214, 22 } },
        { "searchLabel", { 308, 142, 92, 34 } },         { "searchEditor", { 408, 142, 260, 34 } },
        { "refreshButton", { 680, 142, 160, 34 } },      { "scanButton", { 850, 142, 140, 34 } },
        { "resetPathsButton", { 1000, 142, 120, 34 } },  { "vst3PathLabel", { 308, 188, 92, 34 } },
        { "vst3PathButton", { 408, 188, 310, 34 } },     { "clapPathLabel", { 736, 188, 92, 34 } },
        { "clapPathButton", { 836, 188, 302, 34 } },     { "installAllButton", { 308, 234, 200, 18 } },
        { "uninstallAllButton", { 518, 234, 160, 18 } }, { "removeSelfButton", { 698, 234, 300, 18 } },
        { "productList", { 290, 286, 866, 280 } },       { "logEditor", { 40, 624, 1100, 96 } },
    };

    EXPECT_EQ (component.getWidth(), 1180);
    EXPECT_EQ (component.getHeight(), 760);

    for (const auto& [name, bounds] : expected)
        EXPECT_EQ (probe.boundsOf (name), bounds) << name;

    // Shrunk far below its size nothing gets a negative size and nothing overlaps the sidebar.
    component.setSize (300, 200);

    for (const auto& [name, control] : controls)
    {
        EXPECT_GE (control->getWidth(), 0) << name;
        EXPECT_GE (control->getHeight(), 0) << name;
    }

    pumpUntil ([&probe] { return ! probe.loading(); }, 30000);
}

TEST (MainComponentToggles, KeepTheirGroupsExclusiveAndOneFormatOn)
{
    ZorvaManagerComponent component;
    ZorvaManagerComponentProbe probe (component);
    auto controls = probe.controls();

    const auto click = [&controls] (const char* name) {
        dynamic_cast<juce::Button*> (controls.at (name))->triggerClick();
        pumpFor (30);
    };
    const auto isOn = [&controls] (const char* name) { return dynamic_cast<juce::Button*> (controls.at (name))->getToggleState(); };

    click ("freeProductsToggle");
    EXPECT_TRUE (isOn ("freeProductsToggle"));
    EXPECT_FALSE (isOn ("allProductsToggle"));
    EXPECT_FALSE (isOn ("myProductsToggle"));
    EXPECT_FALSE (isOn ("myUpdatesToggle"));

    click ("allProductsToggle");
    click ("allProductsToggle"); // clicking the toggle that is on leaves it on
    EXPECT_TRUE (isOn ("allProductsToggle"));
    EXPECT_FALSE (isOn ("freeProductsToggle"));

    click ("removeModeToggle");
    EXPECT_TRUE (isOn ("removeModeToggle"));
    EXPECT_FALSE (isOn ("installModeToggle"));

    click ("clapToggle");
    EXPECT_FALSE (isOn ("clapToggle"));
    click ("vst3Toggle"); // the last format switched off comes straight back on
    EXPECT_TRUE (isOn ("vst3Toggle"));
    EXPECT_FALSE (isOn ("clapToggle"));

    pumpUntil ([&probe] { return ! probe.loading(); }, 30000);
}

// The log keeps its latest lines only, each message cut to a bounded length and on one line of
// its own, in its level's colour as before; the oldest lines go first, a tenth at a time.
TEST (LogPanelBounds, KeepsTheLatestLinesEachCutAndOnOneLine)
{
    LogPanel panel;
    panel.setBounds (0, 0, 800, 140);

    const auto longMessage = juce::String::repeatedString ("long ", 100'000);
    panel.append (LogLevel::error, longMessage);
    panel.append (LogLevel::warn, "first line\nsecond line");

    for (int i = 0; i < 2 * LogPanel::maxLines; ++i)
        panel.append (LogLevel::info, "message " + juce::String (i));

    juce::StringArray lines;
    lines.addLines (panel.text());
    lines.removeEmptyStrings();

    EXPECT_EQ (lines.size(), panel.lineCount());
    EXPECT_LE (panel.lineCount(), LogPanel::maxLines);
    EXPECT_GT (panel.lineCount(), LogPanel::maxLines * 9 / 10 - 1);
    EXPECT_TRUE (lines[lines.size() - 1].endsWith ("  INFO  message " + juce::String (2 * LogPanel::maxLines - 1)));

    // The long message and the one with a line break, each one line, the long one cut.
    LogPanel fresh;
    fresh.append (LogLevel::error, longMessage);
    fresh.append (LogLevel::warn, "first line\nsecond line");
    juce::StringArray freshLines;
    freshLines.addLines (fresh.text());
    ASSERT_EQ (freshLines.size(), 4); // the start-up line, two messages, and the empty end
    EXPECT_LE (freshLines[1].length(), shownText::maxMessageCharacters + 20);
    EXPECT_TRUE (freshLines[1].endsWith (juce::String::charToString (0x2026)));
    EXPECT_TRUE (freshLines[2].endsWith ("WARN  first line second line"));
}
