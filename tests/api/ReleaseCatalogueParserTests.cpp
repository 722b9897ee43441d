#include "api/CatalogueEndpoint.h"
#include "api/ReleaseCatalogueParser.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace
{

using namespace zorvaplugins::zorvamanager::api;
using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string digestA (64, 'a');
const std::string digestB = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

Json validArtifact (const std::string& id, const std::string& platform, const std::string& format)
{
    return {
        { "id", id },
        { "platform", platform },
        { "format", format },
        { "packageType", "archive" },
        { "downloadUrl", "https://zorvaplugins.com/downloads/" + id + ".tar.gz" },
        { "fileName", id + ".tar.gz" },
        { "sha256", digestA },
        { "sizeBytes", 1234 },
    };
}

// A schema-1 catalogue with one fully populated product, one release and two artifacts.
Json validCatalogue()
{
    Json release = {
        { "version", "1.2.0" },
        { "status", "stable" },
        { "publishedAt", "2024-05-01T10:00:00Z" },
        { "changelogTitle", "Faster" },
        { "changelogText", "Lower latency." },
        { "changelogUrl", "http://zorvaplugins.com/echo/changes" },
        { "artifacts",
          Json::array (
              { validArtifact ("echo-linux-vst3", "linux-x64", "vst3"), validArtifact ("echo-win-clap", "windows-x64", "clap") }) },
    };

    Json product = {
        { "slug", "echo-delay" },
        { "name", "Echo Delay" },
        { "tagline", "Tape echo" },
        { "subtitle", "Delay" },
        { "isFree", true },
        { "latestVersion", "1.2.0" },
        { "productPageUrl", "https://zorvaplugins.com/echo" },
        { "supportUrl", "https://zorvaplugins.com/support" },
        { "manualUrl", "https://zorvaplugins.com/echo/manual" },
        { "quickStartUrl", "https://zorvaplugins.com/echo/start" },
        { "capabilities", Json::array ({ "vst3", "clap", "free" }) },
        { "releases", Json::array ({ release }) },
    };

    return {
        { "schema", 1 },
        { "generatedAt", "2024-05-02T08:00:00Z" },
        { "products", Json::array ({ product }) },
    };
}

std::string schemaMessage()
{
    return "This ZorvaManager version does not understand the current release API. "
           "Please download the latest ZorvaManager from " +
        CatalogueEndpoint::host() + ".";
}

void expectFailure (const CatalogueParseResult& result, const std::string& error)
{
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, error);
    EXPECT_EQ (result.schema, 0);
    EXPECT_TRUE (result.generatedAt.empty());
    EXPECT_TRUE (result.products.empty());
}

bool isJsonLibraryError (const std::string& error)
{
    return error.rfind ("[json.exception.", 0) == 0;
}

