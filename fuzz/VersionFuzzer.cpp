// Version texts as the catalogue, the receipts and installed bundles give them: any bytes.
// The order is a total preorder on the texts that parse, and the update rule is the
// documented one.
#include "FuzzSupport.h"

#include "core/VersionString.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <string>

namespace
{

using zorvaplugins::zorvamanager::core::VersionString;

bool isDecimalComponent (const std::string& text)
{
    if (text.empty())
        return false;

    unsigned long long value = 0;

    for (const auto c : text)
    {
        if (c < '0' || c > '9')
            return false;

        value = value * 10 + static_cast<unsigned long long> (c - '0');

        if (value > 2147483647ull)
            return false;
    }

    return true;
}

// The dialect of VersionString.h, read on its own: "major.minor" or "major.minor.patch" of
// non-negative 32-bit decimals, an optional non-empty pre-release after the first hyphen,
// build metadata after the first plus sign; empty and "unknown" never parse.
bool parses (const std::string& text)
{
    if (text.empty() || text == "unknown")
        return false;

    const auto withoutBuild = text.substr (0, text.find ('+'));
    const auto hyphen = withoutBuild.find ('-');

    if (hyphen != std::string::npos && hyphen + 1 == withoutBuild.size())
        return false;

    const auto core = withoutBuild.substr (0, hyphen);
    const auto firstDot = core.find ('.');

    if (firstDot == std::string::npos)
        return false;

    const auto secondDot = core.find ('.', firstDot + 1);
    const auto minorEnd = secondDot == std::string::npos ? core.size() : secondDot;

    if (! isDecimalComponent (core.substr (0, firstDot)) || ! isDecimalComponent (core.substr (firstDot + 1, minorEnd - firstDot - 1)))
        return false;

    return secondDot == std::string::npos || isDecimalComponent (core.substr (secondDot + 1));
}

bool isUsable (const std::string& text)
{
    return ! text.empty() && text != "unknown";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input (data, size);
    std::array<std::string, 3> texts;

    for (auto& text : texts)
        text = input.ConsumeRandomLengthString (64);

    for (const auto& a : texts)
    {
        zorvafuzz::check (VersionString::compare (a, a) == 0, "a text is not equal to itself", a);

        for (const auto& b : texts)
        {
            const auto order = VersionString::compare (a, b);
            const auto update = VersionString::isUpdateAvailable (a, b);
            const auto expectedUpdate = isUsable (a) ? order == -1 : isUsable (b);
            zorvafuzz::check (update == expectedUpdate, "isUpdateAvailable breaks its rule", a + " | " + b);

            if (a == b)
                continue;

            const auto reverse = VersionString::compare (b, a);

            if (parses (a) && parses (b))
            {
                zorvafuzz::check (order >= -1 && order <= 1, "two parsing texts do not compare", a + " | " + b);
                zorvafuzz::check (reverse == -order, "the order is not antisymmetric", a + " | " + b);
            }
            else
            {
                zorvafuzz::check (order == 2 && reverse == 2, "a text that does not parse compares", a + " | " + b);
            }
        }
    }

    // Every ordered triple of the texts: a <= b and b <= c give a <= c, strictly when either step is.
    for (const auto& a : texts)
        for (const auto& b : texts)
            for (const auto& c : texts)
            {
                const auto ab = VersionString::compare (a, b);
                const auto bc = VersionString::compare (b, c);

                if ((ab != -1 && ab != 0) || (bc != -1 && bc != 0))
                    continue;

                const auto expected = (ab == -1 || bc == -1) ? -1 : 0;
                zorvafuzz::check (VersionString::compare (a, c) == expected, "the order is not transitive", a + " | " + b + " | " + c);
            }

    return 0;
}
