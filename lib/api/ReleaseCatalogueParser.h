#pragma once

#include "api/ReleaseCatalogue.h"

#include <string_view>

namespace zorvaplugins::zorvamanager::api
{

// Strict, all-or-nothing reader of the release catalogue (a JSON document of schema 1).
// Any thread; reentrant.
class ReleaseCatalogueParser
{
public:
    ReleaseCatalogueParser() = delete;

    // Validates and converts the whole document. Returns every product in catalogue order,
    // or ok false with the first violation (or the JSON library's parse error) in `error`.
    // Never throws, not even when memory runs out.
    static CatalogueParseResult parse (std::string_view text) noexcept;
};

} // namespace zorvaplugins::zorvamanager::api
