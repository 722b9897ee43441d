#include "api/CatalogueDrafts.h"

#include "api/CatalogueEndpoint.h"
#include "core/Failure.h"
#include "core/HttpsUrl.h"
#include "crypto/Sha256.h"

#include <cstddef>
#include <type_traits>
#include <utility>

namespace zorvaplugins::zorvamanager::api
{

namespace
{

using Kind = DraftMember::Kind;

// The first violation of an object's checks, which run in the format's order; every check
// after it is skipped. A value is taken out of its draft only by a check that passes.
class Checks
{
public:
    void require (DraftMember& member, const char* name, std::string& value)
    {
        if (! error.empty())
            return;

        if (member.kind != Kind::string)
            error = std::string ("missing or invalid string field: ") + name;
        else
            value = std::move (member.text);
    }

    // Absent and null give an empty text.
    void optional (DraftMember& member, const char* name, std::string& value)
    {
        if (! error.empty() || member.kind == Kind::absent || member.kind == Kind::null)
            return;

        if (member.kind != Kind::string)
            error = std::string ("invalid string field: ") + name;
        else
            value = std::move (member.text);
    }

    void expect (bool holds, const char* violation)
    {
        if (error.empty() && ! holds)
            error = violation;
    }

    // A list's first faulty element, if any.
    template <typename Record>
    void expectAllOf (DraftList<Record>& list)
    {
        if (error.empty())
            error = std::move (list.error);
    }

    bool passed() const { return error.empty(); }

