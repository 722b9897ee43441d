#include "products/ProductView.h"

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace zorvaplugins::zorvamanager::products
{

namespace
{

// Unicode case folding needs a UTF-8 locale's tables; the program itself runs in the plain C
// locale, whose tables know ASCII only. Made once, never freed.
locale_t caseLocale()
{
    static const locale_t locale = ::newlocale (LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t> (nullptr));
    return locale;
}

char32_t lowerCase (char32_t character)
{
    if (character < 0x80)
        return character >= 'A' && character <= 'Z' ? character + ('a' - 'A') : character;

    if (const auto locale = caseLocale(); locale != static_cast<locale_t> (nullptr))
        return static_cast<char32_t> (::towlower_l (static_cast<wint_t> (character), locale));

    return character;
}

// The text's characters in lower case. A byte that does not start a valid UTF-8 sequence
// stands for itself, moved out of the way of real characters, so that it only matches itself.
std::u32string foldedCharacters (const std::string& text)
{
    std::u32string result;
    result.reserve (text.size());

    for (std::size_t i = 0; i < text.size();)
    {
        const auto lead = static_cast<unsigned char> (text[i]);
        const auto length = lead < 0x80 ? 1u : (lead >> 5) == 0x6 ? 2u : (lead >> 4) == 0xe ? 3u : (lead >> 3) == 0x1e ? 4u : 0u;
        char32_t character = length == 1 ? lead : length == 2 ? (lead & 0x1fu) : length == 3 ? (lead & 0x0fu) : (lead & 0x07u);
        auto valid = length != 0 && i + length <= text.size();

        for (std::size_t k = 1; valid && k < length; ++k)
        {
            const auto next = static_cast<unsigned char> (text[i + k]);
            valid = (next & 0xc0) == 0x80;
            character = (character << 6) | (next & 0x3fu);
        }

        if (valid)
        {
            result += lowerCase (character);
            i += length;
        }
        else
        {
            result += static_cast<char32_t> (0x110000 + lead);
            ++i;
        }
    }

    return result;
}

std::string trimmed (const std::string& text)
{
    const auto isSpace = [] (char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    std::size_t begin = 0, end = text.size();

    while (begin < end && isSpace (text[begin]))
        ++begin;

    while (end > begin && isSpace (text[end - 1]))
        --end;

    return text.substr (begin, end - begin);
}

bool passesProductFilter (const ProductRow& row, ProductFilter filter)
{
    switch (filter)
    {
        case ProductFilter::myProducts:
            return row.installed;
        case ProductFilter::freeProducts:
            return row.isFree;
        case ProductFilter::myUpdates:
            return row.updateAvailable;
        case ProductFilter::allProducts:
            break;
    }

    return true;
}

} // namespace

std::vector<std::size_t> visibleRowIndices (const std::vector<ProductRow>& rows, const RowFilter& filter)
{
    const auto search = foldedCharacters (trimmed (filter.searchText));
    const auto matches = [&search] (const std::string& text) { return foldedCharacters (text).find (search) != std::u32string::npos; };

    std::vector<std::size_t> visible;

    for (std::size_t index = 0; index < rows.size(); ++index)
    {
        const auto& row = rows[index];

        if (! search.empty() && ! matches (row.name) && ! matches (row.description) && ! matches (row.slug))
            continue;

        const auto formatShown = (filter.showVst3 && row.formats.count ("vst3") > 0) || (filter.showClap && row.formats.count ("clap") > 0);

        if (formatShown && passesProductFilter (row, filter.productFilter))
            visible.push_back (index);
    }

    return visible;
}

RowButton rowButton (const ProductRow& row, ActionMode mode, bool actionsEnabled)
{
    if (! row.activity.empty())
        return RowButton::busy;

    if (! actionsEnabled)
        return RowButton::unavailable;

    if (mode == ActionMode::remove)
        return row.installed ? RowButton::remove : RowButton::notInstalled;

    if (row.updateAvailable)
        return RowButton::update;

    if (! row.installed)
        return row.inCatalogue ? RowButton::installNew : RowButton::notInstalled;

    return RowButton::upToDate;
}

bool buttonActs (RowButton button)
{
    return button == RowButton::installNew || button == RowButton::update || button == RowButton::remove;
}

std::vector<std::string> installCandidates (const std::vector<ProductRow>& rows, const std::vector<std::size_t>& visible)
{
    std::vector<std::string> slugs;

    for (const auto index : visible)
        if (index < rows.size() && rows[index].inCatalogue && (! rows[index].installed || rows[index].updateAvailable))
            slugs.push_back (rows[index].slug);

    return slugs;
}

std::vector<std::string> uninstallCandidates (const std::vector<ProductRow>& rows, const std::vector<std::size_t>& visible)
{
    std::vector<std::string> slugs;

    for (const auto index : visible)
        if (index < rows.size() && rows[index].installed)
            slugs.push_back (rows[index].slug);

    return slugs;
}

} // namespace zorvaplugins::zorvamanager::products
