#include "package/ArchiveSafety.h"

namespace zorvaplugins::zorvamanager::package
{

namespace
{

EntryPathResult reject (const char* reason)
{
    return { false, reason };
}

bool isAsciiLetter (char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool hasParentComponent (std::string_view name)
{
    std::size_t start = 0;

    while (start <= name.size())
    {
        auto end = name.find_first_of ("/\\", start);

        if (end == std::string_view::npos)
            end = name.size();

        if (name.substr (start, end - start) == "..")
            return true;

        start = end + 1;
    }

    return false;
}

} // namespace

EntryPathResult ArchiveSafety::validateEntryPath (std::string_view entryName)
{
    if (entryName.empty())
        return reject ("empty path");

    for (auto c : entryName)
        if (static_cast<unsigned char> (c) <= 0x1f)
            return reject ("control character");

    if (entryName.front() == '/' || entryName.front() == '\\')
        return reject ("absolute path");

    if (entryName.size() >= 2 && isAsciiLetter (entryName[0]) && entryName[1] == ':')
        return reject ("windows drive prefix");

    // Both separators count here, whatever the extractor later does with a backslash.
    if (hasParentComponent (entryName))
        return reject ("parent traversal");

    return { true, {} };
}

} // namespace zorvaplugins::zorvamanager::package
