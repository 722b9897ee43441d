#include "OgImage.h"

#include <gtest/gtest.h>

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
        { "width tag is skipped", R"(<meta property="og:image:width" content="640"><meta property="og:image" content="https://x.test/h.png">)", "https://x.test/h.png" },
        { "unquoted value is never accepted", R"(<meta property="og:image" content=https://x.test/i.png>)", "" },
        { "no closing quote in the tag", R"(<meta property="og:image" content="https://x.test/j.png>)", "" },
        { "no content attribute", R"(<meta property="og:image" value="https://x.test/k.png">)", "" },
        { "content without equals sign", R"(<meta property="og:image" content "https://x.test/l.png">)", "" },
        { "no < before the marker, later tag found", R"(og:image content="https://x.test/m.png" <meta property="og:image" content="https://x.test/n.png">)", "https://x.test/n.png" },
        { "no > after the marker", R"(<meta property="og:image" content="https://x.test/o.png")", "" },
        { "bare scheme is long enough", R"(<meta property="og:image" content="https://">)", "https://" },
        { "shorter than the scheme", R"(<meta property="og:image" content="https:/">)", "" },
        { "upper-case scheme", R"(<meta property="og:image" content="HTTPS://x.test/p.png">)", "" },
        { "case-sensitive marker", R"(<meta property="OG:IMAGE" content="https://x.test/q.png">)", "" },
        { "no entity decoding", R"(<meta property="og:image" content="https://x.test/r.png?a=1&amp;b=2">)", "https://x.test/r.png?a=1&amp;b=2" },
        { "empty page", "", "" },
        { "marker at the very end", "<p>og:image", "" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (findOgImageUrl (c.page), c.url) << c.what;
}
