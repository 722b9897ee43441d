#include "api/ProductPage.h"

#include "api/OgImageReference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

using zorvaplugins::zorvamanager::api::findOgImageUrl;
using zorvatest::referenceOgImageSearch;

TEST (FindOgImageUrl, FollowsTheSearchRules)
{
    struct Case
    {
        const char* what;
        std::string page;
        std::string url;
    };

    const Case cases[] = {
        { "plain tag", R"(<meta property="og:image" content="https://x.test/a.png">)", "https://x.test/a.png" },
        { "single quotes", R"(<meta property='og:image' content='https://x.test/b.jpg'>)", "https://x.test/b.jpg" },
        { "content before property", R"(<meta content="https://x.test/c.gif" property="og:image" />)", "https://x.test/c.gif" },
        { "relative first, https second",
          R"(<meta property="og:image" content="/img/a.png"><meta property="og:image" content="https://x.test/d.png">)",
          "https://x.test/d.png" },
        { "plain http first, https second",
          R"(<meta property="og:image" content="http://x.test/a.png"><meta property="og:image" content="https://x.test/e.png">)",
          "https://x.test/e.png" },
        { "longer property name wins when it comes first",
          R"(<meta property="og:image:secure_url" content="https://x.test/f.png"><meta property="og:image" content="https://x.test/g.png">)",
          "https://x.test/f.png" },
        { "width tag is skipped",
          R"(<meta property="og:image:width" content="640"><meta property="og:image" content="https://x.test/h.png">)",
          "https://x.test/h.png" },
        { "unquoted value is never accepted", R"(<meta property="og:image" content=https://x.test/i.png>)", "" },
        { "no closing quote in the tag", R"(<meta property="og:image" content="https://x.test/j.png>)", "" },
        { "no content attribute", R"(<meta property="og:image" value="https://x.test/k.png">)", "" },
        { "content without equals sign", R"(<meta property="og:image" content "https://x.test/l.png">)", "" },
        { "no < before the marker, later tag found",
          R"(og:image content="https://x.test/m.png" <meta property="og:image" content="https://x.test/n.png">)",
          "https://x.test/n.png" },
        { "no > after the marker", R"(<meta property="og:image" content="https://x.test/o.png")", "" },
        { "bare scheme is long enough", R"(<meta property="og:image" content="https://">)", "https://" },
        { "shorter than the scheme", R"(<meta property="og:image" content="https:/">)", "" },
        { "upper-case scheme", R"(<meta property="og:image" content="HTTPS://x.test/p.png">)", "" },
        { "case-sensitive marker", R"(<meta property="OG:IMAGE" content="https://x.test/q.png">)", "" },
        { "no entity decoding",
          R"(<meta property="og:image" content="https://x.test/r.png?a=1&amp;b=2">)",
          "https://x.test/r.png?a=1&amp;b=2" },
        { "empty page", "", "" },
        { "marker at the very end", "<p>og:image", "" },
        { "one < for many markers: the tag grows to each next >",
          R"(<meta og:image content=x> og:image > og:image content="https://x.test/s.png" >)",
          "https://x.test/s.png" },
        { "content of an earlier tag is not reused", R"(<a content="https://x.test/t.png"> <b og:image>)", "" },
        { "value quote closes outside the tag", R"(<meta og:image content="https://x.test/u.png> x">)", "" },
        { "equals sign only after the tag", R"(<meta og:image content> = "https://x.test/v.png">)", "" },
        { "mixed quotes: the opening one must close", R"(<meta og:image content="https://x.test/w.png'>)", "" },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (findOgImageUrl (c.page), c.url) << c.what;
        EXPECT_EQ (referenceOgImageSearch (c.page), c.url) << c.what << " (reference)";
    }
}

// Random pages built from the pieces that matter to the rules agree with the plain reading.
TEST (FindOgImageUrl, AgreesWithThePlainReadingOnRandomPages)
{
    const std::string_view pieces[] = {
        "<",        ">", "og:image", "og:image:width", "content",  "=",       "\"", "'", "https://x.test/p.png",
        "http://x", " ", "a",        "<meta ",         "https://", "content="
    };
    std::mt19937 random (20261210);

    for (int round = 0; round < 20000; ++round)
    {
        std::string page;
        const auto length = random() % 24;

        for (std::uint32_t i = 0; i < length; ++i)
            page += pieces[random() % std::size (pieces)];

        ASSERT_EQ (findOgImageUrl (page), referenceOgImageSearch (page)) << page;
    }
}

// Pages of a few MiB shaped against each search step: each finishes (in a blink, being
// linear) with the same answer as the rules give.
TEST (FindOgImageUrl, HostileShapesOfSeveralMegabytes)
{
    const auto repeat = [] (std::string_view piece, std::size_t bytes) {
        std::string text;
        text.reserve (bytes + piece.size());

        while (text.size() < bytes)
            text += piece;

        return text;
    };
    constexpr std::size_t size = 2 << 20;

    const std::pair<std::string, std::string> cases[] = {
        { repeat ("og:image", size), "" },
        { "<" + repeat ("og:image", size), "" },
        { repeat ("og:image", size) + ">", "" },
        { "<" + repeat ("og:image>", size), "" },
        { repeat ("<og:image>", size), "" },
        { repeat ("<og:image content>", size), "" },
        { repeat ("<og:image content=>", size), "" },
        { repeat ("<og:image content=\"x>", size), "" },
        { "<" + repeat ("og:image content=\" >", size), "" },
        { repeat ("<og:image content='http://x'>", size) + R"(<meta og:image content="https://x.test/z.png">)", "https://x.test/z.png" },
    };

    for (const auto& [page, url] : cases)
        EXPECT_EQ (findOgImageUrl (page), url) << page.substr (0, 40);
}
