#include "support/PackageFixtures.h"

#include "crypto/Sha256.h"
#include "support/TestSupport.h"

namespace zorvatest
{

std::map<std::string, std::string> vst3BundleFiles (const PackageRecipe& recipe)
{
    return { { "Contents/x86_64-linux/" + recipe.bundle + ".so", patternBytes (recipe.payloadBytes, 3) },
             { "Contents/Resources/moduleinfo.json",
               "{\n  \"Name\": \"" + recipe.bundle + "\",\n  \"Version\": \"" + recipe.version + "\"\n}\n" } };
}

std::string clapFile (const PackageRecipe& recipe)
{
    return patternBytes (recipe.payloadBytes, 5) + recipe.version;
}

BuiltPackage writePackage (const std::filesystem::path& file, const PackageRecipe& recipe, Container container)
{
    std::vector<ArchiveEntry> entries;

    if (recipe.withVst3)
    {
        const auto root = "Linux/VST3/" + recipe.bundle + ".vst3/";
        entries.emplace_back ("Linux/VST3/", EntryKind::Directory);
        entries.emplace_back (root, EntryKind::Directory);

        for (const auto& [relative, bytes] : vst3BundleFiles (recipe))
            entries.emplace_back (root + relative, EntryKind::File, bytes);
    }

    if (recipe.withClap)
    {
        entries.emplace_back ("Linux/CLAP/", EntryKind::Directory);
        entries.emplace_back ("Linux/CLAP/" + recipe.bundle + ".clap", EntryKind::File, clapFile (recipe));
    }

    entries.insert (entries.end(), recipe.extra.begin(), recipe.extra.end());
    std::filesystem::create_directories (file.parent_path());
    writeArchive (file, container, entries);

    const auto digest = zorvaplugins::zorvamanager::crypto::Sha256::digestFile (file);
    return { file, digest.hexDigest, digest.sizeBytes };
}

std::map<std::string, std::string> readTree (const std::filesystem::path& root)
{
    std::map<std::string, std::string> files;

    for (const auto& entry : std::filesystem::recursive_directory_iterator (root))
        if (entry.is_regular_file())
            files[std::filesystem::relative (entry.path(), root).generic_string()] = readFile (entry.path());

    return files;
}

} // namespace zorvatest
