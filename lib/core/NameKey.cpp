#include "core/NameKey.h"

namespace zorvaplugins::zorvamanager::core
{

std::string normaliseName (std::string text)
{
    std::string key;
    key.reserve (text.size());

    for (const auto byte : text)
    {
        if (byte >= 'A' && byte <= 'Z')
            key += static_cast<char> (byte - 'A' + 'a');
        else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9'))
            key += byte;
    }

    return key;
}

} // namespace zorvaplugins::zorvamanager::core
