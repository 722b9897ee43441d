#include "api/ReleaseCatalogueParser.h"

#include "api/CatalogueDrafts.h"
#include "core/Failure.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The catalogue is read event by event and its records are built as their members come; no
// tree of the whole document is made. The outcome is that of checking the document as a whole:
// - a syntax error anywhere wins over any violation of the format, with the JSON library's own
//   message: the checks only decide once the whole text has been read;
// - the checks of an object run when it ends, in the order of the format's members, so the
//   first violation does not depend on the order of the members in the text;
// - a member given twice counts with its last value.
namespace zorvaplugins::zorvamanager::api
{

namespace
{

using Json = nlohmann::json;

// An element of "capabilities" that is no string.
const char* const notACapability = "invalid capability";

// Takes the JSON reader's events for the whole document and routes each value to the draft of
// the object it belongs to; a value that no record needs (a member the format does not know,
// or what is inside a member that must not be an object or array) is only stepped through.
// Looks at the cancel flag every few thousand events; false from an event stops the reader.
class CatalogueReader
{
public:
    explicit CatalogueReader (const std::atomic<bool>* cancelFlag)
        : cancel (cancelFlag)
    {}

    bool null() { return goOn() && scalar (next(), Kind::null); }

    bool boolean (bool value) { return keep (&DraftMember::flag, value, Kind::boolean); }

    bool number_integer (Json::number_integer_t) { return goOn() && scalar (next(), Kind::signedInteger); }

    bool number_unsigned (Json::number_unsigned_t value) { return keep (&DraftMember::unsignedValue, value, Kind::unsignedInteger); }

    bool number_float (Json::number_float_t, const Json::string_t&) { return goOn() && scalar (next(), Kind::other); }

    // Copied rather than taken: the JSON reader then keeps its buffer for the next text.
    bool string (Json::string_t& value)
    {
        if (! goOn())
            return false;

        const auto slot = next();

        if (slot == Slot::member)
            member->text = value;
        else if (slot == Slot::capability)
            product.capabilities.records.push_back (value);

        return scalar (slot, Kind::string);
    }

    bool binary (Json::binary_t&) { return goOn() && scalar (next(), Kind::other); }

    bool start_object (std::size_t) { return goOn() && open (next(), true); }

    bool start_array (std::size_t) { return goOn() && open (next(), false); }

    bool end_object() { return close(); }

    bool end_array() { return close(); }

    bool key (Json::string_t& name)
    {
        if (! goOn())
            return false;

        memberSlot = Slot::ignored;
        member = nullptr;

        if (skipped != 0)
            return true;

        // Only the objects of the format are entered; the others are skipped.
        switch (containers.back())
        {
            case Container::catalogue:
                member = catalogue.member (name);

                if (name == "products")
                    memberSlot = Slot::products;
                break;

            case Container::product:
                member = product.member (name);

                if (name == "capabilities")
                    memberSlot = Slot::capabilities;
                else if (name == "releases")
                    memberSlot = Slot::releases;
                break;

            case Container::release:
                member = release.member (name);

                if (name == "artifacts")
                    memberSlot = Slot::artifacts;
                break;

            case Container::artifact:
                member = artifact.member (name);
                break;

            case Container::products:
            case Container::capabilities:
            case Container::releases:
            case Container::artifacts:
                break;
        }

        if (member != nullptr)
            memberSlot = Slot::member;

        return true;
    }

    // Throws the JSON library's own error, with its own message.
    template <typename Exception>
    [[noreturn]] bool parse_error (std::size_t, const std::string&, const Exception& error)
    {
        throw error;
    }

    bool wasCancelled() const { return cancelled; }

    // Once the whole text has been read.
    CatalogueParseResult finish() { return catalogue.finish(); }

private:
    using Kind = DraftMember::Kind;

    // The objects and arrays of the format that the reader is in.
    enum class Container : std::uint8_t
    {
        catalogue,
        products,
        product,
        capabilities,
        releases,
        release,
        artifacts,
        artifact
    };

    // What the value that comes next is.
    enum class Slot : std::uint8_t
    {
        ignored, // needed by no record
        document,
        member, // the value of `member`
        products,
        capabilities,
        releases,
        artifacts,
        product, // an element of the list of that kind
        capability,
        release,
        artifact
    };

