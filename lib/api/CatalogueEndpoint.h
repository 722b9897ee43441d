#pragma once

#include <string>

namespace zorvaplugins::zorvamanager::api
{

// Where the maker publishes its release catalogue. The host is fixed when the program is
// built, so a test or demo build can point it at a local service. Any thread.
class CatalogueEndpoint
{
public:
    CatalogueEndpoint() = delete;

    // The maker's web domain, optionally with ":port" (for example "zorvaplugins.com").
    static std::string host();

    // "https://" + host() + "/api/manager/releases".
    static std::string catalogueUrl();
};

} // namespace zorvaplugins::zorvamanager::api
