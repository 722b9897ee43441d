#include "cli/ProductNames.h"

#include <gtest/gtest.h>

namespace
{

using namespace zorvaplugins::zorvamanager;

products::ProductRow row (const std::string& slug, const std::string& name)
{
    products::ProductRow r;
    r.slug = slug;
    r.name = name;
    return r;
}

const std::vector<products::ProductRow> rows {
    row ("prism-eq", "Prism EQ"),
    row ("ember-reverb", "Ember Reverb"),
    row ("prism-eq-studio", "PRISM EQ"),
    row ("room", "R\xc3\xa9-Verb"),
    row ("gate", "Tape"),
    row ("tape", "Tape Echo"),
    row ("prismeq", "Prism Equaliser"),
};

TEST (CliNames, FindsRowsBySlugOrNameInAnyCase)
{
    struct Case
    {
        std::vector<std::string> names;
        std::vector<std::size_t> indices;
    };

    const std::vector<Case> cases {
        { { "prism-eq" }, { 0 } },
        { { "EMBER-REVERB", "prism-eq-studio" }, { 1, 2 } },
        { { "ember reverb" }, { 1 } },
        { { "emberreverb" }, { 1 } },
        { { "R\xc3\xa9-Verb" }, { 3 } },
        // A name given twice is worked on once.
        { { "ember-reverb", "Ember Reverb" }, { 1 } },
        // An exact match wins over a looser one, which would find all three Prism products.
        { { "PrismEQ" }, { 6 } },
    };

    for (const auto& c : cases)
    {
        const auto match = cli::matchProductNames (rows, c.names);
        EXPECT_TRUE (match.ok) << match.error;
        EXPECT_EQ (match.indices, c.indices) << c.names.front();
    }
}

TEST (CliNames, NoMatchOrSeveralNamesTheCandidates)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases {
        { { "nosuch" }, "no product is called nosuch (see ZorvaManager list)" },
        { { "reverb" }, "no product is called reverb; did you mean: ember-reverb (Ember Reverb)" },
        { { "Prism EQ" }, "more than one product is called Prism EQ: prism-eq (Prism EQ), prism-eq-studio (PRISM EQ)" },
        { { "tape" }, "more than one product is called tape: gate (Tape), tape (Tape Echo)" },
        { { "---" }, "no product is called --- (see ZorvaManager list)" },
        { { "prism-eq", "nosuch", "eq" },
          "no product is called nosuch (see ZorvaManager list)\n"
          "no product is called eq; did you mean: prism-eq (Prism EQ), prism-eq-studio (PRISM EQ), prismeq (Prism Equaliser)" },
    };

    for (const auto& [names, error] : cases)
    {
        const auto match = cli::matchProductNames (rows, names);
        EXPECT_FALSE (match.ok);
        EXPECT_EQ (match.error, error);
        EXPECT_TRUE (match.indices.empty());
    }
}

} // namespace
