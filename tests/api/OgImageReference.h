#pragma once

#include <string>
#include <string_view>

namespace zorvatest
{

// The og:image search rules of api::findOgImageUrl read literally, one plain search after the
// other. Quadratic on hostile pages, so it only serves as the oracle on small ones. Pure.
inline std::string referenceOgImageSearch (std::string_view page)
{
    constexpr auto npos = std::string_view::npos;
    std::size_t position = 0;

    while (position < page.size())
    {
        const auto occurrence = page.find ("og:image", position);

        if (occurrence == npos)
            return {};

        const auto open = page.rfind ('<', occurrence);
        const auto close = page.find ('>', occurrence);

        if (open == npos || close == npos)
        {
            position = occurrence + 8;
            continue;
        }

        const auto tag = page.substr (open, close - open + 1);
        position = close + 1;
        const auto content = tag.find ("content");
        const auto equals = content == npos ? npos : tag.find ('=', content + 7);
        const auto quote = equals == npos ? npos : tag.find_first_of ("\"'", equals + 1);
        const auto end = quote == npos ? npos : tag.find (tag[quote], quote + 1);

        if (end == npos)
            continue;

        const auto value = tag.substr (quote + 1, end - quote - 1);

        if (value.size() > 7 && value.substr (0, 8) == "https://")
            return std::string (value);
    }

    return {};
}

} // namespace zorvatest