TEST (ReleaseCatalogueParser, ConvertsEveryFieldOfAValidCatalogue)
{
    const auto result = ReleaseCatalogueParser::parse (validCatalogue().dump());

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.schema, 1);
    EXPECT_EQ (result.generatedAt, "2024-05-02T08:00:00Z");
    EXPECT_TRUE (result.error.empty());
    ASSERT_EQ (result.products.size(), 1u);

    const auto& product = result.products[0];
    EXPECT_EQ (product.slug, "echo-delay");
    EXPECT_EQ (product.name, "Echo Delay");
    EXPECT_EQ (product.tagline, "Tape echo");
    EXPECT_EQ (product.subtitle, "Delay");
    EXPECT_TRUE (product.isFree);
    EXPECT_EQ (product.latestVersion, "1.2.0");
    EXPECT_EQ (product.productPageUrl, "https://zorvaplugins.com/echo");
    EXPECT_EQ (product.supportUrl, "https://zorvaplugins.com/support");
    EXPECT_EQ (product.manualUrl, "https://zorvaplugins.com/echo/manual");
    EXPECT_EQ (product.quickStartUrl, "https://zorvaplugins.com/echo/start");
    EXPECT_EQ (product.capabilities, (std::vector<std::string> { "vst3", "clap", "free" }));
    ASSERT_EQ (product.releases.size(), 1u);

    const auto& release = product.releases[0];
    EXPECT_EQ (release.version, "1.2.0");
    EXPECT_EQ (release.status, "stable");
    EXPECT_EQ (release.publishedAt, "2024-05-01T10:00:00Z");
    EXPECT_EQ (release.changelogTitle, "Faster");
    EXPECT_EQ (release.changelogText, "Lower latency.");
    EXPECT_EQ (release.changelogUrl, "http://zorvaplugins.com/echo/changes");
    ASSERT_EQ (release.artifacts.size(), 2u);

    const auto& artifact = release.artifacts[0];
    EXPECT_EQ (artifact.id, "echo-linux-vst3");
    EXPECT_EQ (artifact.platform, "linux-x64");
    EXPECT_EQ (artifact.format, "vst3");
    EXPECT_EQ (artifact.packageType, "archive");
    EXPECT_EQ (artifact.downloadUrl, "https://zorvaplugins.com/downloads/echo-linux-vst3.tar.gz");
    EXPECT_EQ (artifact.fileName, "echo-linux-vst3.tar.gz");
    EXPECT_EQ (artifact.sha256, digestA);
    EXPECT_EQ (artifact.sizeBytes, 1234u);

    // A Windows artifact is valid and kept; choosing one is the install workflow's business.
    EXPECT_EQ (release.artifacts[1].platform, "windows-x64");
    EXPECT_EQ (release.artifacts[1].format, "clap");
}

TEST (ReleaseCatalogueParser, DecodesStringsAndIgnoresUnknownMembers)
{
    auto document = validCatalogue();
    document["extra"] = { { "nested", 1 } };
    document["products"][0]["name"] = "R\u00e9-Verb \"Pro\"";
    document["products"][0]["future"] = Json::array ({ 1, 2 });
    document["products"][0]["releases"][0]["notes"] = nullptr;
    document["products"][0]["releases"][0]["artifacts"][0]["mirror"] = "ftp://x";

    const auto result = ReleaseCatalogueParser::parse (document.dump());

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.products[0].name, "R\xc3\xa9-Verb \"Pro\"");
}

TEST (ReleaseCatalogueParser, AcceptsLeadingByteOrderMark)
{
    const auto result = ReleaseCatalogueParser::parse ("\xEF\xBB\xBF" + validCatalogue().dump (2));

    EXPECT_TRUE (result.ok) << result.error;
}

TEST (ReleaseCatalogueParser, OptionalMembersDefaultWhenAbsentOrNull)
{
    auto document = validCatalogue();
    auto& product = document["products"][0];
    product.erase ("isFree");
    product.erase ("capabilities");
    product.erase ("manualUrl");
    product["tagline"] = nullptr;
    product["subtitle"] = nullptr;
    product["quickStartUrl"] = nullptr;
    auto& release = product["releases"][0];
    release.erase ("changelogTitle");
    release["changelogText"] = nullptr;
    release["changelogUrl"] = nullptr;

    const auto result = ReleaseCatalogueParser::parse (document.dump());

    ASSERT_TRUE (result.ok) << result.error;
    const auto& parsed = result.products[0];
    EXPECT_FALSE (parsed.isFree);
    EXPECT_TRUE (parsed.capabilities.empty());
    EXPECT_TRUE (parsed.tagline.empty());
    EXPECT_TRUE (parsed.subtitle.empty());
    EXPECT_TRUE (parsed.manualUrl.empty());
    EXPECT_TRUE (parsed.quickStartUrl.empty());
    EXPECT_TRUE (parsed.releases[0].changelogTitle.empty());
    EXPECT_TRUE (parsed.releases[0].changelogText.empty());
    EXPECT_TRUE (parsed.releases[0].changelogUrl.empty());
}

