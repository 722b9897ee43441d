#include "core/TemporaryRoot.h"

#include <chrono>
#include <string>

namespace zorvaplugins::zorvamanager::core
{

std::filesystem::path makeTemporaryRoot()
{
    const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();
    const auto root = std::filesystem::temp_directory_path() / (temporaryRootPrefix + std::to_string (static_cast<long long> (ticks)));
    std::filesystem::create_directories (root);
    return root;
}

} // namespace zorvaplugins::zorvamanager::core
