#include "core/DesktopScale.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace zorvaplugins::zorvamanager::core
{
namespace
{
constexpr std::string_view blanks = " \t";

std::string_view trimmed (std::string_view text)
{
    const auto first = text.find_first_not_of (blanks);

    if (first == std::string_view::npos)
        return {};

    return text.substr (first, text.find_last_not_of (blanks) - first + 1);
}

// A plain decimal number: digits, then optionally a point and more digits; nothing else.
std::optional<double> plainNumber (std::string_view text)
{
    const auto point = text.find ('.');
    const auto whole = text.substr (0, point);
    const auto fraction = point == std::string_view::npos ? std::string_view {} : text.substr (point + 1);
    const auto digitsOnly = [] (std::string_view part) {
        return std::all_of (part.begin(), part.end(), [] (char c) { return c >= '0' && c <= '9'; });
    };

    if (whole.empty() || whole.size() > 6 || fraction.size() > 6 || ! digitsOnly (whole) || ! digitsOnly (fraction) ||
        (point != std::string_view::npos && fraction.empty()))
        return std::nullopt;

    return std::strtod (std::string (text).c_str(), nullptr);
}
} // namespace

std::optional<double> scaleFromXResources (const std::string& resources)
{
    constexpr std::string_view name = "Xft.dpi";
    std::optional<double> dpi;
    std::string_view rest (resources);

    while (! rest.empty())
    {
        const auto end = std::min (rest.find ('\n'), rest.size());
        const auto line = trimmed (rest.substr (0, end));
        rest.remove_prefix (std::min (end + 1, rest.size()));

        const auto colon = line.find (':');

        // A later line overrides an earlier one, whatever its value, as in the resource database.
        if (colon != std::string_view::npos && trimmed (line.substr (0, colon)) == name)
            dpi = plainNumber (trimmed (line.substr (colon + 1)));
    }

    if (! dpi || *dpi < 96.0)
        return std::nullopt;

    return std::min (*dpi / 96.0, largestScale);
}

} // namespace zorvaplugins::zorvamanager::core
