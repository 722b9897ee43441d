#pragma once

#include "api/ReleaseCatalogue.h"

#include <cstdint>
#include <string>
#include <vector>

// The catalogue's objects while their members are being read, and the format's checks that
// turn them into records once they end. Used by ReleaseCatalogueParser alone. Any thread; a
// draft belongs to one parse.
namespace zorvaplugins::zorvamanager::api
{

// A member of one of the catalogue's objects, as far as the checks need it: of which kind its
// value was, and the value where a check needs it. A member given twice holds its last value.
struct DraftMember
{
    enum class Kind : std::uint8_t
    {
        absent,
        null,
        string,
        boolean,
        unsignedInteger, // what the JSON reader takes for digits alone: never 1.0, 1e3 or -0
        signedInteger,   // a negative integer, or -0: never a count nor the schema
        other            // any other number, an object or an array
    };

    Kind kind = Kind::absent;
    std::string text;                // string
    bool flag = false;               // boolean
    std::uint64_t unsignedValue = 0; // unsignedInteger
};

// An array member whose elements become records. After its first faulty element no further
// element is read into a record: that element's violation is the one the list reports.
template <typename Record>
struct DraftList
{
    enum class Kind : std::uint8_t
    {
        absent,
        array,
        other // any value but an array
    };

    Kind kind = Kind::absent;
    std::vector<Record> records;
    std::string error; // the first faulty element's violation

    // The member given (again) as a value of this kind: what an earlier value held is gone.
    void restart (Kind newKind)
    {
        kind = newKind;
        records.clear();
        error.clear();
    }

    bool takesMore() const { return error.empty(); }

    // Keeps the first violation only.
    void fail (std::string violation)
    {
        if (error.empty())
            error = std::move (violation);
    }
};

struct ArtifactDraft
{
    DraftMember id, platform, format, packageType, downloadUrl, fileName, sha256, sizeBytes;

    // The member called `key`, or nullptr for one the format does not know.
    DraftMember* member (const std::string& key);

    // Checks the artifact and adds its record to `artifacts`, or its violation. An element that
    // is no object fails as an empty one does.
    void finishInto (DraftList<ArtifactInfo>& artifacts);
};

struct ReleaseDraft
{
    DraftMember version, status, publishedAt, changelogTitle, changelogText, changelogUrl;
    DraftList<ArtifactInfo> artifacts;

    DraftMember* member (const std::string& key);
    void finishInto (DraftList<ReleaseInfo>& releases);
};

struct ProductDraft
{
    DraftMember slug, name, tagline, subtitle, isFree, latestVersion, productPageUrl, supportUrl, manualUrl, quickStartUrl;
    DraftList<std::string> capabilities;
    DraftList<ReleaseInfo> releases;

    DraftMember* member (const std::string& key);
    void finishInto (DraftList<ProductReleaseInfo>& products);
};

struct CatalogueDraft
{
    bool isObject = false; // the document's value
    DraftMember schema, generatedAt;
    DraftList<ProductReleaseInfo> products;

    DraftMember* member (const std::string& key);

    // The document's own checks, then its first faulty product's violation: every product on
    // success, else only the message.
    CatalogueParseResult finish();
};

} // namespace zorvaplugins::zorvamanager::api
