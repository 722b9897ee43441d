#include "core/VersionString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using zorvaplugins::zorvamanager::core::VersionOrder;
using zorvaplugins::zorvamanager::core::VersionString;

struct CompareCase
{
    std::string first;
    std::string second;
    int expected;
};

const std::vector<CompareCase> compareCases = {
    // Equal numbers under different spellings; build metadata never counts.
    { "1.0", "1.0.0", 0 },
    { "1.2.3+build.7", "1.2.3", 0 },
    { "01.2", "1.2", 0 },
    { "1.0+x-y", "1.0", 0 },
    { "1.0+", "1.0", 0 },
    { "1.0.0-beta+exp.sha-1", "1.0.0-beta", 0 },
    // Numeric, not textual, ordering of the components.
    { "1.2.3", "1.10.0", -1 },
    { "2.0.0", "1.99.99", 1 },
    { "1.2.4", "1.2.3", 1 },
    { "0.9", "0.10", -1 },
    // Pre-releases rank below their release and compare as byte strings.
    { "1.0.0-beta", "1.0.0", -1 },
    { "1.0.0", "1.0.0-rc.1", 1 },
    { "1.0.0-alpha", "1.0.0-beta", -1 },
    { "1.0.0-beta.10", "1.0.0-beta.2", -1 },
    { "1.0.0-rc1", "1.0.0-rc10", -1 },
    { "1.0.0-rc", "1.0.0-rc.1", -1 },
    { "1.2.3-beta-2", "1.2.3-beta", 1 },
    { "1.0-rc.1", "1.0.0-rc.1", 0 },
    { "1.0.0-beta", "0.9.9", 1 },
    { "1.0-\xc3\xa9", "1.0-z", 1 }, // unsigned bytes: 0xc3 sorts after 'z'
    // Identical texts are equal without being parsed.
    { "unknown", "unknown", 0 },
    { "", "", 0 },
    { "v1.2", "v1.2", 0 },
    // At least one unparsable text: no order.
    { "unknown", "1.0", 2 },
    { "", "1.0", 2 },
    { "1", "1.0", 2 },
    { "1.2.3.4", "1.0", 2 },
    { "v1.2", "1.0", 2 },
    { "1.2.", "1.0", 2 },
    { "1..2", "1.0", 2 },
    { "1.0-", "1.0", 2 },
    { "+5", "1.0", 2 },
    { " 1.0", "1.0", 2 },
    { "1.0 ", "1.0", 2 },
    { "-1.0", "1.0", 2 },
    { "1.+2", "1.0", 2 },
    { "1.0", "Unknown", 2 },
    { "1.0x", "1.0", 2 },
    // 32-bit signed bounds of a component.
    { "2147483647.0", "2147483646.0", 1 },
    { "1.2147483647.2147483647", "1.0", 1 },
    { "2147483648.0", "1.0", 2 },
    { "1.0.2147483648", "1.0", 2 },
    { "1.0.99999999999999999999", "1.0", 2 },
};

// Readable case names in test listings instead of raw bytes.
void PrintTo (const CompareCase& c, std::ostream* out)
{
    *out << "compare(" << c.first << "," << c.second << ")=" << c.expected;
}

class VersionStringCompare : public ::testing::TestWithParam<CompareCase>
{};

// The order the protocol's number stands for.
VersionOrder orderNamed (int number)
{
    switch (number)
    {
        case -1:
            return VersionOrder::older;
        case 0:
            return VersionOrder::same;
        case 1:
            return VersionOrder::newer;
        default:
            return VersionOrder::unordered;
    }
}

TEST_P (VersionStringCompare, OrdersBothWays)
{
    const auto& c = GetParam();
    EXPECT_EQ (VersionString::compare (c.first, c.second), c.expected);
    EXPECT_EQ (VersionString::order (c.first, c.second), orderNamed (c.expected));

    // Swapping the arguments mirrors the order; "no order" stays "no order".
    const auto mirrored = c.expected == 2 ? 2 : -c.expected;
    EXPECT_EQ (VersionString::compare (c.second, c.first), mirrored);
    EXPECT_EQ (VersionString::order (c.second, c.first), orderNamed (mirrored));
}

INSTANTIATE_TEST_SUITE_P (EdgeCases, VersionStringCompare, ::testing::ValuesIn (compareCases));

struct UpdateCase
{
    std::string installed;
    std::string latest;
    bool expected;
};

void PrintTo (const UpdateCase& c, std::ostream* out)
{
    *out << "update(" << c.installed << "," << c.latest << ")=" << (c.expected ? "yes" : "no");
}

class VersionStringUpdate : public ::testing::TestWithParam<UpdateCase>
{};

TEST_P (VersionStringUpdate, OffersUpdateOnlyWhenOlderOrNothingUsable)
{
    const auto& c = GetParam();
    EXPECT_EQ (VersionString::isUpdateAvailable (c.installed, c.latest), c.expected)
        << "installed '" << c.installed << "', latest '" << c.latest << "'";
}

INSTANTIATE_TEST_SUITE_P (EdgeCases,
                          VersionStringUpdate,
                          ::testing::ValuesIn (std::vector<UpdateCase> {
                              // Nothing usable installed: any usable-looking latest is offered, unparsed.
                              { "", "1.0", true },
                              { "unknown", "not a version", true },
                              { "unknown", "unknown", false },
                              { "", "", false },
                              { "unknown", "", false },
                              { "", "unknown", false },
                              // A usable installed text: only a strictly newer latest.
                              { "1.0", "1.1", true },
                              { "1.1", "1.0", false },
                              { "1.0", "1.0.0", false },
                              { "1.0.0-beta", "1.0.0", true },
                              { "1.0", "not a version", false },
                              { "garbage", "1.0", false },
                              { "1.0", "", false },
                              { "1.0", "unknown", false },
                          }));

} // namespace
