// A product page as the maker's web site serves it: any bytes. The picture address found is
// an HTTPS address taken from the page, and on pages small enough for the quadratic literal
// reading of the rules it is the one that reading finds.
#include "FuzzSupport.h"

#include "api/OgImageReference.h"
#include "api/ProductPage.h"

#include <string_view>

namespace
{

// The literal reading costs up to size squared; beyond a few KiB it would only slow the run.
constexpr std::size_t maxReferenceSize = 8192;

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const std::string_view page (reinterpret_cast<const char*> (data), size);
    const auto url = zorvaplugins::zorvamanager::api::findOgImageUrl (page);

    zorvafuzz::check (url.empty() || url.rfind ("https://", 0) == 0, "a picture address that is not HTTPS", url);
    zorvafuzz::check (page.find (url) != std::string_view::npos, "a picture address that is not in the page", url);

    if (size <= maxReferenceSize)
        zorvafuzz::check (url == zorvatest::referenceOgImageSearch (page), "differs from the literal reading of the rules", url);

    return 0;
}
