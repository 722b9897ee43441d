#include "support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorvatest
{

TempDir::TempDir()
{
    auto pattern = (fs::temp_directory_path() / "zorvatest-XXXXXX").string();
    std::vector<char> buffer (pattern.begin(), pattern.end());
    buffer.push_back ('\0');

    if (::mkdtemp (buffer.data()) == nullptr)
        throw std::runtime_error ("mkdtemp failed");

    root = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // A test may leave read-only folders behind; give the owner its rights back first.
    for (auto it = fs::recursive_directory_iterator (root, fs::directory_options::skip_permission_denied, ec);
         ! ec && it != fs::recursive_directory_iterator();
         it.increment (ec))
        if (it->is_directory (ec) && ! it->is_symlink (ec))
            fs::permissions (it->path(), fs::perms::owner_all, fs::perm_options::add, ec);

    fs::permissions (root, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all (root, ec);
}

ScopedEnv::ScopedEnv (std::string nameToSet, std::optional<std::string> value)
    : name (std::move (nameToSet))
{
    if (const char* old = std::getenv (name.c_str()))
        previous = old;

    if (value)
        ::setenv (name.c_str(), value->c_str(), 1);
    else
        ::unsetenv (name.c_str());
}

ScopedEnv::~ScopedEnv()
{
    if (previous)
        ::setenv (name.c_str(), previous->c_str(), 1);
    else
        ::unsetenv (name.c_str());
}

TemporaryHome::TemporaryHome()
    : homeVariable ("HOME", (folder / "home").string())
    , configVariable ("XDG_CONFIG_HOME", (folder / "home/.config").string())
    , dataVariable ("XDG_DATA_HOME", (folder / "home/.local/share").string())
{
    fs::create_directories (home() / ".config");
    fs::create_directories (home() / ".local/share");
}

void writeFile (const fs::path& file, const std::string& bytes)
{
    if (file.has_parent_path())
        fs::create_directories (file.parent_path());

    std::ofstream out (file, std::ios::binary | std::ios::trunc);
    out.write (bytes.data(), static_cast<std::streamsize> (bytes.size()));

    if (! out)
        throw std::runtime_error ("cannot write " + file.string());
}

void writeTree (const fs::path& root, const std::vector<std::string>& entries)
{
    fs::create_directories (root);

    for (const auto& entry : entries)
    {
        if (! entry.empty() && entry.back() == '/')
            fs::create_directories (root / entry);
        else
            writeFile (root / entry, entry);
    }
}

std::string readFile (const fs::path& file)
{
    std::ifstream in (file, std::ios::binary);

    if (! in)
        throw std::runtime_error ("cannot read " + file.string());

    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string patternBytes (std::size_t length, std::uint32_t seed)
{
    std::string bytes (length, '\0');
    auto state = seed * 2654435761u + 1u;

    for (auto& byte : bytes)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char> (state & 0xffu);
    }

    return bytes;
}

int runShell (const std::string& command)
{
    const auto status = std::system (command.c_str());

    if (status == -1 || ! WIFEXITED (status))
        return -1;

    return WEXITSTATUS (status);
}

std::string shellQuote (const std::string& text)
{
    std::string quoted = "'";

    for (auto c : text)
    {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }

    return quoted + "'";
}

std::string environment (const char* name)
{
    const char* value = std::getenv (name);
    return value != nullptr ? value : "";
}

int openDescriptorCount()
{
    std::error_code ec;
    int count = 0;

    for (fs::directory_iterator it ("/proc/self/fd", ec); ! ec && it != fs::directory_iterator(); it.increment (ec))
        ++count;

    return count;
}

pid_t startChild (const std::function<int()>& body)
{
    const auto child = ::fork();

    if (child == 0)
    {
        int code = 124;

        try
        {
            code = body();
        }
        catch (...)
        {}

        ::_exit (code);
    }

    return child < 0 ? -1 : child;
}

int waitForChild (pid_t child)
{
    if (child < 0)
        return -1;

    int status = 0;

    while (::waitpid (child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;

    return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
}

int runInChild (const std::function<int()>& body)
{
    return waitForChild (startChild (body));
}

bool writeNoise (const fs::path& file, std::uint64_t size, std::uint64_t seed)
{
    fs::create_directories (file.parent_path());
    const auto descriptor = ::open (file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    if (descriptor < 0)
        return false;

    std::vector<std::uint64_t> block ((1 << 20) / sizeof (std::uint64_t));
    const auto blockBytes = block.size() * sizeof (std::uint64_t);
    auto state = seed == 0 ? 1 : seed;

    for (std::uint64_t written = 0; written < size; written += blockBytes)
    {
        for (auto& word : block)
        {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }

        const auto wanted = static_cast<std::size_t> (std::min<std::uint64_t> (blockBytes, size - written));

        if (::write (descriptor, block.data(), wanted) != static_cast<ssize_t> (wanted))
        {
            ::close (descriptor);
            return false;
        }
    }

    return ::close (descriptor) == 0;
}

int runWithoutPrivileges (const std::function<int()>& body)
{
    return runInChild ([&body] {
        constexpr uid_t nobody = 65534;

        if (::geteuid() == 0 && (::setgroups (0, nullptr) != 0 || ::setgid (nobody) != 0 || ::setuid (nobody) != 0))
            return 125;

        return body();
    });
}

} // namespace zorvatest
