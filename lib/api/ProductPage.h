#pragma once

#include <string>
#include <string_view>

namespace zorvaplugins::zorvamanager::api
{

// Finds a product's picture on its web page: the quoted content value of the first tag around
// an "og:image" (a property name starting with it counts too) that begins with "https://"
// (the bare scheme counts too; the fetcher then refuses it). A tag runs from the last '<' at
// or before the "og:image" to the first '>' after it; inside it the first "content", the
// first '=' after that, and a value in single or double quotes. The page is raw bytes: no
// entity decoding, no relative URLs, case-sensitive. Empty when there is none.
//
// Linear in the page's length, whatever its shape: every search moves forward only and is
// remembered, so a page made of millions of half tags costs no more than reading it once.
// Pure; any thread.
std::string findOgImageUrl (std::string_view page);

} // namespace zorvaplugins::zorvamanager::api
