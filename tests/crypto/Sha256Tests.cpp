#include "crypto/Sha256.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using zorvaplugins::zorvamanager::crypto::DigestResult;
using zorvaplugins::zorvamanager::crypto::Sha256;
namespace fs = std::filesystem;

const std::string emptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string toUpper (std::string text)
{
    for (auto& c : text)
        c = static_cast<char> (std::toupper (static_cast<unsigned char> (c)));

    return text;
}

// The digest of a file as coreutils computes it, independent of OpenSSL's EVP code path.
std::string sha256sumOf (const fs::path& file, const zorvatest::TempDir& scratch)
{
    const auto output = scratch / "sha256sum.out";

    if (zorvatest::runShell ("sha256sum " + zorvatest::shellQuote (file.string()) + " > " + zorvatest::shellQuote (output.string())) != 0)
        return {};

    return zorvatest::readFile (output).substr (0, 64);
}

void expectFailedDigest (const DigestResult& digest)
{
    EXPECT_FALSE (digest.ok);
    EXPECT_TRUE (digest.hexDigest.empty());
    EXPECT_EQ (digest.sizeBytes, 0u);
}

struct Vector
{
    const char* label;
    std::string message;
    std::string digest;
};

TEST (Sha256Digest, StandardVectorsInLowerCase)
{
    const std::vector<Vector> vectors = {
        { "empty", "", emptyDigest },
        { "abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
        { "448-bit",
          "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
          "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1" },
        { "896-bit",
          "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
          "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1" },
        { "million a", std::string (1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0" },
    };

    zorvatest::TempDir dir;

    for (const auto& v : vectors)
    {
        SCOPED_TRACE (v.label);
        const auto file = dir / "message.bin";
        zorvatest::writeFile (file, v.message);

        const auto result = Sha256::digestFile (file);
        EXPECT_TRUE (result.ok);
        EXPECT_EQ (result.hexDigest, v.digest);
        EXPECT_EQ (result.sizeBytes, v.message.size());
        EXPECT_EQ (result.error, "");
        EXPECT_TRUE (Sha256::isLowercaseSha256 (result.hexDigest));
    }
}

TEST (Sha256Digest, ChunkBoundariesMatchCoreutils)
{
    zorvatest::TempDir dir;

    for (const std::size_t length : { 1u, 65535u, 65536u, 65537u, 131072u, 200000u })
    {
        SCOPED_TRACE (length);
        const auto file = dir / ("pattern-" + std::to_string (length));
        zorvatest::writeFile (file, zorvatest::patternBytes (length, static_cast<std::uint32_t> (length)));

        const auto expected = sha256sumOf (file, dir);
        ASSERT_EQ (expected.size(), 64u) << "sha256sum is not available";

        const auto result = Sha256::digestFile (file);
        EXPECT_TRUE (result.ok);
        EXPECT_EQ (result.hexDigest, expected);
        EXPECT_EQ (result.sizeBytes, length);
    }
}

TEST (Sha256Digest, MissingFileCannotBeRead)
{
    zorvatest::TempDir dir;
    const auto missing = dir / "missing.tar.gz";

    const auto result = Sha256::digestFile (missing);
    expectFailedDigest (result);
    EXPECT_EQ (result.error, "cannot read file: " + missing.string());
}

TEST (Sha256Digest, ReadErrorAfterOpenIsNotEndOfFile)
{
    // A directory opens for reading on Linux, but every read fails (EISDIR).
    zorvatest::TempDir dir;

    const auto result = Sha256::digestFile (dir.path());
    expectFailedDigest (result);
    EXPECT_EQ (result.error, "cannot finish reading file: " + dir.path().string());
}

TEST (Sha256Digest, ReleasesTheFileOnEveryPath)
{
    zorvatest::TempDir dir;
    const auto file = dir / "package.bin";
    zorvatest::writeFile (file, "payload");
    const auto before = zorvatest::openDescriptorCount();

    for (int i = 0; i < 20; ++i)
    {
        Sha256::digestFile (file);
        Sha256::digestFile (dir.path());
        Sha256::verifyFile (file, emptyDigest, 0);
    }

    EXPECT_EQ (zorvatest::openDescriptorCount(), before);
}

TEST (Sha256IsLowercase, AcceptsExactlySixtyFourLowercaseHexDigits)
{
    EXPECT_TRUE (Sha256::isLowercaseSha256 (emptyDigest));
    EXPECT_TRUE (Sha256::isLowercaseSha256 ("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"));

    for (const auto& text : { toUpper (emptyDigest),
                              emptyDigest.substr (0, 63),
                              emptyDigest + "0",
                              emptyDigest.substr (0, 63) + "g",
                              emptyDigest.substr (0, 63) + " ",
                              " " + emptyDigest.substr (1),
                              std::string(),
                              std::string (63, 'a') + std::string (1, '\0') })
        EXPECT_FALSE (Sha256::isLowercaseSha256 (text)) << text;
}

class Sha256Verify : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zorvatest::writeFile (file, content);
        digest = Sha256::digestFile (file).hexDigest;
        ASSERT_EQ (digest, sha256sumOf (file, dir));
    }

    zorvatest::TempDir dir;
    const fs::path file = dir / "package.tar.gz";
    const std::string content = zorvatest::patternBytes (70000, 7);
    std::string digest;
};

TEST_F (Sha256Verify, MalformedExpectedDigestIsRejectedBeforeTheFileIsOpened)
{
    const auto missing = dir / "does-not-exist.tar.gz";

    for (const auto& expected : { toUpper (digest), digest.substr (0, 63), digest + "0", std::string() })
    {
        SCOPED_TRACE (expected);

        // Against the real file (upper case of its true digest included) and against a path
        // that does not exist: the same message, so the file was never looked at.
        for (const auto& path : { file, missing })
        {
            const auto result = Sha256::verifyFile (path, expected, content.size());
            EXPECT_FALSE (result.ok);
            EXPECT_EQ (result.error, "expected SHA-256 must be 64 lowercase hex characters");
            expectFailedDigest (result.digest);
            EXPECT_EQ (result.digest.error, "");
        }
    }
}

TEST_F (Sha256Verify, MissingFileForwardsTheDigestError)
{
    const auto missing = dir / "missing.tar.gz";

    const auto result = Sha256::verifyFile (missing, digest, content.size());
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "cannot read file: " + missing.string());
    expectFailedDigest (result.digest);
    EXPECT_EQ (result.digest.error, result.error);
}

