#include "api/CatalogueEndpoint.h"

#ifndef ZORVAMANAGER_CATALOGUE_HOST
#    error "ZORVAMANAGER_CATALOGUE_HOST must be defined by the build"
#endif

namespace zorvaplugins::zorvamanager::api
{

std::string CatalogueEndpoint::host()
{
    return ZORVAMANAGER_CATALOGUE_HOST;
}

std::string CatalogueEndpoint::catalogueUrl()
{
    return "https://" + host() + "/api/manager/releases";
}

} // namespace zorvaplugins::zorvamanager::api
