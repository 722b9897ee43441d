#include "network/CaBundle.h"

#include <curl/curl.h>

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
        const auto* version = curl_version_info (CURLVERSION_NOW);
        const char* defaultFile = version != nullptr && version->age >= CURLVERSION_SEVENTH ? version->cainfo : nullptr;
        return replacementFor (defaultFile != nullptr ? defaultFile : "", wellKnownFiles());
    }();
    return replacement;
}

} // namespace zorvaplugins::zorvamanager::network