TEST (ReleaseCatalogueParser, KeepsDocumentOrderEverywhere)
{
    auto document = validCatalogue();
    auto second = document["products"][0];
    second["slug"] = "a-product";
    document["products"][0]["slug"] = "b-product";
    document["products"].push_back (second);

    auto& product = document["products"][0];
    product["capabilities"] = Json::array ({ "zeta", "alpha", "zeta" });
    auto laterRelease = product["releases"][0];
    laterRelease["version"] = "0.9.0";
    product["releases"].push_back (laterRelease);
    product["releases"][0]["artifacts"] =
        Json::array ({ validArtifact ("b", "linux-x64", "vst3"), validArtifact ("a", "linux-x64", "vst3") });

    const auto result = ReleaseCatalogueParser::parse (document.dump());

    ASSERT_TRUE (result.ok) << result.error;
    ASSERT_EQ (result.products.size(), 2u);
    EXPECT_EQ (result.products[0].slug, "b-product");
    EXPECT_EQ (result.products[1].slug, "a-product");

    const auto& first = result.products[0];
    EXPECT_EQ (first.capabilities, (std::vector<std::string> { "zeta", "alpha", "zeta" }));
    ASSERT_EQ (first.releases.size(), 2u);
    EXPECT_EQ (first.releases[0].version, "1.2.0");
    EXPECT_EQ (first.releases[1].version, "0.9.0");
    ASSERT_EQ (first.releases[0].artifacts.size(), 2u);
    EXPECT_EQ (first.releases[0].artifacts[0].id, "b");
    EXPECT_EQ (first.releases[0].artifacts[1].id, "a");
}

// Documents given as raw text: syntax and top-level problems.
struct TextCase
{
    const char* name;
    std::string text;
    std::string expected; // "json" for the library's own parse error
};

TEST (ReleaseCatalogueParser, RejectsTopLevelProblems)
{
    const std::string tail = R"(, "generatedAt": "now", "products": []})";
    const std::vector<TextCase> cases {
        { "empty text", "", "json" },
        { "not JSON", "catalogue", "json" },
        { "trailing text", R"({"schema": 1, "generatedAt": "now", "products": []} x)", "json" },
        { "two values", "{} {}", "json" },
        { "trailing comma", R"({"schema": 1,})", "json" },
        { "block comment", "/* c */ {}", "json" },
        { "line comment", "{} // c", "json" },
        { "single quotes", "{'schema': 1}", "json" },
        { "invalid UTF-8 in a string", "{\"schema\": 1, \"generatedAt\": \"\xff\"}", "json" },
        { "NUL after the document", R"({"schema": 1, "generatedAt": "now", "products": []})" + std::string (1, '\0') + "junk", "json" },
        { "NUL inside a string", "{\"schema\": 1, \"generatedAt\": \"a" + std::string (1, '\0') + "\", \"products\": []}", "json" },
        { "NUL alone", std::string (1, '\0'), "json" },
        { "array root", "[]", "missing schema" },
        { "string root", "\"schema\"", "missing schema" },
        { "empty object", "{}", "missing schema" },
        { "schema as string", R"({"schema": "1")" + tail, "missing schema" },
        { "schema fractional", R"({"schema": 1.0)" + tail, "missing schema" },
        { "schema with exponent", R"({"schema": 1e0)" + tail, "missing schema" },
        { "schema true", R"({"schema": true)" + tail, "missing schema" },
        { "schema null", R"({"schema": null)" + tail, "missing schema" },
        { "schema array", R"({"schema": [1])" + tail, "missing schema" },
        { "wrong-case member", R"({"Schema": 1)" + tail, "missing schema" },
        { "schema 2", R"({"schema": 2)" + tail, schemaMessage() },
        { "schema 0", R"({"schema": 0)" + tail, schemaMessage() },
        { "schema -1", R"({"schema": -1)" + tail, schemaMessage() },
        { "schema largest unsigned", R"({"schema": 18446744073709551615)" + tail, schemaMessage() },
        { "schema before generatedAt", R"({"schema": 2})", schemaMessage() },
        { "generatedAt missing", R"({"schema": 1, "products": []})", "missing or invalid string field: generatedAt" },
        { "generatedAt number", R"({"schema": 1, "generatedAt": 5, "products": []})", "missing or invalid string field: generatedAt" },
        { "generatedAt null", R"({"schema": 1, "generatedAt": null, "products": []})", "missing or invalid string field: generatedAt" },
        { "products missing", R"({"schema": 1, "generatedAt": "now"})", "missing products" },
        { "products null", R"({"schema": 1, "generatedAt": "now", "products": null})", "missing products" },
        { "products object", R"({"schema": 1, "generatedAt": "now", "products": {}})", "missing products" },
        { "product not an object", R"({"schema": 1, "generatedAt": "now", "products": [1]})", "missing or invalid string field: slug" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto result = ReleaseCatalogueParser::parse (c.text);

        if (c.expected == "json")
        {
            EXPECT_FALSE (result.ok);
            EXPECT_TRUE (isJsonLibraryError (result.error)) << result.error;
            EXPECT_NE (result.error.find ("parse error"), std::string::npos) << result.error;
            EXPECT_TRUE (result.products.empty());
        }
        else
        {
            expectFailure (result, c.expected);
        }
    }
}

TEST (ReleaseCatalogueParser, EmptyProductListIsACompleteCatalogue)
{
    const auto result = ReleaseCatalogueParser::parse (R"({"schema": 1, "generatedAt": "now", "products": []})");

    ASSERT_TRUE (result.ok) << result.error;
    EXPECT_EQ (result.schema, 1);
    EXPECT_EQ (result.generatedAt, "now");
    EXPECT_TRUE (result.products.empty());
    EXPECT_TRUE (result.error.empty());
}

// One member of the valid catalogue replaced by raw JSON text (or removed), and the outcome.
struct MemberCase
{
    std::string pointer;
    std::optional<std::string> rawValue; // nullopt removes the member
    std::string expected;                // empty when the document stays valid
};

std::string withMember (const MemberCase& c)
{
    auto document = validCatalogue();
    const Json::json_pointer pointer (c.pointer);

    if (! c.rawValue)
    {
        document[pointer.parent_pointer()].erase (pointer.back());
        return document.dump();
    }

    // A placeholder keeps the exact spelling of numbers such as 1e3 or -0 in the text.
    document[pointer] = "@@raw@@";
    auto text = document.dump();
    const std::string placeholder = "\"@@raw@@\"";
    text.replace (text.find (placeholder), placeholder.size(), *c.rawValue);
    return text;
}

void runMemberCases (const std::vector<MemberCase>& cases)
{
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.pointer + " = " + c.rawValue.value_or ("(removed)"));
        const auto result = ReleaseCatalogueParser::parse (withMember (c));

        if (c.expected.empty())
            EXPECT_TRUE (result.ok) << result.error;
        else
            expectFailure (result, c.expected);
    }
}