TEST_F (Sha256Verify, MatchingDigestWithOrWithoutExpectedSize)
{
    for (const std::uint64_t expectedSize : { std::uint64_t { 0 }, std::uint64_t { content.size() } })
    {
        const auto result = Sha256::verifyFile (file, digest, expectedSize);
        EXPECT_TRUE (result.ok);
        EXPECT_EQ (result.error, "");
        EXPECT_TRUE (result.digest.ok);
        EXPECT_EQ (result.digest.hexDigest, digest);
        EXPECT_EQ (result.digest.sizeBytes, content.size());
    }

    EXPECT_EQ (zorvatest::readFile (file), content); // never changed
}

TEST_F (Sha256Verify, SizeIsCheckedBeforeTheDigest)
{
    // Right digest, wrong size in either direction.
    for (const auto expectedSize : { content.size() + 1, content.size() - 1 })
    {
        const auto result = Sha256::verifyFile (file, digest, expectedSize);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "file size does not match expected size");
        EXPECT_EQ (result.digest.sizeBytes, content.size());
    }

    // A truncated download differs in both; the size is what is reported.
    zorvatest::writeFile (file, content.substr (0, content.size() - 1));
    const auto truncated = Sha256::verifyFile (file, digest, content.size());
    EXPECT_FALSE (truncated.ok);
    EXPECT_EQ (truncated.error, "file size does not match expected size");
    EXPECT_TRUE (truncated.digest.ok);
    EXPECT_EQ (truncated.digest.sizeBytes, content.size() - 1);
}

TEST_F (Sha256Verify, ChangedByteIsADigestMismatchThatCarriesTheActualDigest)
{
    auto changed = content;
    changed[65536] = static_cast<char> (changed[65536] ^ 0x01); // in the final short chunk
    zorvatest::writeFile (file, changed);
    const auto actual = sha256sumOf (file, dir);

    const auto result = Sha256::verifyFile (file, digest, content.size());
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.error, "SHA-256 does not match expected digest");
    EXPECT_TRUE (result.digest.ok);
    EXPECT_EQ (result.digest.hexDigest, actual);
    EXPECT_NE (result.digest.hexDigest, digest);
    EXPECT_EQ (result.digest.sizeBytes, content.size());
    EXPECT_EQ (result.digest.error, "");
}

// NIST CAVS response files: "Len = <bits>", "Msg = <hex>", "MD = <hex>" triples. For
// Len = 0 the Msg line holds a placeholder byte that is not part of the message.
struct NistVector
{
    std::size_t lengthBits = 0;
    std::string message;
    std::string digest;
};

std::string fromHex (const std::string& hex)
{
    std::string bytes;

    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back (static_cast<char> (std::stoi (hex.substr (i, 2), nullptr, 16)));

    return bytes;
}

std::vector<NistVector> readNistVectors (const fs::path& file)
{
    std::ifstream in (file);
    std::vector<NistVector> vectors;
    NistVector current;
    std::string line;

    auto valueOf = [] (const std::string& text) {
        auto value = text.substr (text.find ('=') + 1);
        value.erase (0, value.find_first_not_of (' '));
        value.erase (value.find_last_not_of (" \r") + 1);
        return value;
    };

    while (std::getline (in, line))
    {
        if (line.rfind ("Len =", 0) == 0)
            current.lengthBits = std::stoul (valueOf (line));
        else if (line.rfind ("Msg =", 0) == 0)
            current.message = fromHex (valueOf (line)).substr (0, current.lengthBits / 8);
        else if (line.rfind ("MD =", 0) == 0)
        {
            current.digest = valueOf (line);
            vectors.push_back (current);
            current = {};
        }
    }

    return vectors;
}

class Sha256Nist : public ::testing::TestWithParam<const char*>
{};

TEST_P (Sha256Nist, MatchesEveryByteOrientedVector)
{
    const auto file = fs::path (ZORVAMANAGER_SOURCE_DIR) / ".." / "shared" / "public-test-data" / "nist-shavs" / GetParam();

    if (! fs::exists (file))
        GTEST_SKIP() << "shared test data not present";

    const auto vectors = readNistVectors (file);
    ASSERT_GE (vectors.size(), 64u);

    zorvatest::TempDir dir;
    const auto messageFile = dir / "message.bin";

    for (const auto& v : vectors)
    {
        SCOPED_TRACE ("Len = " + std::to_string (v.lengthBits));
        ASSERT_EQ (v.message.size() * 8, v.lengthBits);
        zorvatest::writeFile (messageFile, v.message);

        const auto result = Sha256::verifyFile (messageFile, v.digest, v.message.size());
        EXPECT_TRUE (result.ok) << result.error;
        EXPECT_EQ (result.digest.hexDigest, v.digest);
    }
}

INSTANTIATE_TEST_SUITE_P (ResponseFiles, Sha256Nist, ::testing::Values ("SHA256ShortMsg.rsp", "SHA256LongMsg.rsp"));

} // namespace
