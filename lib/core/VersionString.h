#pragma once

#include <string>

namespace zorvaplugins::zorvamanager::core
{

// How one version text stands against another.
enum class VersionOrder
{
    older,
    same,
    newer,
    unordered // the texts differ and at least one of them does not parse
};

// Orders the version texts of the release catalogue, the receipts and installed bundles.
// The dialect: "major.minor" or "major.minor.patch" (non-negative 32-bit decimals), an
// optional pre-release after the first hyphen, optional build metadata after the first plus
// sign (ignored). Pure functions, any thread, never throw.
class VersionString
{
public:
    VersionString() = delete;

    // Where first stands against second: same when the numbers are equal (or the texts are
    // identical, parsed or not). Pre-releases rank below their release and compare among
    // themselves as byte strings.
    static VersionOrder order (const std::string& first, const std::string& second);

    // order() as the numbers of the catalogue's version protocol: -1 older, 0 same, 1 newer,
    // 2 unordered. The program itself asks order().
    static int compare (const std::string& first, const std::string& second);

    // An update is on offer from installed to latest. With a usable installed text (neither
    // empty nor "unknown"): exactly when it orders older than latest, the one rule the
    // product rows apply to an installed product. Otherwise, when nothing usable is
    // installed, exactly when latest is neither empty nor "unknown". (A row whose bundles
    // carry no usable version is shown as installed with no update, so the rows do not ask
    // this second half.)
    static bool isUpdateAvailable (const std::string& installed, const std::string& latest);
};

} // namespace zorvaplugins::zorvamanager::core
