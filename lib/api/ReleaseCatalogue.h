#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The release catalogue's records: plain values, named after the catalogue's JSON members.
// Lists keep catalogue order. Any thread.
namespace zorvaplugins::zorvamanager::api
{

// One downloadable file of a release.
struct ArtifactInfo
{
    std::string id;
    std::string platform;    // "linux-x64" or "windows-x64"
    std::string format;      // "vst3" or "clap"
    std::string packageType; // "archive"
    std::string downloadUrl; // begins with "https://"
    std::string fileName;
    std::string sha256; // 64 characters of 0-9 and a-f
    std::uint64_t sizeBytes = 0;
};

// One release of a product.
struct ReleaseInfo
{
    std::string version;
    std::string status;
    std::string publishedAt;
    std::string changelogTitle;
    std::string changelogText;
    std::string changelogUrl;
    std::vector<ArtifactInfo> artifacts;
};

// One product of the catalogue.
struct ProductReleaseInfo
{
    std::string slug;
    std::string name;
    std::string tagline;
    std::string subtitle;
    bool isFree = false;
    std::string latestVersion;
    std::string productPageUrl; // begins with "https://"
    std::string supportUrl;     // begins with "https://"
    std::string manualUrl;      // empty, or begins with "https://"
    std::string quickStartUrl;  // empty, or begins with "https://"
    std::vector<std::string> capabilities;
    std::vector<ReleaseInfo> releases;
};

// The outcome of parsing a catalogue: everything on success, nothing but the message on failure.
struct CatalogueParseResult
{
    bool ok = false;
    std::int32_t schema = 0;
    std::string generatedAt;
    std::vector<ProductReleaseInfo> products;
    std::string error;
};

} // namespace zorvaplugins::zorvamanager::api
