#include "api/ReleaseCatalogueParser.h"

#include "api/CatalogueEndpoint.h"
#include "core/Failure.h"
#include "core/HttpsUrl.h"
#include "crypto/Sha256.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

namespace zorvaplugins::zorvamanager::api
{

namespace
{

using Json = nlohmann::json;

// A violation of the catalogue format; its text becomes the result's error.
class CatalogueError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail (const std::string& message)
{
    throw CatalogueError (message);
}

// The conversion takes the decoded strings out of the JSON tree instead of copying them:
// the tree is thrown away afterwards, and a catalogue is mostly text.
std::string takeString (Json& value)
{
    return std::move (value.get_ref<std::string&>());
}

std::string requiredString (Json& object, const char* name)
{
    if (object.is_object())
    {
        const auto member = object.find (name);

        if (member != object.end() && member->is_string())
            return takeString (*member);
    }

    fail (std::string ("missing or invalid string field: ") + name);
}

std::string optionalString (Json& object, const char* name)
{
    if (! object.is_object())
        return {};

    const auto member = object.find (name);

    if (member == object.end() || member->is_null())
        return {};

    if (! member->is_string())
        fail (std::string ("invalid string field: ") + name);

    return takeString (*member);
}

ArtifactInfo parseArtifact (Json& object)
{
    ArtifactInfo artifact;
    artifact.id = requiredString (object, "id");
    artifact.platform = requiredString (object, "platform");
    artifact.format = requiredString (object, "format");
    artifact.packageType = requiredString (object, "packageType");
    artifact.downloadUrl = requiredString (object, "downloadUrl");
    artifact.fileName = requiredString (object, "fileName");
    artifact.sha256 = requiredString (object, "sha256");

    // Only a plain non-negative integer counts; 1e3, 1.0 and -0 are not sizes.
    const auto size = object.find ("sizeBytes");

    if (size == object.end() || ! size->is_number_unsigned())
        fail ("missing or invalid sizeBytes");

    artifact.sizeBytes = size->get<std::uint64_t>();

    if (artifact.platform != "linux-x64" && artifact.platform != "windows-x64")
        fail ("unsupported artifact platform");

    if (artifact.format != "vst3" && artifact.format != "clap")
        fail ("unsupported artifact format");

    if (artifact.packageType != "archive")
        fail ("unsupported packageType");

    if (! core::beginsWithHttps (artifact.downloadUrl))
        fail ("downloadUrl must be HTTPS");

    if (! crypto::Sha256::isLowercaseSha256 (artifact.sha256))
        fail ("invalid sha256");

    if (artifact.sizeBytes == 0)
        fail ("sizeBytes must be > 0");

    return artifact;
}

ReleaseInfo parseRelease (Json& object)
{
    ReleaseInfo release;
    release.version = requiredString (object, "version");
    release.status = requiredString (object, "status");
    release.publishedAt = requiredString (object, "publishedAt");
    release.changelogTitle = optionalString (object, "changelogTitle");
    release.changelogText = optionalString (object, "changelogText");
    release.changelogUrl = optionalString (object, "changelogUrl");

    const auto artifacts = object.find ("artifacts");

    if (artifacts == object.end() || ! artifacts->is_array())
        fail ("missing artifacts");

    auto& elements = artifacts->get_ref<Json::array_t&>();
    release.artifacts.reserve (elements.size());

    for (auto& element : elements)
        release.artifacts.push_back (parseArtifact (element));

    return release;
}

ProductReleaseInfo parseProduct (Json& object)
{
    ProductReleaseInfo product;
    product.slug = requiredString (object, "slug");
    product.name = requiredString (object, "name");
    product.tagline = optionalString (object, "tagline");
    product.subtitle = optionalString (object, "subtitle");

    const auto isFree = object.find ("isFree");

    if (isFree != object.end())
    {
        if (! isFree->is_boolean())
            fail ("invalid isFree");

        product.isFree = isFree->get<bool>();
    }

    product.latestVersion = requiredString (object, "latestVersion");
    product.productPageUrl = requiredString (object, "productPageUrl");
    product.supportUrl = requiredString (object, "supportUrl");
    product.manualUrl = optionalString (object, "manualUrl");
    product.quickStartUrl = optionalString (object, "quickStartUrl");

    if (! core::beginsWithHttps (product.productPageUrl) || ! core::beginsWithHttps (product.supportUrl))
        fail ("product/support URLs must be HTTPS");

    if (! product.manualUrl.empty() && ! core::beginsWithHttps (product.manualUrl))
        fail ("manualUrl must be HTTPS");

    if (! product.quickStartUrl.empty() && ! core::beginsWithHttps (product.quickStartUrl))
        fail ("quickStartUrl must be HTTPS");

    const auto capabilities = object.find ("capabilities");

    if (capabilities != object.end())
    {
        if (! capabilities->is_array())
            fail ("invalid capabilities");

        auto& elements = capabilities->get_ref<Json::array_t&>();
        product.capabilities.reserve (elements.size());

        for (auto& element : elements)
        {
            if (! element.is_string())
                fail ("invalid capability");

            product.capabilities.push_back (takeString (element));
        }
    }

    const auto releases = object.find ("releases");

    if (releases == object.end() || ! releases->is_array())
        fail ("missing releases");

    auto& elements = releases->get_ref<Json::array_t&>();
    product.releases.reserve (elements.size());

    for (auto& element : elements)
        product.releases.push_back (parseRelease (element));

    return product;
}

bool isSchemaOne (const Json& schema)
{
    if (schema.is_number_unsigned())
        return schema.get<std::uint64_t>() == 1;

    return schema.get<std::int64_t>() == 1;
}

// Empties a tree without the library's own teardown, which first moves every element of a
// container into a vector of its own: for a hostile array of a hundred million numbers that is
// another gigabyte and seconds. Here containers are emptied in place, the nested ones taken out
// first, so that the cost is one pass over the elements. Falls back on the library's teardown
// when memory runs out.
void discard (Json& tree) noexcept
{
    try
    {
        std::vector<Json> containers;
        containers.push_back (std::move (tree));

        while (! containers.empty())
        {
            auto container = std::move (containers.back());
            containers.pop_back();

            if (container.is_array())
            {
                for (auto& element : container.get_ref<Json::array_t&>())
                    if (element.is_structured())
                        containers.push_back (std::move (element));

                container.get_ref<Json::array_t&>().clear();
            }
            else if (container.is_object())
            {
                for (auto& member : container.get_ref<Json::object_t&>())
                    if (member.second.is_structured())
                        containers.push_back (std::move (member.second));

                container.get_ref<Json::object_t&>().clear();
            }
        }
    }
    catch (...)
    {
        // What is left goes with the library's teardown.
    }
}

// Discards a tree when it goes out of scope, however that happens.
class TreeDiscarder
{
public:
    explicit TreeDiscarder (Json& treeToDiscard)
        : tree (treeToDiscard)
    {}

