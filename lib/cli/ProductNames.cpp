#include "cli/ProductNames.h"

#include "core/NameKey.h"

#include <algorithm>

namespace zorvaplugins::zorvamanager::cli
{

namespace
{

std::string asciiLower (std::string text)
{
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char> (c - 'A' + 'a');

    return text;
}

std::string describe (const products::ProductRow& row)
{
    return row.slug + " (" + row.name + ")";
}

std::string listOf (const std::vector<products::ProductRow>& rows, const std::vector<std::size_t>& indices)
{
    std::string text;

    for (const auto index : indices)
        text += (text.empty() ? "" : ", ") + describe (rows[index]);

    return text;
}

template <typename Key>
std::vector<std::size_t> rowsWhere (const std::vector<products::ProductRow>& rows, Key key, const std::string& wanted)
{
    std::vector<std::size_t> found;

    for (std::size_t i = 0; i < rows.size(); ++i)
        if (key (rows[i].slug) == wanted || key (rows[i].name) == wanted)
            found.push_back (i);

    return found;
}

} // namespace

NameMatch matchProductNames (const std::vector<products::ProductRow>& rows, const std::vector<std::string>& names)
{
    NameMatch match;

    for (const auto& name : names)
    {
        auto found = rowsWhere (rows, asciiLower, asciiLower (name));
        const auto key = core::normaliseName (name);

        if (found.empty() && ! key.empty())
            found = rowsWhere (rows, core::normaliseName, key);

        if (found.size() == 1)
        {
            if (std::find (match.indices.begin(), match.indices.end(), found[0]) == match.indices.end())
                match.indices.push_back (found[0]);

            continue;
        }

        if (! match.error.empty())
            match.error += "\n";

        if (found.size() > 1)
        {
            match.error += "more than one product is called " + name + ": " + listOf (rows, found);
            continue;
        }

        std::vector<std::size_t> similar;

        for (std::size_t i = 0; i < rows.size() && ! key.empty(); ++i)
            if (core::normaliseName (rows[i].slug).find (key) != std::string::npos ||
                core::normaliseName (rows[i].name).find (key) != std::string::npos)
                similar.push_back (i);

        match.error += "no product is called " + name;

        if (! similar.empty())
            match.error += "; did you mean: " + listOf (rows, similar);
        else
            match.error += " (see ZorvaManager list)";
    }

    match.ok = match.error.empty();

    if (! match.ok)
        match.indices.clear();

    return match;
}

} // namespace zorvaplugins::zorvamanager::cli
