#include "OgImage.h"

std::string findOgImageUrl (std::string_view page)
{
    constexpr std::string_view marker = "og:image";
    constexpr std::string_view https = "https://";
    constexpr auto npos = std::string_view::npos;

    std::size_t position = 0;

    while (position < page.size())
    {
        const auto occurrence = page.find (marker, position);

        if (occurrence == npos)
            return {};

        const auto open = page.rfind ('<', occurrence);
        const auto close = page.find ('>', occurrence);

        if (open == npos || close == npos)
        {
            position = occurrence + marker.size();
            continue;
        }

        const auto tag = page.substr (open, close - open + 1);
        position = close + 1;

        const auto content = tag.find ("content");

        if (content == npos)
            continue;

        const auto equals = tag.find ('=', content + 7);

        if (equals == npos)
            continue;

        const auto quote = tag.find_first_of ("\"'", equals + 1);

        if (quote == npos)
            continue;

        const auto end = tag.find (tag[quote], quote + 1);

        if (end == npos)
            continue;

        const auto value = tag.substr (quote + 1, end - quote - 1);

        if (value.size() > 7 && value.substr (0, https.size()) == https)
            return std::string (value);
    }

    return {};
}