    ~TreeDiscarder() { discard (tree); }

    TreeDiscarder (const TreeDiscarder&) = delete;
    TreeDiscarder& operator= (const TreeDiscarder&) = delete;

private:
    Json& tree;
};

// A position in the text for the JSON library's reader that reads as the end of the text once
// the cancel flag is up (looked at every 64 KiB), so that the parse also stops inside a single
// value of hundreds of megabytes, a string, which no tree event interrupts.
class CancellablePosition
{
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CancellablePosition (const char* start, const std::atomic<bool>* cancelFlag)
        : position (start)
        , cancel (cancelFlag)
    {}

    reference operator*() const { return *position; }

    CancellablePosition& operator++()
    {
        ++position;

        if ((reinterpret_cast<std::uintptr_t> (position) & 0xffffu) == 0 && cancel != nullptr && cancel->load (std::memory_order_relaxed))
            stopped = true;

        return *this;
    }

    CancellablePosition operator++ (int)
    {
        auto before = *this;
        ++*this;
        return before;
    }

    bool operator== (const CancellablePosition& other) const { return position == other.position || stopped || other.stopped; }
    bool operator!= (const CancellablePosition& other) const { return ! (*this == other); }

private:
    const char* position;
    const std::atomic<bool>* cancel;
    bool stopped = false;
};

// The library's own tree builder, with a look at the cancel flag every few thousand values;
// false from any event stops the parse.
class CancellableTreeBuilder
{
public:
    CancellableTreeBuilder (Json& root, const std::atomic<bool>& cancelFlag)
        : builder (root, true)
        , cancel (cancelFlag)
    {}

    bool null() { return goOn() && builder.null(); }
    bool boolean (bool value) { return goOn() && builder.boolean (value); }
    bool number_integer (Json::number_integer_t value) { return goOn() && builder.number_integer (value); }
    bool number_unsigned (Json::number_unsigned_t value) { return goOn() && builder.number_unsigned (value); }
    bool number_float (Json::number_float_t value, const Json::string_t& text) { return goOn() && builder.number_float (value, text); }
    bool string (Json::string_t& value) { return goOn() && builder.string (value); }
    bool binary (Json::binary_t& value) { return goOn() && builder.binary (value); }
    bool start_object (std::size_t elements) { return goOn() && builder.start_object (elements); }
    bool key (Json::string_t& value) { return goOn() && builder.key (value); }
    bool end_object() { return builder.end_object(); }
    bool start_array (std::size_t elements) { return goOn() && builder.start_array (elements); }
    bool end_array() { return builder.end_array(); }

