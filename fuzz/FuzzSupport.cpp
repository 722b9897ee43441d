#include "FuzzSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

// libarchive asks malloc for absurd sizes on some hostile archives and handles the null it
// gets back, and the picture decoder reports running out of memory as an error; under
// AddressSanitizer both must stay a null rather than end the run.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace zorvafuzz
{

namespace fs = std::filesystem;

namespace
{

std::string escaped (const std::string& text)
{
    std::string out;

    for (const auto c : text)
    {
        const auto byte = static_cast<unsigned char> (c);

        if (byte >= 0x20 && byte < 0x7f && byte != '\\')
        {
            out += c;
        }
        else
        {
            char code[8];
            std::snprintf (code, sizeof (code), "\\x%02x", byte);
            out += code;
        }
    }

    return out;
}

void removeScratch();

fs::path makeScratch()
{
    std::error_code ec;
    auto base = fs::temp_directory_path (ec);

    if (ec)
        base = "/tmp";

    auto pattern = (base / "zorvamanager-fuzz.XXXXXX").string();

    if (::mkdtemp (pattern.data()) == nullptr)
    {
        std::perror ("cannot create the fuzzing scratch folder");
        std::abort();
    }

    std::atexit (removeScratch);
    return pattern;
}

void removeScratch()
{
    std::error_code ec;
    fs::remove_all (scratchFolder(), ec);
}

const char* typeName (mode_t mode)
{
    if (S_ISDIR (mode))
        return "folder";

    if (S_ISREG (mode))
        return "file";

    if (S_ISLNK (mode))
        return "link";

    if (S_ISFIFO (mode))
        return "fifo";

    if (S_ISCHR (mode) || S_ISBLK (mode))
        return "device";

    if (S_ISSOCK (mode))
        return "socket";

    return "other";
}

// Plain readdir and lstat, so that nothing the walk meets is ever followed.
void listInto (const std::string& folder, const std::string& relative, std::vector<std::string>& out)
{
    DIR* dir = ::opendir (folder.c_str());

    if (dir == nullptr)
        return;

    while (const auto* entry = ::readdir (dir))
    {
        const std::string name = entry->d_name;

        if (name == "." || name == "..")
            continue;

        const auto path = folder + "/" + name;
        const auto relativePath = relative.empty() ? name : relative + "/" + name;
        struct stat info
        {};

        if (::lstat (path.c_str(), &info) != 0)
        {
            out.push_back (relativePath + " (unreadable)");
            continue;
        }

        out.push_back (relativePath + " (" + typeName (info.st_mode) + ")");

        if (S_ISDIR (info.st_mode))
            listInto (path, relativePath, out);
    }

    ::closedir (dir);
}

} // namespace

void check (bool condition, const char* what)
{
    if (condition)
        return;

    std::fprintf (stderr, "\n== broken invariant: %s\n", what);
    std::abort();
}

void check (bool condition, const char* what, const std::string& detail)
{
    if (condition)
        return;

    std::fprintf (stderr, "\n== broken invariant: %s: \"%s\"\n", what, escaped (detail).c_str());
    std::abort();
}

const fs::path& scratchFolder()
{
    // Never destroyed: the exit handler that removes the folder runs after static destructors.
    static const auto& folder = *new fs::path (makeScratch());
    return folder;
}

void writeFile (const fs::path& file, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out (file, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (data), static_cast<std::streamsize> (size));
    out.close();
    check (static_cast<bool> (out), "the input could not be written to the scratch folder");
}

int openDescriptorCount()
{
    std::error_code ec;
    int count = 0;

    for (fs::directory_iterator it ("/proc/self/fd", ec); ! ec && it != fs::directory_iterator(); it.increment (ec))
        ++count;

    return count;
}

std::vector<std::string> listTree (const fs::path& folder)
{
    std::vector<std::string> entries;
    listInto (folder.string(), {}, entries);
    std::sort (entries.begin(), entries.end());
    return entries;
}

} // namespace zorvafuzz
