#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvaplugins::zorvamanager::network
{

// Which file of trusted CA certificates libcurl verifies servers with. libcurl is built with
// the CA file of the system it was built on; carried to another distribution (inside the
// AppImage) that file may not exist there, and every HTTPS request would then fail. Where
// libcurl's default does not exist, the first well-known bundle of another distribution that
// does is used instead. Verification itself is never relaxed, and no bundle is shipped.
// Stateless; any thread.
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
};

} // namespace zorvaplugins::zorvamanager::network
