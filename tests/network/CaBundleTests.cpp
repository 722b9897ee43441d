#include "network/CaBundle.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using zorvaplugins::zorvamanager::network::CaBundle;
using namespace zorvatest;

// Which bundle replaces libcurl's default, over a folder laid out like a system's /etc.
TEST (CaBundle, ReplacesOnlyAMissingDefaultWithTheFirstExistingBundle)
{
    TempDir etc;
    writeFile (etc / "debian.crt", "debian");
    writeFile (etc / "fedora.crt", "fedora");
    writeFile (etc / "suse.pem", "suse");
    fs::create_directories (etc / "folder.pem");
    fs::create_symlink (etc / "suse.pem", etc / "link.pem");
    fs::create_symlink (etc / "gone.pem", etc / "dangling.pem");

    struct Case
    {
        const char* what;
        std::string defaultFile;
        std::vector<std::string> candidates;
        std::string expected; // empty: libcurl's default is kept
    };

    const std::vector<Case> cases {
        { "the default exists", "debian.crt", { "fedora.crt" }, "" },
        { "the default is missing", "missing.crt", { "fedora.crt", "suse.pem" }, "fedora.crt" },
        { "missing candidates are passed over", "missing.crt", { "none.crt", "suse.pem" }, "suse.pem" },
        { "a folder is not a bundle", "missing.crt", { "folder.pem", "suse.pem" }, "suse.pem" },
        { "a dangling link is not a bundle", "missing.crt", { "dangling.pem", "fedora.crt" }, "fedora.crt" },
        { "a link to a bundle is one", "missing.crt", { "link.pem", "fedora.crt" }, "link.pem" },
        { "the default is a folder", "folder.pem", { "fedora.crt" }, "fedora.crt" },
        { "nothing exists: the default stays and verification fails", "missing.crt", { "none.crt" }, "" },
    };

    for (const auto& test : cases)
    {
        std::vector<fs::path> candidates;
        for (const auto& name : test.candidates)
            candidates.push_back (etc / name);

        const auto expected = test.expected.empty() ? fs::path() : etc / test.expected;
        EXPECT_EQ (CaBundle::replacementFor (etc / test.defaultFile, candidates), expected) << test.what;
    }

    // A libcurl built without a default CA file has its own way to find one: left alone.
    EXPECT_EQ (CaBundle::replacementFor ({}, { etc / "fedora.crt" }), fs::path());
}

// A folder counts as hashed when one of its entries is named like OpenSSL's subject-hash links.
TEST (CaBundle, TellsAHashedFolderByItsLinkNames)
{
    TempDir temp;

    struct Case
    {
        const char* what;
        std::vector<std::string> entries;
        bool hashed;
    };

    const std::vector<Case> cases {
        { "a first link among others", { "ca-certificates.crt", "ACCVRAIZ1.pem", "9d04f354.0" }, true },
        { "a later certificate of the same hash", { "9d04f354.12" }, true },
        { "upper-case digits", { "9D04F354.0" }, true },
        { "empty", {}, false },
        { "bundles and certificates only", { "ca-certificates.crt", "ACCVRAIZ1.pem" }, false },
        { "a revocation list's link", { "9d04f354.r0" }, false },
        { "seven digits", { "9d04f35.0" }, false },
        { "nine digits", { "9d04f3541.0" }, false },
        { "no number", { "9d04f354." }, false },
        { "a letter that is no digit", { "9d04g354.0" }, false },
        { "more after the number", { "9d04f354.0.pem" }, false },
    };

    for (const auto& test : cases)
    {
        const auto folder = temp / ("case-" + std::to_string (&test - cases.data()));
        fs::create_directories (folder);

        for (const auto& entry : test.entries)
            writeFile (folder / entry, "certificate");

        EXPECT_EQ (CaBundle::isHashedFolder (folder), test.hashed) << test.what;
    }

    writeFile (temp / "9d04f354.0", "a file is no folder");
    EXPECT_FALSE (CaBundle::isHashedFolder (temp / "9d04f354.0"));
    EXPECT_FALSE (CaBundle::isHashedFolder (temp / "missing"));
    fs::create_directory_symlink (temp / "case-0", temp / "link");
    EXPECT_TRUE (CaBundle::isHashedFolder (temp / "link"));
}

} // namespace
