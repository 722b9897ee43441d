#include "install/UserConfigFile.h"

#include "install/ScopedFileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zorvaplugins::zorvamanager::install
{

namespace fs = std::filesystem;

namespace
{

fs::path absoluteVariable (const char* name)
{
    const auto* value = std::getenv (name);

    if (value == nullptr)
        return {};

    fs::path path (value);
    return path.is_absolute() ? path : fs::path();
}

} // namespace

fs::path userConfigFolder()
{
    if (auto config = absoluteVariable ("XDG_CONFIG_HOME"); ! config.empty())
        return config / "ZorvaPlugins" / "ZorvaManager";

    if (auto home = absoluteVariable ("HOME"); ! home.empty())
        return home / ".config" / "ZorvaPlugins" / "ZorvaManager";

    return {};
}

fs::path userConfigFile (const std::string& fileName, const std::string& temporaryFileName)
{
    if (const auto folder = userConfigFolder(); ! folder.empty())
        return folder / fileName;

    std::error_code ec;
    const auto temporary = fs::temp_directory_path (ec);
    return (ec ? fs::path ("/tmp") : temporary) / temporaryFileName;
}

std::optional<std::string> readSmallFile (const fs::path& file, std::uint64_t maxBytes)
{
    safefile::ScopedFileDescriptor input (::open (file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));

    if (! input.isValid())
        return std::nullopt;

    struct stat status;

    if (::fstat (input.get(), &status) != 0 || ! S_ISREG (status.st_mode) || static_cast<std::uint64_t> (status.st_size) > maxBytes)
        return std::nullopt;

    try
    {
        std::string bytes (static_cast<std::size_t> (status.st_size), '\0');
        std::size_t done = 0;

        // The file may grow or shrink while it is read; what was there up to its size counts.
        while (done < bytes.size())
        {
            const auto count = ::read (input.get(), bytes.data() + done, bytes.size() - done);

            if (count < 0 && errno == EINTR)
                continue;

            if (count < 0)
                return std::nullopt;

            if (count == 0)
                break;

            done += static_cast<std::size_t> (count);
        }

        bytes.resize (done);
        return bytes;
    }
    catch (...)
    {
        return std::nullopt;
    }
}

} // namespace zorvaplugins::zorvamanager::install