    std::string error;
};

template <typename Draft>
struct Field
{
    const char* name;
    DraftMember Draft::*member;
};

template <typename Draft, std::size_t count>
DraftMember* find (Draft& draft, const Field<Draft> (&fields)[count], const std::string& name)
{
    for (const auto& field : fields)
        if (name == field.name)
            return &(draft.*field.member);

    return nullptr;
}

const Field<ArtifactDraft> artifactFields[] {
    { "id", &ArtifactDraft::id },
    { "platform", &ArtifactDraft::platform },
    { "format", &ArtifactDraft::format },
    { "packageType", &ArtifactDraft::packageType },
    { "downloadUrl", &ArtifactDraft::downloadUrl },
    { "fileName", &ArtifactDraft::fileName },
    { "sha256", &ArtifactDraft::sha256 },
    { "sizeBytes", &ArtifactDraft::sizeBytes },
};

const Field<ReleaseDraft> releaseFields[] {
    { "version", &ReleaseDraft::version },
    { "status", &ReleaseDraft::status },
    { "publishedAt", &ReleaseDraft::publishedAt },
    { "changelogTitle", &ReleaseDraft::changelogTitle },
    { "changelogText", &ReleaseDraft::changelogText },
    { "changelogUrl", &ReleaseDraft::changelogUrl },
};

const Field<ProductDraft> productFields[] {
    { "slug", &ProductDraft::slug },
    { "name", &ProductDraft::name },
    { "tagline", &ProductDraft::tagline },
    { "subtitle", &ProductDraft::subtitle },
    { "isFree", &ProductDraft::isFree },
    { "latestVersion", &ProductDraft::latestVersion },
    { "productPageUrl", &ProductDraft::productPageUrl },
    { "supportUrl", &ProductDraft::supportUrl },
    { "manualUrl", &ProductDraft::manualUrl },
    { "quickStartUrl", &ProductDraft::quickStartUrl },
};

const Field<CatalogueDraft> catalogueFields[] {
    { "schema", &CatalogueDraft::schema },
    { "generatedAt", &CatalogueDraft::generatedAt },
};

// The record into its list when its checks passed, else its violation.
template <typename Record>
void addOrFail (Checks& checks, Record&& record, DraftList<std::decay_t<Record>>& list)
{
    if (checks.passed())
        list.records.push_back (std::forward<Record> (record));
    else
        list.fail (std::move (checks.error));
}

} // namespace

DraftMember* ArtifactDraft::member (const std::string& key)
{
    return find (*this, artifactFields, key);
}

DraftMember* ReleaseDraft::member (const std::string& key)
{
    return find (*this, releaseFields, key);
}

DraftMember* ProductDraft::member (const std::string& key)
{
    return find (*this, productFields, key);
}

DraftMember* CatalogueDraft::member (const std::string& key)
{
    return find (*this, catalogueFields, key);
}

void ArtifactDraft::finishInto (DraftList<ArtifactInfo>& artifacts)
{
    ArtifactInfo artifact;
    Checks checks;
    checks.require (id, "id", artifact.id);
    checks.require (platform, "platform", artifact.platform);
    checks.require (format, "format", artifact.format);
    checks.require (packageType, "packageType", artifact.packageType);
    checks.require (downloadUrl, "downloadUrl", artifact.downloadUrl);
    checks.require (fileName, "fileName", artifact.fileName);
    checks.require (sha256, "sha256", artifact.sha256);
    checks.expect (sizeBytes.kind == Kind::unsignedInteger, "missing or invalid sizeBytes");
    artifact.sizeBytes = sizeBytes.unsignedValue;
    checks.expect (artifact.platform == "linux-x64" || artifact.platform == "windows-x64", "unsupported artifact platform");
    checks.expect (artifact.format == "vst3" || artifact.format == "clap", "unsupported artifact format");
    checks.expect (artifact.packageType == "archive", "unsupported packageType");
    checks.expect (core::beginsWithHttps (artifact.downloadUrl), "downloadUrl must be HTTPS");
    checks.expect (crypto::Sha256::isLowercaseSha256 (artifact.sha256), "invalid sha256");
    checks.expect (artifact.sizeBytes != 0, "sizeBytes must be > 0");
    addOrFail (checks, std::move (artifact), artifacts);
}

void ReleaseDraft::finishInto (DraftList<ReleaseInfo>& releases)
{
    ReleaseInfo release;
    Checks checks;
    checks.require (version, "version", release.version);
    checks.require (status, "status", release.status);
    checks.require (publishedAt, "publishedAt", release.publishedAt);
    checks.optional (changelogTitle, "changelogTitle", release.changelogTitle);
    checks.optional (changelogText, "changelogText", release.changelogText);
    checks.optional (changelogUrl, "changelogUrl", release.changelogUrl);
    checks.expect (artifacts.kind == DraftList<ArtifactInfo>::Kind::array, "missing artifacts");
    checks.expectAllOf (artifacts);

    if (checks.passed())
        release.artifacts = std::move (artifacts.records);

    addOrFail (checks, std::move (release), releases);
}

void ProductDraft::finishInto (DraftList<ProductReleaseInfo>& products)
{
    ProductReleaseInfo product;
    Checks checks;
    checks.require (slug, "slug", product.slug);
    checks.require (name, "name", product.name);
    checks.optional (tagline, "tagline", product.tagline);
    checks.optional (subtitle, "subtitle", product.subtitle);
    checks.expect (isFree.kind == Kind::absent || isFree.kind == Kind::boolean, "invalid isFree");
    product.isFree = isFree.kind == Kind::boolean && isFree.flag;
    checks.require (latestVersion, "latestVersion", product.latestVersion);
    checks.require (productPageUrl, "productPageUrl", product.productPageUrl);
    checks.require (supportUrl, "supportUrl", product.supportUrl);
    checks.optional (manualUrl, "manualUrl", product.manualUrl);
    checks.optional (quickStartUrl, "quickStartUrl", product.quickStartUrl);
    checks.expect (core::beginsWithHttps (product.productPageUrl) && core::beginsWithHttps (product.supportUrl),
                   "product/support URLs must be HTTPS");
    checks.expect (product.manualUrl.empty() || core::beginsWithHttps (product.manualUrl), "manualUrl must be HTTPS");
    checks.expect (product.quickStartUrl.empty() || core::beginsWithHttps (product.quickStartUrl), "quickStartUrl must be HTTPS");
    checks.expect (capabilities.kind != DraftList<std::string>::Kind::other, "invalid capabilities");
    checks.expectAllOf (capabilities);
    checks.expect (releases.kind == DraftList<ReleaseInfo>::Kind::array, "missing releases");
    checks.expectAllOf (releases);

    if (checks.passed())
    {
        product.capabilities = std::move (capabilities.records);
        product.releases = std::move (releases.records);
    }

    addOrFail (checks, std::move (product), products);
}

CatalogueParseResult CatalogueDraft::finish()
{
    CatalogueParseResult result;
    Checks checks;
    const auto isInteger = schema.kind == Kind::unsignedInteger || schema.kind == Kind::signedInteger;
    checks.expect (isObject && isInteger, "missing schema");

    if (checks.passed() && ! (schema.kind == Kind::unsignedInteger && schema.unsignedValue == 1))
        checks.error = "This ZorvaManager version does not understand the current release API. "
                       "Please download the latest ZorvaManager from " +
            CatalogueEndpoint::host() + ".";

    checks.require (generatedAt, "generatedAt", result.generatedAt);
    checks.expect (products.kind == DraftList<ProductReleaseInfo>::Kind::array, "missing products");
    checks.expectAllOf (products);

    if (! checks.passed())
        return core::failure<CatalogueParseResult> (checks.error.c_str());

    result.ok = true;
    result.schema = 1;
    result.products = std::move (products.records);
    return result;
}

} // namespace zorvaplugins::zorvamanager::api
