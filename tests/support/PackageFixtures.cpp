#include "support/PackageFixtures.h"

#include "crypto/Sha256.h"
#include "support/TestSupport.h"

namespace zorvatest
{

std::map<std::string, std::string> vst3BundleFiles (const PackageSpec& spec)
{
    return { { "Contents/x86_64-linux/" + spec.bundle + ".so", patternBytes (spec.payloadBytes, 3) },
             { "Contents/Resources/moduleinfo.json", "{\n  \"Name\": \"" + spec.bundle + "\",\n  \"Version\": \"" + spec.version + "\"\n}\n" } };
}

std::string clapFile (const PackageSpec& spec)
{
    return patternBytes (spec.payloadBytes, 5) + spec.version;
}

BuiltPackage writePackage (const std::filesystem::path& file, const PackageSpec& spec, Container container)
{
    std::vector<ArchiveEntry> entries;

    if (spec.withVst3)
    {
        const auto root = "Linux/VST3/" + spec.bundle + ".vst3/";
        entries.emplace_back ("Linux/VST3/", EntryKind::Directory);
        entries.emplace_back (root, EntryKind::Directory);

        for (const auto& [relative, bytes] : vst3BundleFiles (spec))
            entries.emplace_back (root + relative, EntryKind::File, bytes);
    }

    if (spec.withClap)
    {
        entries.emplace_back ("Linux/CLAP/", EntryKind::Directory);
        entries.emplace_back ("Linux/CLAP/" + spec.bundle + ".clap", EntryKind::File, clapFile (spec));
    }

    entries.insert (entries.end(), spec.extra.begin(), spec.extra.end());
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
