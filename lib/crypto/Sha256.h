#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace zorvaplugins::zorvamanager::crypto
{

// Outcome of digesting one file.
struct DigestResult
{
    bool ok = false;
    std::string hexDigest;       // 64 lowercase hex digits; empty unless ok
    std::uint64_t sizeBytes = 0; // bytes read, i.e. the file's length; 0 unless ok
    std::string error;           // empty when ok
};

// Outcome of checking a file against an expected size and digest.
struct VerifyResult
{
    bool ok = false;
    std::string error;   // empty when ok
    DigestResult digest; // default when the expected digest was rejected before reading
};

// SHA-256 of downloaded packages through OpenSSL's EVP interface. The file is streamed once
// through a fixed 64 KiB buffer, so memory does not grow with the file. Stateless and
// reentrant: any thread (the install worker in practice). Never throws; the file is never
// changed.
class Sha256
{
public:
    Sha256() = delete;

    // True exactly for 64 characters from 0-9 and a-f (upper case is rejected).
    static bool isLowercaseSha256 (const std::string& text);

    // `cancel` (may be null) is checked before every 64 KiB read; once it is true the digest
    // fails with "cancelled".
    static DigestResult digestFile (const std::filesystem::path& path, const std::atomic<bool>* cancel = nullptr);

    // Rejects a malformed expected digest without opening the file, then reads the whole
    // file and compares its size (unless expectedSize is 0) before its digest.
    static VerifyResult verifyFile (const std::filesystem::path& path,
                                    const std::string& expectedDigest,
                                    std::uint64_t expectedSize,
                                    const std::atomic<bool>* cancel = nullptr);
};

} // namespace zorvaplugins::zorvamanager::crypto
