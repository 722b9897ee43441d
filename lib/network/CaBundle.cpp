#include "network/CaBundle.h"

#include <curl/curl.h>

#include <cstddef>
#include <string>
#include <system_error>

namespace zorvaplugins::zorvamanager::network
{

namespace
{

bool isRegularFile (const std::filesystem::path& file)
{
    std::error_code error;
    return std::filesystem::is_regular_file (file, error) && ! error;
}

bool isHexDigit (char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isDecimalDigit (char c)
{
    return c >= '0' && c <= '9';
}

// "5ad8a5d6.0": OpenSSL's name for the first certificate of a subject hash.
bool isSubjectHashName (const std::string& name)
{
    if (name.size() < 10 || name[8] != '.')
        return false;

    for (std::size_t i = 0; i < name.size(); ++i)
        if (i != 8 && ! (i < 8 ? isHexDigit (name[i]) : isDecimalDigit (name[i])))
            return false;

    return true;
}

// What libcurl was built with: its CA file or its CA folder (null when it has none, or when
// libcurl is too old to say).
const char* builtInDefault (const char* curl_version_info_data::*setting)
{
    const auto* version = curl_version_info (CURLVERSION_NOW);
    return version != nullptr && version->age >= CURLVERSION_SEVENTH ? version->*setting : nullptr;
}

} // namespace

const std::vector<std::filesystem::path>& CaBundle::wellKnownFiles()
{
    static const std::vector<std::filesystem::path> files {
        "/etc/ssl/certs/ca-certificates.crt",                // Debian, Ubuntu, Arch, Gentoo
        "/etc/pki/tls/certs/ca-bundle.crt",                  // Fedora, RHEL, CentOS
        "/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem", // RHEL, CentOS
        "/etc/ssl/ca-bundle.pem",                            // openSUSE
        "/var/lib/ca-certificates/ca-bundle.pem",            // openSUSE
        "/etc/ssl/cert.pem",                                 // Alpine, Void, others
        "/etc/pki/tls/cacert.pem",                           // OpenELEC
    };
    return files;
}

std::filesystem::path CaBundle::replacementFor (const std::filesystem::path& defaultFile,
                                                const std::vector<std::filesystem::path>& candidates)
{
    if (defaultFile.empty() || isRegularFile (defaultFile))
        return {};

    for (const auto& candidate : candidates)
        if (isRegularFile (candidate))
            return candidate;

    return {};
}

const std::filesystem::path& CaBundle::replacementForThisSystem()
{
    static const std::filesystem::path replacement = [] {
        const char* defaultFile = builtInDefault (&curl_version_info_data::cainfo);
        return replacementFor (defaultFile != nullptr ? defaultFile : "", wellKnownFiles());
    }();
    return replacement;
}

bool CaBundle::isHashedFolder (const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::directory_iterator entry (folder, error);

    for (; ! error && entry != std::filesystem::directory_iterator(); entry.increment (error))
        if (isSubjectHashName (entry->path().filename().string()))
            return true;

    return false;
}

const std::filesystem::path& CaBundle::hashedFolderForThisSystem()
{
    static const std::filesystem::path folder = [] {
        const char* defaultFolder = builtInDefault (&curl_version_info_data::capath);

        if (defaultFolder == nullptr || ! isHashedFolder (defaultFolder))
            return std::filesystem::path();

        return std::filesystem::path (defaultFolder);
    }();
    return folder;
}

} // namespace zorvaplugins::zorvamanager::network
