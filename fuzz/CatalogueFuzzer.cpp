// The release catalogue as the maker's server sends it: any bytes. The parser never throws,
// its result is all or nothing, and what it accepts holds to the records' documented values.
#include "FuzzSupport.h"

#include "api/ReleaseCatalogueParser.h"

#include <string_view>

namespace
{

using namespace zorvaplugins::zorvamanager::api;

bool isHttps (const std::string& url)
{
    return url.rfind ("https://", 0) == 0;
}

bool isLowercaseSha256 (const std::string& text)
{
    if (text.size() != 64)
        return false;

    for (const auto c : text)
        if (! ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;

    return true;
}

void checkArtifact (const ArtifactInfo& artifact)
{
    zorvafuzz::check (
        artifact.platform == "linux-x64" || artifact.platform == "windows-x64", "unknown platform accepted", artifact.platform);
    zorvafuzz::check (artifact.format == "vst3" || artifact.format == "clap", "unknown format accepted", artifact.format);
    zorvafuzz::check (artifact.packageType == "archive", "unknown packageType accepted", artifact.packageType);
    zorvafuzz::check (isHttps (artifact.downloadUrl), "downloadUrl that is not HTTPS accepted", artifact.downloadUrl);
    zorvafuzz::check (isLowercaseSha256 (artifact.sha256), "malformed sha256 accepted", artifact.sha256);
    zorvafuzz::check (artifact.sizeBytes > 0, "zero sizeBytes accepted");
}

void checkProduct (const ProductReleaseInfo& product)
{
    zorvafuzz::check (isHttps (product.productPageUrl), "productPageUrl that is not HTTPS accepted", product.productPageUrl);
    zorvafuzz::check (isHttps (product.supportUrl), "supportUrl that is not HTTPS accepted", product.supportUrl);
    zorvafuzz::check (product.manualUrl.empty() || isHttps (product.manualUrl), "manualUrl that is not HTTPS accepted", product.manualUrl);
    zorvafuzz::check (product.quickStartUrl.empty() || isHttps (product.quickStartUrl),
                      "quickStartUrl that is not HTTPS accepted",
                      product.quickStartUrl);

    for (const auto& release : product.releases)
        for (const auto& artifact : release.artifacts)
            checkArtifact (artifact);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const std::string_view text (reinterpret_cast<const char*> (data), size);
    const auto result = ReleaseCatalogueParser::parse (text);

    if (! result.ok)
    {
        zorvafuzz::check (! result.error.empty(), "a refused catalogue has no error");
        zorvafuzz::check (result.products.empty(), "a refused catalogue keeps products");
        return 0;
    }

    zorvafuzz::check (result.error.empty(), "a parsed catalogue carries an error", result.error);
    zorvafuzz::check (result.schema == 1, "a parsed catalogue of another schema");
    // The JSON library would stop at a raw NUL; no JSON text holds one.
    zorvafuzz::check (text.find ('\0') == std::string_view::npos, "a catalogue with a raw NUL byte accepted");

    for (const auto& product : result.products)
        checkProduct (product);

    return 0;
}
