#include "package/PackageLayout.h"

#include "core/Failure.h"
#include "package/ArchiveSafety.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace zorvaplugins::zorvamanager::package
{

namespace
{

namespace fs = std::filesystem;

LayoutResult failure (const std::string& message)
{
    return { false, message, {} };
}

// Case-sensitive on purpose: Synth.VST3 is not a bundle.
bool hasExtension (const fs::path& path, const std::string& extension)
{
    return path.extension().native() == extension;
}

std::string stemName (const fs::path& path)
{
    return path.stem().string();
}

// Every path the walk yields starts with root, so its relative path is the lexical one. The
// platform's relative-path operation would resolve links first: a link leading out of the
// package would then be judged by its target (as "parent traversal") and a link loop would
// fail to resolve at all, instead of both being refused as the links they are. Validation
// never follows a link.
fs::path relativeToRoot (const fs::path& path, const fs::path& root, std::error_code& ec)
{
    ec.clear();

    if (auto lexical = path.lexically_relative (root); ! lexical.empty())
        return lexical;

    ec = std::make_error_code (std::errc::invalid_argument);
    return {};
}

bool isInsideBundle (const fs::path& relativePath)
{
    for (const auto& component : relativePath.parent_path())
        if (hasExtension (component, ".vst3") || hasExtension (component, ".clap"))
            return true;

    return false;
}

// The walk. Advancing uses the throwing increment, whose filesystem_error the public
// operation turns into its result.
LayoutResult validate (const fs::path& root, const std::atomic<bool>* cancel)
{
    std::error_code ec;

    if (! fs::is_directory (fs::status (root, ec)) || ec)
        return failure ("package root is not a directory");

    fs::recursive_directory_iterator walk (root, fs::directory_options::skip_permission_denied, ec);

    if (ec)
        return failure ("cannot read package directory");

    std::vector<PackagePluginEntry> plugins;
    std::set<std::string> recorded;

    auto record = [&] (const char* format, const fs::path& path, const fs::path& relativePath) {
        if (recorded.insert (relativePath.generic_string()).second)
            plugins.push_back ({ format, stemName (path), relativePath });
    };

    // Advancing throws on purpose: a walk that breaks off half-way must not look like a
    // smaller package.
    for (; walk != fs::recursive_directory_iterator(); ++walk)
    {
        if (cancel != nullptr && cancel->load())
            return failure ("cancelled");

        const auto& entry = *walk;
        const auto& path = entry.path();

        std::error_code linkError;
        const bool isLink = entry.is_symlink (linkError);

        const auto relativePath = relativeToRoot (path, root, ec);

        if (ec)
            return failure ("cannot compute package relative path");

        if (const auto check = ArchiveSafety::validateEntryPath (relativePath.generic_string()); ! check.ok)
            return failure ("unsafe package entry: " + check.error);

        if (linkError)
            return failure ("cannot read package directory");

        if (isLink)
            return failure ("package contains symlink");

        if (isInsideBundle (relativePath))
            continue;

        const bool isDirectory = entry.is_directory (ec);

        if (ec)
            return failure ("cannot read package directory");

        if (isDirectory && hasExtension (path, ".vst3"))
            record ("vst3", path, relativePath);

        if (hasExtension (path, ".clap"))
        {
            const bool isRegular = entry.is_regular_file (ec);

            if (ec)
                return failure ("cannot read package directory");

            if (isRegular || isDirectory)
                record ("clap", path, relativePath);
        }
    }

    const auto hasFormat = [&plugins] (const std::string& format) {
        return std::any_of (plugins.begin(), plugins.end(), [&format] (const auto& plugin) { return plugin.format == format; });
    };

    if (! hasFormat ("vst3"))
        return failure ("package contains no VST3 plugin");

    if (! hasFormat ("clap"))
        return failure ("package contains no CLAP plugin");

    std::sort (plugins.begin(), plugins.end(), [] (const auto& a, const auto& b) {
        return a.relativePath.generic_string() < b.relativePath.generic_string();
    });

    return { true, {}, std::move (plugins) };
}

} // namespace

LayoutResult PackageLayout::validateDirectory (const fs::path& root, const std::atomic<bool>* cancel)
{
    try
    {
        return validate (root, cancel);
    }
    catch (const fs::filesystem_error& error)
    {
        return core::failure<LayoutResult> (error.what());
    }
}

} // namespace zorvaplugins::zorvamanager::package
