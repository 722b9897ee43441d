#pragma once

#include <string>
#include <string_view>

// Finds the product picture on a product web page: the content value of the first tag that
// mentions "og:image" and carries a quoted "https://" value. The page is searched as raw
// bytes, case-sensitively, with no entity decoding. Returns an empty string when there is
// none. Pure; any thread.
std::string findOgImageUrl (std::string_view page);