TEST (ReleaseCatalogueParser, ValidatesProductMembers)
{
    const std::string product = "/products/0/";
    const std::string missing = "missing or invalid string field: ";
    const std::string invalid = "invalid string field: ";

    runMemberCases ({
        { product + "slug", std::nullopt, missing + "slug" },
        { product + "slug", "7", missing + "slug" },
        { product + "slug", R"("")", "" },
        { product + "name", "null", missing + "name" },
        { product + "tagline", "null", "" },
        { product + "tagline", "5", invalid + "tagline" },
        { product + "subtitle", "[]", invalid + "subtitle" },
        { product + "isFree", "null", "invalid isFree" },
        { product + "isFree", R"("true")", "invalid isFree" },
        { product + "isFree", "1", "invalid isFree" },
        { product + "isFree", "false", "" },
        { product + "latestVersion", std::nullopt, missing + "latestVersion" },
        { product + "productPageUrl", std::nullopt, missing + "productPageUrl" },
        { product + "productPageUrl", R"("http://zorvaplugins.com/echo")", "product/support URLs must be HTTPS" },
        { product + "productPageUrl", R"("https://")", "" },
        { product + "productPageUrl", R"("https:/")", "product/support URLs must be HTTPS" },
        { product + "supportUrl", R"("")", "product/support URLs must be HTTPS" },
        { product + "supportUrl", R"("HTTPS://zorvaplugins.com")", "product/support URLs must be HTTPS" },
        { product + "supportUrl", R"(" https://zorvaplugins.com")", "product/support URLs must be HTTPS" },
        { product + "manualUrl", R"("")", "" },
        { product + "manualUrl", "null", "" },
        { product + "manualUrl", R"("http://zorvaplugins.com/manual")", "manualUrl must be HTTPS" },
        { product + "manualUrl", "3", invalid + "manualUrl" },
        { product + "quickStartUrl", R"("ftp://zorvaplugins.com/start")", "quickStartUrl must be HTTPS" },
        { product + "quickStartUrl", R"("")", "" },
        { product + "capabilities", "null", "invalid capabilities" },
        { product + "capabilities", R"("vst3")", "invalid capabilities" },
        { product + "capabilities", R"({"vst3": true})", "invalid capabilities" },
        { product + "capabilities", R"(["vst3", 1])", "invalid capability" },
        { product + "capabilities", R"(["vst3", null])", "invalid capability" },
        { product + "capabilities", "[]", "" },
        { product + "releases", std::nullopt, "missing releases" },
        { product + "releases", "null", "missing releases" },
        { product + "releases", "{}", "missing releases" },
        { product + "releases", "[]", "" },
    });
}

TEST (ReleaseCatalogueParser, ValidatesReleaseMembers)
{
    const std::string release = "/products/0/releases/0/";
    const std::string missing = "missing or invalid string field: ";
    const std::string invalid = "invalid string field: ";

    runMemberCases ({
        { "/products/0/releases/0", R"("1.0.0")", missing + "version" },
        { release + "version", std::nullopt, missing + "version" },
        { release + "status", "1", missing + "status" },
        { release + "publishedAt", "null", missing + "publishedAt" },
        { release + "changelogTitle", "false", invalid + "changelogTitle" },
        { release + "changelogText", "1", invalid + "changelogText" },
        { release + "changelogUrl", "{}", invalid + "changelogUrl" },
        { release + "changelogUrl", R"("not a url")", "" },
        { release + "artifacts", std::nullopt, "missing artifacts" },
        { release + "artifacts", "null", "missing artifacts" },
        { release + "artifacts", "{}", "missing artifacts" },
        { release + "artifacts", "[]", "" },
    });
}

TEST (ReleaseCatalogueParser, ValidatesArtifactMembers)
{
    const std::string artifact = "/products/0/releases/0/artifacts/0/";
    const std::string missing = "missing or invalid string field: ";
    const std::string sizeMessage = "missing or invalid sizeBytes";

    runMemberCases ({
        { "/products/0/releases/0/artifacts/0", "[]", missing + "id" },
        { artifact + "id", std::nullopt, missing + "id" },
        { artifact + "platform", "1", missing + "platform" },
        { artifact + "format", "null", missing + "format" },
        { artifact + "packageType", std::nullopt, missing + "packageType" },
        { artifact + "downloadUrl", "true", missing + "downloadUrl" },
        { artifact + "fileName", std::nullopt, missing + "fileName" },
        { artifact + "fileName", R"("")", "" },
        { artifact + "sha256", std::nullopt, missing + "sha256" },
        { artifact + "sizeBytes", std::nullopt, sizeMessage },
        { artifact + "sizeBytes", "null", sizeMessage },
        { artifact + "sizeBytes", "-1", sizeMessage },
        { artifact + "sizeBytes", "-0", sizeMessage },
        { artifact + "sizeBytes", "1.5", sizeMessage },
        { artifact + "sizeBytes", "10.0", sizeMessage },
        { artifact + "sizeBytes", "1e3", sizeMessage },
        { artifact + "sizeBytes", R"("10")", sizeMessage },
        { artifact + "sizeBytes", "18446744073709551616", sizeMessage },
        { artifact + "sizeBytes", "18446744073709551615", "" },
        { artifact + "sizeBytes", "0", "sizeBytes must be > 0" },
        { artifact + "platform", R"("Linux-x64")", "unsupported artifact platform" },
        { artifact + "platform", R"("macos-arm64")", "unsupported artifact platform" },
        { artifact + "platform", R"("linux-x64 ")", "unsupported artifact platform" },
        { artifact + "format", R"("VST3")", "unsupported artifact format" },
        { artifact + "format", R"("au")", "unsupported artifact format" },
        { artifact + "packageType", R"("Archive")", "unsupported packageType" },
        { artifact + "packageType", R"("installer")", "unsupported packageType" },
        { artifact + "downloadUrl", R"("http://zorvaplugins.com/a.tar.gz")", "downloadUrl must be HTTPS" },
        { artifact + "downloadUrl", R"("")", "downloadUrl must be HTTPS" },
        { artifact + "downloadUrl", R"("https://")", "" },
        { artifact + "sha256", "\"" + std::string (64, 'A') + "\"", "invalid sha256" },
        { artifact + "sha256", "\"" + std::string (63, 'a') + "\"", "invalid sha256" },
        { artifact + "sha256", "\"" + std::string (65, 'a') + "\"", "invalid sha256" },
        { artifact + "sha256", "\"" + std::string (63, 'a') + "g\"", "invalid sha256" },
        { artifact + "sha256", "\"" + std::string (64, 'a') + "\\n\"", "invalid sha256" },
        { artifact + "sha256", "\"" + digestB + "\"", "" },
    });
}

TEST (ReleaseCatalogueParser, ArtifactChecksRunInTheirOrder)
{
    const std::string a = "/products/0/releases/0/artifacts/0/";

    // Several faults in one artifact: the earliest check in the documented order wins.
    const std::vector<std::pair<std::vector<std::pair<std::string, Json>>, std::string>> cases {
        { { { "sizeBytes", -1 }, { "platform", "bsd" }, { "format", "au" }, { "sha256", "x" } }, "missing or invalid sizeBytes" },
        { { { "platform", "bsd" }, { "format", "au" }, { "packageType", "zip" } }, "unsupported artifact platform" },
        { { { "format", "au" }, { "packageType", "zip" }, { "downloadUrl", "http://x" } }, "unsupported artifact format" },
        { { { "packageType", "zip" }, { "downloadUrl", "http://x" }, { "sha256", "x" } }, "unsupported packageType" },
        { { { "downloadUrl", "http://x" }, { "sha256", "x" }, { "sizeBytes", 0 } }, "downloadUrl must be HTTPS" },
        { { { "sha256", "x" }, { "sizeBytes", 0 } }, "invalid sha256" },
        { { { "fileName", 1 }, { "sizeBytes", "big" } }, "missing or invalid string field: fileName" },
    };

    for (const auto& [changes, expected] : cases)
    {
        SCOPED_TRACE (expected);
        auto document = validCatalogue();

        for (const auto& [member, value] : changes)
            document[Json::json_pointer (a + member)] = value;

        expectFailure (ReleaseCatalogueParser::parse (document.dump()), expected);
    }
}

TEST (ReleaseCatalogueParser, AFaultInALaterProductDiscardsEverything)
{
    auto document = validCatalogue();
    auto broken = document["products"][0];
    broken["releases"][0]["artifacts"][1]["sizeBytes"] = 0;
    document["products"].push_back (document["products"][0]);
    document["products"].push_back (broken);

    expectFailure (ReleaseCatalogueParser::parse (document.dump()), "sizeBytes must be > 0");
}

// What the text itself decides, beyond the members' values: a member given twice counts with
// its last value, a violation counts only where the format looks (not inside a member it does
// not know), the first violation does not depend on the order of the members in the text, and
// a syntax error anywhere wins over any violation, even an earlier one.
TEST (ReleaseCatalogueParser, TheTextIsReadAsAWhole)
{
    const std::string artifact = R"({"id": "a", "platform": "linux-x64", "format": "clap", "packageType": "archive",)"
                                 R"( "downloadUrl": "https://z/a", "fileName": "a", "sha256": ")" +
        digestA + R"(", "sizeBytes": 1})";
    const std::string release = R"({"version": "1", "status": "s", "publishedAt": "p", "artifacts": [)" + artifact + "]}";
    const std::string urls = R"("productPageUrl": "https://z/p", "supportUrl": "https://z/s")";
    const auto product = [&] (const std::string& members) {
        return R"({"slug": "s", "name": "n", "latestVersion": "1", )" + urls + ", " + members + "}";
    };
    const auto catalogue = [] (const std::string& products, const std::string& more = "") {
        return R"({"schema": 1, "generatedAt": "g", )" + more + R"("products": [)" + products + "]}";
    };
    const std::string missing = "missing or invalid string field: ";

    const std::vector<TextCase> cases {
        { "a member given again with a valid value", catalogue (product (R"("releases": [], "slug": 7, "slug": "s")")), "" },
        { "a member given again with an invalid value", catalogue (product (R"("releases": [], "slug": 7)")), missing + "slug" },
        { "an invalid list given again as a valid one", catalogue (product (R"("releases": [{}], "releases": [)" + release + "]")), "" },
        { "a valid list given again as an invalid one",
          catalogue (product (R"("releases": [)" + release + R"(], "releases": [{}])")),
          missing + "version" },
        { "a list given again as no list", catalogue (product (R"("releases": [], "releases": 1)")), "missing releases" },
        { "the products given again", catalogue ("1", R"("products": [1], )"), missing + "slug" },
        { "invalid products given again as valid ones", R"({"products": [1], "schema": 1, "generatedAt": "g", "products": []})", "" },
        { "the schema given again", R"({"schema": 1, "schema": 2, "generatedAt": "g", "products": []})", schemaMessage() },
        { "violations inside a member the format does not know",
          catalogue (product (R"("releases": [], "extra": {"slug": 7, "releases": [{}], "products": 1, "capabilities": [1]})"),
                     R"("extra": {"products": [1], "schema": 2}, )"),
          "" },
        { "a product's own member checked before its releases, though given after them",
          catalogue (R"({"releases": [{}], "slug": "s", "name": "n", "latestVersion": "1", "supportUrl": "https://z/s"})"),
          missing + "productPageUrl" },
        { "the schema checked first, though given last", R"({"products": [1], "generatedAt": 5, "schema": 2})", schemaMessage() },
        { "only the first faulty product counts",
          catalogue (product (R"("releases": [{"version": 1}])") + R"(, {"slug": 1})"),
          missing + "version" },
        { "a syntax error after a violation", catalogue ("1") + " x", "json" },
        { "a syntax error deep inside a member the format does not know", catalogue ("", R"("extra": [[{"a": tru}]], )"), "json" },
        { "a NUL after a violation", catalogue ("1") + std::string (1, '\0'), "json" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto result = ReleaseCatalogueParser::parse (c.text);

        if (c.expected.empty())
            EXPECT_TRUE (result.ok) << result.error;
        else if (c.expected == "json")
            EXPECT_TRUE (isJsonLibraryError (result.error)) << result.error;
        else
            expectFailure (result, c.expected);
    }
}

// Every file of the JSONTestSuite parsing corpus: documents the JSON grammar rejects must fail
// with the library's own error, valid JSON (never a catalogue) with "missing schema", and the
// implementation-defined ones must fail without crashing.
TEST (ReleaseCatalogueParser, JsonTestSuiteCorpus)
{
    const auto folder = fs::path (ZORVAMANAGER_SOURCE_DIR) / "../shared/public-test-data/JSONTestSuite/test_parsing";
    std::error_code ec;

    if (! fs::is_directory (folder, ec))
        GTEST_SKIP() << "JSONTestSuite corpus not present";

    int files = 0;

    for (const auto& entry : fs::directory_iterator (folder))
    {
        const auto name = entry.path().filename().string();

        if (entry.path().extension() != ".json")
            continue;

        SCOPED_TRACE (name);
        ++files;
        const auto result = ReleaseCatalogueParser::parse (zorvatest::readFile (entry.path()));

        EXPECT_FALSE (result.ok);
        EXPECT_TRUE (result.products.empty());

        if (name.rfind ("n_", 0) == 0)
            EXPECT_TRUE (isJsonLibraryError (result.error)) << result.error;
        else if (name.rfind ("y_", 0) == 0)
            EXPECT_EQ (result.error, "missing schema");
        else
            EXPECT_FALSE (result.error.empty());
    }

    EXPECT_GT (files, 300);
}

} // namespace
