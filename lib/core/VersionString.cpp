#include "core/VersionString.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zorvaplugins::zorvamanager::core
{

namespace
{

struct ParsedVersion
{
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
    std::optional<std::string> prerelease;
};

bool parseNonNegativeInt (std::string_view text, std::int32_t& out)
{
    if (text.empty())
        return false;

    std::int32_t value = 0;
    const auto* const end = text.data() + text.size();
    const auto [next, error] = std::from_chars (text.data(), end, value);

    if (error != std::errc() || next != end || value < 0)
        return false;

    out = value;
    return true;
}

bool isUnusable (const std::string& text)
{
    return text.empty() || text == "unknown";
}

std::optional<ParsedVersion> parse (std::string_view text)
{
    if (text.empty() || text == "unknown")
        return std::nullopt;

    // Build metadata never takes part in ordering.
    if (const auto plus = text.find ('+'); plus != std::string_view::npos)
    {
        text = text.substr (0, plus);

        if (text.empty())
            return std::nullopt;
    }

    ParsedVersion version;
    auto core = text;

    if (const auto hyphen = text.find ('-'); hyphen != std::string_view::npos)
    {
        const auto prerelease = text.substr (hyphen + 1);

        if (prerelease.empty())
            return std::nullopt;

        version.prerelease = std::string (prerelease);
        core = text.substr (0, hyphen);
    }

    std::vector<std::string_view> components;

    for (;;)
    {
        const auto dot = core.find ('.');
        components.push_back (core.substr (0, dot));

        if (dot == std::string_view::npos)
            break;

        core.remove_prefix (dot + 1);
    }

    if (components.size() != 2 && components.size() != 3)
        return std::nullopt;

    if (! parseNonNegativeInt (components[0], version.major) || ! parseNonNegativeInt (components[1], version.minor))
        return std::nullopt;

    if (components.size() == 3 && ! parseNonNegativeInt (components[2], version.patch))
        return std::nullopt;

    return version;
}

template <typename Value>
VersionOrder orderOf (const Value& first, const Value& second)
{
    return first < second ? VersionOrder::older : (second < first ? VersionOrder::newer : VersionOrder::same);
}

} // namespace

VersionOrder VersionString::order (const std::string& first, const std::string& second)
{
    if (first == second)
        return VersionOrder::same;

    const auto a = parse (first);
    const auto b = parse (second);

    if (! a || ! b)
        return VersionOrder::unordered;

    for (const auto numbers : { orderOf (a->major, b->major), orderOf (a->minor, b->minor), orderOf (a->patch, b->patch) })
        if (numbers != VersionOrder::same)
            return numbers;

    if (! a->prerelease && ! b->prerelease)
        return VersionOrder::same;

    if (! a->prerelease)
        return VersionOrder::newer;

    if (! b->prerelease)
        return VersionOrder::older;

    // std::string compares through char_traits<char>, i.e. as unsigned bytes.
    return orderOf (*a->prerelease, *b->prerelease);
}

int VersionString::compare (const std::string& first, const std::string& second)
{
    switch (order (first, second))
    {
        case VersionOrder::older:
            return -1;
        case VersionOrder::same:
            return 0;
        case VersionOrder::newer:
            return 1;
        case VersionOrder::unordered:
            break;
    }

    return 2;
}

bool VersionString::isUpdateAvailable (const std::string& installed, const std::string& latest)
{
    if (! isUnusable (installed))
        return order (installed, latest) == VersionOrder::older;

    return ! isUnusable (latest);
}

} // namespace zorvaplugins::zorvamanager::core
