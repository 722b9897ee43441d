#pragma once

#include "products/ProductRow.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::cli
{

// The rows named on the command line.
struct NameMatch
{
    bool ok = false;
    std::string error;                // one line per name that failed, each naming the candidates
    std::vector<std::size_t> indices; // the rows, in the order named, each once
};

// Finds the row of each name: a product whose slug or name equals it, ignoring ASCII case;
// when there is none, one whose slug or name is equal when both are reduced to lower-case
// letters and digits ("prism eq" finds "Prism EQ"). A name that finds no product (the error
// lists products whose key contains the name's key, if any) or more than one (the error lists
// them) fails the whole match. Pure; any thread.
NameMatch matchProductNames (const std::vector<products::ProductRow>& rows, const std::vector<std::string>& names);

} // namespace zorvaplugins::zorvamanager::cli
