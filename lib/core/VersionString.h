#pragma once

#include <string>

namespace zorvaplugins::zorvamanager::core
{

// Orders the version texts of the release catalogue, the receipts and installed bundles.
// The dialect: "major.minor" or "major.minor.patch" (non-negative 32-bit decimals), an
// optional pre-release after the first hyphen, optional build metadata after the first plus
// sign (ignored). Pure functions, any thread, never throw.
class VersionString
{
public:
    VersionString() = delete;

    // -1 when first is older than second, 0 when equal (or the texts are identical), 1 when
    // newer, 2 when the texts differ and at least one of them does not parse. Pre-releases
    // rank below their release and compare among themselves as byte strings.
    static int compare (const std::string& first, const std::string& second);

    // With a usable installed text (neither empty nor "unknown"): true exactly when it
    // compares older than latest. Otherwise true exactly when latest is neither empty nor
    // "unknown".
    static bool isUpdateAvailable (const std::string& installed, const std::string& latest);
};

} // namespace zorvaplugins::zorvamanager::core
