#include "api/ProductPage.h"

#include <cstring>

namespace zorvaplugins::zorvamanager::api
{

namespace
{

constexpr auto npos = std::string_view::npos;

// The first position at or after `from` where a needle (a string, or any of a set of
// bytes) occurs. The last answer is kept: while the positions asked for only grow, a search
// never reads the same byte twice.
class ForwardSearch
{
public:
    ForwardSearch (std::string_view textToSearch, std::string_view needleToFind, bool anyOfNeedle = false)
        : text (textToSearch)
        , needle (needleToFind)
        , anyOf (anyOfNeedle)
    {}

    std::size_t firstAtOrAfter (std::size_t from)
    {
        if (searched && from >= searchedFrom && (found == npos || found >= from))
            return found;

        found = anyOf ? text.find_first_of (needle, from) : text.find (needle, from);
        searchedFrom = from;
        searched = true;
        return found;
    }

private:
    std::string_view text, needle;
    bool anyOf;
    bool searched = false;
    std::size_t searchedFrom = 0, found = npos;
};

// The last '<' at or before a position, for positions that only grow.
class LastOpenBracket
{
public:
    explicit LastOpenBracket (std::string_view textToSearch)
        : text (textToSearch)
    {}

    std::size_t atOrBefore (std::size_t position)
    {
        if (position >= scannedUpTo)
        {
            const auto length = position + 1 - scannedUpTo;

            if (const auto* hit = static_cast<const char*> (::memrchr (text.data() + scannedUpTo, '<', length)))
                last = static_cast<std::size_t> (hit - text.data());

            scannedUpTo = position + 1;
        }

        return last;
    }

private:
    std::string_view text;
    std::size_t scannedUpTo = 0, last = npos;
};

} // namespace

std::string findOgImageUrl (std::string_view page)
{
    constexpr std::string_view marker = "og:image";
    constexpr std::string_view contentWord = "content";
    constexpr std::string_view https = "https://";

    ForwardSearch markers (page, marker), closes (page, ">"), contents (page, contentWord), equalSigns (page, "=");
    ForwardSearch quotes (page, "\"'", true), doubleQuotes (page, "\""), singleQuotes (page, "'");
    LastOpenBracket opens (page);

    std::size_t position = 0;

    while (position < page.size())
    {
        const auto occurrence = markers.firstAtOrAfter (position);

        if (occurrence == npos)
            return {};

        const auto open = opens.atOrBefore (occurrence);
        const auto close = closes.firstAtOrAfter (occurrence);

        if (open == npos || close == npos)
        {
            position = occurrence + marker.size();
            continue;
        }

        // Everything below must lie inside the tag, page[open] to page[close].
        position = close + 1;

        const auto content = contents.firstAtOrAfter (open);

        if (content == npos || content + contentWord.size() > close)
            continue;

        const auto equals = equalSigns.firstAtOrAfter (content + contentWord.size());

        if (equals == npos || equals > close)
            continue;

        const auto quote = quotes.firstAtOrAfter (equals + 1);

        if (quote == npos || quote > close)
            continue;

        const auto end = (page[quote] == '"' ? doubleQuotes : singleQuotes).firstAtOrAfter (quote + 1);

        if (end == npos || end > close)
            continue;

        const auto value = page.substr (quote + 1, end - quote - 1);

        if (value.substr (0, https.size()) == https)
            return std::string (value);
    }

    return {};
}

} // namespace zorvaplugins::zorvamanager::api
