#include "package/ArchiveSafety.h"

#include <gtest/gtest.h>

#include <string>

using zorvaplugins::zorvamanager::package::ArchiveSafety;

namespace
{

struct NameCase
{
    std::string name;
    std::string reason; // empty: accepted
};

} // namespace

TEST (ArchiveSafety, ValidateEntryPathAppliesTheRulesInOrder)
{
    const NameCase cases[] = {
        { "", "empty path" },
        // Control characters come first, even before a leading separator.
        { "a\tb", "control character" },
        { "a\nb", "control character" },
        { std::string ("a\x01") + "b", "control character" },
        { std::string ("x\0y", 3), "control character" },
        { "/a\tb", "control character" },
        { "\x1f", "control character" },
        { "/etc/passwd", "absolute path" },
        { "/x", "absolute path" },
        { "\\x", "absolute path" },
        { "//server/share", "absolute path" },
        { "\\\\server\\share", "absolute path" },
        { "/../x", "absolute path" },
        { "C:evil", "windows drive prefix" },
        { "z:\\x", "windows drive prefix" },
        { "C:", "windows drive prefix" },
        { "../evil", "parent traversal" },
        { "..", "parent traversal" },
        { "a/../../b", "parent traversal" },
        { "a\\..\\b", "parent traversal" },
        { "a/..", "parent traversal" },
        { "a/../b", "parent traversal" },
        { "a\\..", "parent traversal" },
        { "a//../b", "parent traversal" },
        { "./../a", "parent traversal" },
        { "a/..b/c", "" },
        { "./a", "" },
        { "..a", "" },
        { "...", "" },
        { "a/.../b", "" },
        { "a..", "" },
        { "a//b/", "" },
        { ".", "" },
        { "C", "" },
        { "1:x", "" },
        { "ab:c", "" },
        { "a\\b.txt", "" },
        { "Synth.vst3/Contents/x86_64-linux/Synth.so", "" },
        { "del\x7f", "" },
        { "S\xc3\xbfnth.clap", "" },
        { "\xff\xfe", "" },
    };

    for (const auto& c : cases)
    {
        const auto result = ArchiveSafety::validateEntryPath (c.name);
        EXPECT_EQ (result.ok, c.reason.empty()) << "name: " << testing::PrintToString (c.name);
        EXPECT_EQ (result.error, c.reason) << "name: " << testing::PrintToString (c.name);
    }
}
