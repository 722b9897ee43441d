#pragma once

#include <string>

namespace zorvaplugins::zorvamanager::core
{

// The comparison key of product names and slugs: the ASCII letters and digits of the text, in
// order, lower-cased; every other byte (spaces, punctuation, each byte of a multi-byte UTF-8
// character) is dropped. "Echo Delay 2" gives "echodelay2", "Ré-Verb" gives "rverb". It joins
// catalogue products, scanned bundles, receipts and pictures. Pure; any thread.
std::string normaliseName (std::string text);

} // namespace zorvaplugins::zorvamanager::core
