#pragma once

#include <string_view>

namespace zorvaplugins::zorvamanager::core
{

// The one test of an HTTPS address, shared by the catalogue reader and the fetcher: the text
// begins with exactly "https://" (case-sensitive; nothing is trimmed). Pure; any thread.
inline bool beginsWithHttps (std::string_view text) noexcept
{
    return text.substr (0, 8) == "https://";
}

} // namespace zorvaplugins::zorvamanager::core
