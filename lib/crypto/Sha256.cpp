#include "crypto/Sha256.h"

#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <vector>

namespace zorvaplugins::zorvamanager::crypto
{

namespace
{

constexpr std::size_t readBufferSize = 65536;

struct DigestContextDeleter
{
    void operator() (EVP_MD_CTX* context) const { EVP_MD_CTX_free (context); }
};

using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

DigestResult failure (std::string error)
{
    DigestResult result;
    result.error = std::move (error);
    return result;
}

std::string toLowerHex (const unsigned char* bytes, unsigned int length)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve (length * 2u);

    for (unsigned int i = 0; i < length; ++i)
    {
        text.push_back (digits[bytes[i] >> 4]);
        text.push_back (digits[bytes[i] & 0x0f]);
    }

    return text;
}

} // namespace

bool Sha256::isLowercaseSha256 (const std::string& text)
{
    if (text.size() != 64)
        return false;

    for (const auto c : text)
        if (! ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;

    return true;
}

DigestResult Sha256::digestFile (const std::filesystem::path& path, const std::atomic<bool>* cancel)
{
    std::ifstream in;
    // Unbuffered: each 64 KiB read then goes straight from the file into our buffer instead
    // of being copied through the stream's own one.
    in.rdbuf()->pubsetbuf (nullptr, 0);
    in.open (path, std::ios::in | std::ios::binary);

    if (! in.is_open())
        return failure ("cannot read file: " + path.string());

    const DigestContext context (EVP_MD_CTX_new());

    if (context == nullptr)
        return failure ("cannot allocate SHA-256 context");

    if (EVP_DigestInit_ex (context.get(), EVP_sha256(), nullptr) != 1)
        return failure ("cannot initialize SHA-256 context");

    std::vector<char> buffer (readBufferSize, '\0');
    std::uint64_t byteCount = 0;

    while (! in.fail())
    {
        if (cancel != nullptr && cancel->load())
            return failure ("cancelled");

        in.read (buffer.data(), static_cast<std::streamsize> (buffer.size()));
        const auto delivered = in.gcount();

        if (delivered > 0)
        {
            if (EVP_DigestUpdate (context.get(), buffer.data(), static_cast<std::size_t> (delivered)) != 1)
                return failure ("cannot update SHA-256 digest");

            byteCount += static_cast<std::uint64_t> (delivered);
        }
    }

    // A short read sets failbit together with eofbit; failbit alone or badbit is a read error.
    if (in.bad() || ! in.eof())
        return failure ("cannot finish reading file: " + path.string());

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;

    if (EVP_DigestFinal_ex (context.get(), digest, &digestLength) != 1)
        return failure ("cannot finalize SHA-256 digest");

    DigestResult result;
    result.ok = true;
    result.hexDigest = toLowerHex (digest, digestLength);
    result.sizeBytes = byteCount;
    return result;
}

VerifyResult Sha256::verifyFile (const std::filesystem::path& path,
                                 const std::string& expectedDigest,
                                 std::uint64_t expectedSize,
                                 const std::atomic<bool>* cancel)
{
    VerifyResult result;

    if (! isLowercaseSha256 (expectedDigest))
    {
        result.error = "expected SHA-256 must be 64 lowercase hex characters";
        return result;
    }

    result.digest = digestFile (path, cancel);

    if (! result.digest.ok)
    {
        result.error = result.digest.error;
        return result;
    }

    if (expectedSize != 0 && expectedSize != result.digest.sizeBytes)
    {
        result.error = "file size does not match expected size";
        return result;
    }

    if (result.digest.hexDigest != expectedDigest)
    {
        result.error = "SHA-256 does not match expected digest";
        return result;
    }

    result.ok = true;
    return result;
}

} // namespace zorvaplugins::zorvamanager::crypto
