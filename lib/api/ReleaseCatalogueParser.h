#pragma once

#include "api/ReleaseCatalogue.h"

#include <atomic>
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
    //
    // When `cancel` becomes true the parse stops within milliseconds with the error
    // "cancelled": a hostile document of the largest size a load accepts (many millions of tiny
    // values) takes many seconds to parse, and a program that is closing must not wait for it.
    static CatalogueParseResult parse (std::string_view text, const std::atomic<bool>* cancel = nullptr) noexcept;
};

} // namespace zorvaplugins::zorvamanager::api