    Slot next() const
    {
        if (skipped != 0)
            return Slot::ignored;

        if (containers.empty())
            return documentSeen ? Slot::ignored : Slot::document;

        switch (containers.back())
        {
            case Container::products:
                return catalogue.products.takesMore() ? Slot::product : Slot::ignored;
            case Container::capabilities:
                return product.capabilities.takesMore() ? Slot::capability : Slot::ignored;
            case Container::releases:
                return product.releases.takesMore() ? Slot::release : Slot::ignored;
            case Container::artifacts:
                return release.artifacts.takesMore() ? Slot::artifact : Slot::ignored;
            case Container::catalogue:
            case Container::product:
            case Container::release:
            case Container::artifact:
                return memberSlot;
        }

        return Slot::ignored;
    }

    // A boolean or integer, kept where a member's checks need it.
    template <typename Value>
    bool keep (Value DraftMember::*field, Value value, Kind kind)
    {
        if (! goOn())
            return false;

        const auto slot = next();

        if (slot == Slot::member)
            member->*field = value;

        return scalar (slot, kind);
    }

    // A value that is no object or array, whose text or number the event took already.
    bool scalar (Slot slot, Kind kind)
    {
        switch (slot)
        {
            case Slot::member:
                member->kind = kind;
                break;
            case Slot::document:
                documentSeen = true;
                break;
            case Slot::products:
                catalogue.products.restart (decltype (catalogue.products)::Kind::other);
                break;
            case Slot::capabilities:
                product.capabilities.restart (decltype (product.capabilities)::Kind::other);
                break;
            case Slot::releases:
                product.releases.restart (decltype (product.releases)::Kind::other);
                break;
            case Slot::artifacts:
                release.artifacts.restart (decltype (release.artifacts)::Kind::other);
                break;
            case Slot::product:
                ProductDraft {}.finishInto (catalogue.products);
                break;
            case Slot::release:
                ReleaseDraft {}.finishInto (product.releases);
                break;
            case Slot::artifact:
                ArtifactDraft {}.finishInto (release.artifacts);
                break;
            case Slot::capability:
                if (kind != Kind::string)
                    product.capabilities.fail (notACapability);
                break;
            case Slot::ignored:
                break;
        }

        return true;
    }

    // The start of an object or array.
    bool open (Slot slot, bool isObject)
    {
        switch (slot)
        {
            case Slot::document:
                documentSeen = true;
                catalogue.isObject = isObject;
                return isObject ? enter (Container::catalogue) : skip();
            case Slot::member:
                member->kind = Kind::other;
                return skip();
            case Slot::products:
                return openList (catalogue.products, isObject, Container::products);
            case Slot::capabilities:
                return openList (product.capabilities, isObject, Container::capabilities);
            case Slot::releases:
                return openList (product.releases, isObject, Container::releases);
            case Slot::artifacts:
                return openList (release.artifacts, isObject, Container::artifacts);
            case Slot::product:
                return openElement (product, catalogue.products, isObject, Container::product);
            case Slot::release:
                return openElement (release, product.releases, isObject, Container::release);
            case Slot::artifact:
                return openElement (artifact, release.artifacts, isObject, Container::artifact);
            case Slot::capability:
                product.capabilities.fail (notACapability);
                return skip();
            case Slot::ignored:
                return skip();
        }

        return skip();
    }

    template <typename Record>
    bool openList (DraftList<Record>& list, bool isObject, Container container)
    {
        list.restart (isObject ? DraftList<Record>::Kind::other : DraftList<Record>::Kind::array);
        return isObject ? skip() : enter (container);
    }

    // An element of a list of records: an object is read into its draft; any other value fails
    // as an empty object does.
    template <typename Draft, typename Record>
    bool openElement (Draft& draft, DraftList<Record>& list, bool isObject, Container container)
    {
        if (! isObject)
        {
            Draft {}.finishInto (list);
            return skip();
        }

        draft = {};
        return enter (container);
    }

    bool enter (Container container)
    {
        containers.push_back (container);
        memberSlot = Slot::ignored;
        return true;
    }

    // Nothing inside is read: only its depth is counted, however deep it nests.
    bool skip()
    {
        ++skipped;
        return true;
    }

