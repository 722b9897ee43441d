#pragma once

#include "support/TestSupport.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <sched.h>
#include <string>

// Fixtures shared by the desktop integration suites. Test thread only.
namespace zorvatest::appimage
{

// The bytes of a fake AppImage: ELF magic, four arbitrary bytes, "AI", the type, then a body.
inline std::string appImageBytes (unsigned char type = 2, std::size_t size = 4096, std::uint32_t seed = 7)
{
    auto bytes = patternBytes (size < 11 ? 11 : size, seed);
    const unsigned char header[] = { 0x7f, 'E', 'L', 'F', 0x02, 0x01, 0x01, 0x00, 'A', 'I', type };
    bytes.replace (0, sizeof (header), reinterpret_cast<const char*> (header), sizeof (header));
    return bytes;
}

inline void writeAppImage (const fs::path& file, unsigned char type = 2, std::size_t size = 4096, std::uint32_t seed = 7)
{
    writeFile (file, appImageBytes (type, size, seed));
}

inline void makeLink (const fs::path& target, const fs::path& link)
{
    fs::create_directories (link.parent_path());
    fs::create_symlink (target, link);
}

inline unsigned permissionsOf (const fs::path& file)
{
    struct stat status;

    if (::lstat (file.c_str(), &status) != 0)
        return 0xffffffffu;

    return status.st_mode & 07777;
}

// Short text for a file's content in a snapshot: small files as they are, others by size and a hash.
inline std::string digestOf (const std::string& bytes)
{
    if (bytes.size() <= 64)
        return bytes;

    std::uint64_t hash = 1469598103934665603ull;

    for (const auto byte : bytes)
        hash = (hash ^ static_cast<unsigned char> (byte)) * 1099511628211ull;

    return std::to_string (bytes.size()) + " bytes, hash " + std::to_string (hash);
}

// The snapshot `after` less the folders that are not in `before`: operations that fail after
// creating the integration's folders (which they may) still must not have written a file.
inline std::map<std::string, std::string> withoutNewFolders (std::map<std::string, std::string> after,
                                                             const std::map<std::string, std::string>& before)
{
    for (auto it = after.begin(); it != after.end();)
        it = (it->second == "dir" && before.count (it->first) == 0) ? after.erase (it) : std::next (it);

    return after;
}

// Everything under `root` as path → kind and content (links by value, files by bytes), so that
// a test can show that an operation changed nothing, or exactly what it changed.
inline std::map<std::string, std::string> snapshot (const fs::path& root)
{
    std::map<std::string, std::string> entries;
    std::error_code ec;

    if (! fs::exists (fs::symlink_status (root, ec)))
        return entries;

    for (auto it = fs::recursive_directory_iterator (root, ec); ! ec && it != fs::recursive_directory_iterator(); it.increment (ec))
    {
        const auto relative = fs::relative (it->path(), root).string();
        const auto status = it->symlink_status();

        if (fs::is_symlink (status))
            entries[relative] = "link:" + fs::read_symlink (it->path()).string();
        else if (fs::is_directory (status))
            entries[relative] = "dir";
        else if (fs::is_regular_file (status))
            entries[relative] = "file:" + digestOf (readFile (it->path()));
        else
            entries[relative] = "other";
    }

    return entries;
}

// The hidden temporary files the integration writes while it works (".name.pid.clock.n.tmp").
inline std::vector<std::string> temporaryLeftovers (const fs::path& root)
{
    static const std::regex temporaryName (R"(^\..+\.-?[0-9]+\.-?[0-9]+\.[0-9]+\.tmp$)");
    std::vector<std::string> found;

    for (const auto& [relative, kind] : snapshot (root))
        if (std::regex_match (fs::path (relative).filename().string(), temporaryName))
            found.push_back (relative);

    return found;
}

// Makes a folder refuse every change, even to root, with the immutable attribute; undone when
// the guard goes away (declare it after the TempDir that holds the folder). When the attribute
// cannot be set (a file system without it, no privilege), a non-root user falls back to taking
// the write permission away; `reason()` says why neither worked.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder (fs::path folderToProtect)
        : folder (std::move (folderToProtect))
    {
        if (runShell ("chattr +i " + shellQuote (folder.string()) + " 2>/dev/null") == 0)
            immutable = true;
        else if (::geteuid() != 0)
            fs::permissions (folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
        else
            failure = "cannot make a folder read-only for root here (chattr +i failed)";
    }

    ~ReadOnlyFolder()
    {
        if (immutable)
            runShell ("chattr -i " + shellQuote (folder.string()));
        else if (failure.empty())
            fs::permissions (folder, fs::perms::owner_write, fs::perm_options::add);
    }

    ReadOnlyFolder (const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator= (const ReadOnlyFolder&) = delete;

    bool active() const { return failure.empty(); }
    const std::string& reason() const { return failure; }

private:
    fs::path folder;
    bool immutable = false;
    std::string failure;
};

// Runs `check` in a child process inside a private mount namespace, so that it may mount file
// systems that nobody else sees. The check returns an empty text when it passed, otherwise what
// went wrong. Returns std::nullopt when no private mount namespace can be had (not root, no
// unshare). The child never returns into the test framework.
inline std::optional<std::string> inPrivateMountNamespace (const std::function<std::string()>& check)
{
    int channel[2];

    if (::pipe (channel) != 0)
        return std::string ("pipe failed");

    const auto child = ::fork();

    if (child < 0)
    {
        ::close (channel[0]);
        ::close (channel[1]);
        return std::string ("fork failed");
    }

    if (child == 0)
    {
        ::close (channel[0]);
        std::string outcome;
        int status = 0;

        if (::unshare (CLONE_NEWNS) != 0 || ::mount (nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        {
            status = 2;
        }
        else
        {
            try
            {
                outcome = check();
            }
            catch (const std::exception& e)
            {
                outcome = std::string ("exception: ") + e.what();
            }
        }

        if (! outcome.empty())
            static_cast<void> (::write (channel[1], outcome.data(), outcome.size()));

        ::close (channel[1]);
        ::_exit (status);
    }

    ::close (channel[1]);
    std::string outcome;
    char buffer[512];

    for (;;)
    {
        const auto count = ::read (channel[0], buffer, sizeof (buffer));

        if (count > 0)
            outcome.append (buffer, static_cast<std::size_t> (count));
        else if (! (count < 0 && errno == EINTR))
            break;
    }

    ::close (channel[0]);
    int status = 0;

    while (::waitpid (child, &status, 0) < 0 && errno == EINTR)
    {}

    if (WIFEXITED (status) && WEXITSTATUS (status) == 2)
        return std::nullopt;

    if (! WIFEXITED (status))
        return std::string ("the check's process died");

    return outcome;
}

// Mounts a small tmpfs on `folder` (in a private mount namespace only).
inline bool mountTinyFileSystem (const fs::path& folder, const std::string& size)
{
    return ::mount ("zorvatest", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

} // namespace zorvatest::appimage