    template <typename Exception>
    bool parse_error (std::size_t position, const std::string& lastToken, const Exception& error)
    {
        return builder.parse_error (position, lastToken, error);
    }

    bool wasCancelled() const { return cancelled; }

private:
    bool goOn()
    {
        if ((++events & 0xfffu) == 0 && cancel.load (std::memory_order_relaxed))
            cancelled = true;

        return ! cancelled;
    }

    nlohmann::detail::json_sax_dom_parser<Json> builder;
    const std::atomic<bool>& cancel;
    std::uint32_t events = 0;
    bool cancelled = false;
};

Json parseTree (std::string_view text, const std::atomic<bool>* cancel)
{
    if (cancel == nullptr)
        return Json::parse (text.data(), text.data() + text.size(), nullptr, true, false);

    // The same parse as above, event by event: the same tree and the same errors.
    Json root;
    CancellableTreeBuilder builder (root, *cancel);

    try
    {
        Json::sax_parse (CancellablePosition (text.data(), cancel),
                         CancellablePosition (text.data() + text.size(), nullptr),
                         &builder,
                         Json::input_format_t::json,
                         true,
                         false);
    }
    catch (...)
    {
        discard (root);

        // Cut short by the flag, the text ended early: not the document's own error.
        if (cancel->load())
            fail ("cancelled");

        throw;
    }

    if (builder.wasCancelled())
    {
        discard (root);
        fail ("cancelled");
    }

    return root;
}

// Strict: one value and nothing but whitespace after it, no comments. The library skips a
// leading UTF-8 byte-order mark and rejects malformed UTF-8 in strings.
Json parseJson (std::string_view text, const std::atomic<bool>* cancel)
{
    auto root = parseTree (text, cancel);

    // The library takes a raw NUL byte for the end of the input, so a valid document followed
    // by a NUL and anything at all would pass. No JSON text holds a raw NUL: report the library's
    // own syntax error at that byte by handing it a byte it rejects in the same place.
    const auto nul = text.find ('\0');

    if (nul == std::string_view::npos)
        return root;

    std::string marked (text.substr (0, nul));
    marked += '\x01';

    try
    {
        [[maybe_unused]] const auto never = Json::parse (marked.data(), marked.data() + marked.size(), nullptr, true, false);
    }
    catch (const Json::parse_error& e)
    {
        std::string message = e.what();
        const auto at = message.rfind ("<U+0001>");

        if (at != std::string::npos)
            message.replace (at, 8, "<U+0000>");

        throw std::runtime_error (message);
    }

    throw std::runtime_error ("[json.exception.parse_error.101] parse error: unexpected NUL byte");
}

CatalogueParseResult parseDocument (std::string_view text, const std::atomic<bool>* cancel)
{
    auto root = parseJson (text, cancel);
    const TreeDiscarder tree (root);

    if (! root.is_object())
        fail ("missing schema");

    const auto schema = root.find ("schema");

    if (schema == root.end() || ! schema->is_number_integer())
        fail ("missing schema");

    if (! isSchemaOne (*schema))
        fail ("This ZorvaManager version does not understand the current release API. "
              "Please download the latest ZorvaManager from " +
              CatalogueEndpoint::host() + ".");

    CatalogueParseResult result;
    result.generatedAt = requiredString (root, "generatedAt");

    const auto products = root.find ("products");

    if (products == root.end() || ! products->is_array())
        fail ("missing products");

    auto& elements = products->get_ref<Json::array_t&>();
    result.products.reserve (elements.size());

    for (auto& element : elements)
    {
        if (cancel != nullptr && cancel->load (std::memory_order_relaxed))
            fail ("cancelled");

        result.products.push_back (parseProduct (element));
    }

    result.ok = true;
    result.schema = 1;
    return result;
}

} // namespace

CatalogueParseResult ReleaseCatalogueParser::parse (std::string_view text, const std::atomic<bool>* cancel) noexcept
{
    try
    {
        return parseDocument (text, cancel);
    }
    catch (const std::exception& e)
    {
        return core::failure<CatalogueParseResult> (e.what());
    }
    catch (...)
    {
        return core::failure<CatalogueParseResult> ("unknown error");
    }
}

} // namespace zorvaplugins::zorvamanager::api