    // The end of an object or array.
    bool close()
    {
        if (skipped != 0)
        {
            --skipped;
            return true;
        }

        const auto container = containers.back();
        containers.pop_back();

        if (container == Container::artifact)
            artifact.finishInto (release.artifacts);
        else if (container == Container::release)
            release.finishInto (product.releases);
        else if (container == Container::product)
            product.finishInto (catalogue.products);

        return true;
    }

    bool goOn()
    {
        if (cancel != nullptr && (++events & 0xfffu) == 0 && cancel->load (std::memory_order_relaxed))
            cancelled = true;

        return ! cancelled;
    }

    const std::atomic<bool>* cancel;
    std::uint32_t events = 0;
    bool cancelled = false;

    std::vector<Container> containers; // at most the format's depth
    std::size_t skipped = 0;           // how deep the reader is in a value it skips
    Slot memberSlot = Slot::ignored;   // the value of the last key
    DraftMember* member = nullptr;     // with Slot::member
    bool documentSeen = false;

    // The format nests one object of each kind at a time.
    CatalogueDraft catalogue;
    ProductDraft product;
    ReleaseDraft release;
    ArtifactDraft artifact;
};

[[noreturn]] void fail (const std::string& message)
{
    throw std::runtime_error (message);
}

// A position in the text for the JSON library's reader that reads as the end of the text once
// the cancel flag is up (looked at every 64 KiB), so that the parse also stops inside a single
// value of hundreds of megabytes, a string, which no event interrupts.
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

// Reads the whole text into `reader`. Strict: one value and nothing but whitespace after it,
// no comments. The library skips a leading UTF-8 byte-order mark and rejects malformed UTF-8
// in strings; its syntax errors are thrown with its own message.
void read (std::string_view text, const std::atomic<bool>* cancel, CatalogueReader& reader)
{
    if (cancel == nullptr)
    {
        Json::sax_parse (text.data(), text.data() + text.size(), &reader, Json::input_format_t::json, true, false);
        return;
    }

    try
    {
        Json::sax_parse (CancellablePosition (text.data(), cancel),
                         CancellablePosition (text.data() + text.size(), nullptr),
                         &reader,
                         Json::input_format_t::json,
                         true,
                         false);
    }
    catch (...)
    {
        // Cut short by the flag, the text ended early: not the document's own error.
        if (cancel->load())
            fail ("cancelled");

        throw;
    }

    if (reader.wasCancelled() || cancel->load())
        fail ("cancelled");
}

// Takes every event and keeps nothing; a syntax error is thrown with the library's message.
struct SyntaxOnly
{
    bool null() { return true; }
    bool boolean (bool) { return true; }
    bool number_integer (Json::number_integer_t) { return true; }
    bool number_unsigned (Json::number_unsigned_t) { return true; }
    bool number_float (Json::number_float_t, const Json::string_t&) { return true; }
    bool string (Json::string_t&) { return true; }
    bool binary (Json::binary_t&) { return true; }
    bool start_object (std::size_t) { return true; }
    bool key (Json::string_t&) { return true; }
    bool end_object() { return true; }
    bool start_array (std::size_t) { return true; }
    bool end_array() { return true; }

    template <typename Exception>
    [[noreturn]] bool parse_error (std::size_t, const std::string&, const Exception& error)
    {
        throw error;
    }
};

// The library takes a raw NUL byte for the end of the input, so a valid document followed by
// a NUL and anything at all would pass. No JSON text holds a raw NUL: reports the library's own
// syntax error at the first one by handing it a byte that it rejects in the same place.
void rejectNul (std::string_view text)
{
    const auto nul = text.find ('\0');

    if (nul == std::string_view::npos)
        return;

    std::string marked (text.substr (0, nul));
    marked += '\x01';

    try
    {
        SyntaxOnly syntax;
        Json::sax_parse (marked.data(), marked.data() + marked.size(), &syntax, Json::input_format_t::json, true, false);
    }
    catch (const Json::parse_error& e)
    {
        std::string message = e.what();
        const auto at = message.rfind ("<U+0001>");

        if (at != std::string::npos)
            message.replace (at, 8, "<U+0000>");

        fail (message);
    }

    fail ("[json.exception.parse_error.101] parse error: unexpected NUL byte");
}

CatalogueParseResult parseDocument (std::string_view text, const std::atomic<bool>* cancel)
{
    CatalogueReader reader (cancel);
    read (text, cancel, reader);
    rejectNul (text);
    return reader.finish();
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
