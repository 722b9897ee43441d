#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::network
{

// Where libcurl finds the trusted CA certificates that it verifies servers with.
//
// The bundle: libcurl is built with the CA file of the system it was built on; carried to
// another distribution (inside the AppImage) that file may not exist there, and every HTTPS
// request would then fail. Where libcurl's default does not exist, the first well-known bundle
// of another distribution that does is used instead.
//
// The hashed folder: libcurl may also be built with a CA folder, in which OpenSSL looks a
// certificate up by a hash of its subject ("<8 hex digits>.<n>" links, as c_rehash and
// update-ca-certificates lay them out). Looked up there, a new connection reads the one or two
// certificates that its server's chain needs; with the bundle it parses every certificate of
// the system (well over a hundred), which costs more CPU than fetching and parsing the whole
// catalogue.
//
// Verification itself is never relaxed, and no bundle is shipped. Stateless; any thread.
class CaBundle
{
public:
    CaBundle() = delete;

    // The bundles that distributions keep, in the order they are tried.
    static const std::vector<std::filesystem::path>& wellKnownFiles();

    // The file to hand to CURLOPT_CAINFO instead of the default, or an empty path to keep
    // libcurl's default: DEFAULTFILE when empty or a regular file (links followed); else the
    // first of CANDIDATES that is a regular file; else empty (the transfer then fails on
    // verification as it would have).
    static std::filesystem::path replacementFor (const std::filesystem::path& defaultFile,
                                                 const std::vector<std::filesystem::path>& candidates);

    // replacementFor libcurl's built-in default and wellKnownFiles(), worked out once per
    // process.
    static const std::filesystem::path& replacementForThisSystem();

    // True when FOLDER is a folder (links followed) holding at least one entry named like a
    // subject-hash link: eight hexadecimal digits, a dot and a decimal number.
    static bool isHashedFolder (const std::filesystem::path& folder);

    // libcurl's built-in CA folder when it is a hashed folder, else an empty path (also for a
    // libcurl built without one). Worked out once per process.
    static const std::filesystem::path& hashedFolderForThisSystem();
};

} // namespace zorvaplugins::zorvamanager::network
