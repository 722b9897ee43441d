#include "ProductRows.h"

#include "AppHelpers.h"
#include "core/VersionString.h"

using namespace zorvaplugins::zorvamanager;

namespace
{
juce::String fromUtf8 (const std::string& text)
{
    return juce::String::fromUTF8 (text.data(), static_cast<int> (text.size()));
}

ProductRow buildRow (const api::ProductReleaseInfo& product,
                     const std::vector<scan::InstalledPlugin>& installedPlugins,
                     const std::map<std::string, juce::Image>& productImages,
                     const std::map<std::string, juce::String>& activityBySlug)
{
    const auto nameKey = normaliseName (product.name);
    const auto slugKey = normaliseName (product.slug);

    ProductRow row;
    row.slug = fromUtf8 (product.slug);
    row.name = fromUtf8 (product.name);
    row.latestVersion = fromUtf8 (product.latestVersion);
    row.description = ! product.subtitle.empty() ? fromUtf8 (product.subtitle)
        : ! product.tagline.empty()              ? fromUtf8 (product.tagline)
                                                 : juce::String ("ZorvaPlugins audio plugin");

    row.isFree = product.isFree;

    for (const auto& capability : product.capabilities)
        if (capability == "free")
            row.isFree = true;

    row.inCatalogue = true;
    row.info = &product;

    if (const auto image = productImages.find (nameKey); image != productImages.end())
        row.image = image->second;

    for (const auto& capability : product.capabilities)
        if (capability == "vst3" || capability == "clap")
            row.formats.insert (capability);

    for (const auto& release : product.releases)
        for (const auto& artifact : release.artifacts)
            row.formats.insert (artifact.format);

    std::string scannedVersion;

    for (const auto& plugin : installedPlugins)
    {
        const auto key = normaliseName (plugin.name);

        if (key != nameKey && key != slugKey)
            continue;

        row.installed = true;
        row.installedPaths.push_back (plugin.path);

        if (scannedVersion.empty())
            scannedVersion = plugin.version;
    }

    if (! scannedVersion.empty())
        row.installedVersion = fromUtf8 (scannedVersion);

    row.updateAvailable = row.installed && row.installedVersion.isNotEmpty() && row.latestVersion.isNotEmpty() && core::VersionString::compare (row.installedVersion.toStdString(), product.latestVersion) == -1;

    if (const auto activity = activityBySlug.find (product.slug); activity != activityBySlug.end())
        row.activity = activity->second;

    return row;
}
} // namespace

std::vector<ProductRow> buildProductRows (const std::vector<api::ProductReleaseInfo>& catalogue,
                                          const std::vector<scan::InstalledPlugin>& installedPlugins,
                                          const std::map<std::string, juce::Image>& productImages,
                                          const std::map<std::string, juce::String>& activityBySlug)
{
    std::vector<ProductRow> rows;
    rows.reserve (catalogue.size());

    for (const auto& product : catalogue)
        rows.push_back (buildRow (product, installedPlugins, productImages, activityBySlug));

    return rows;
}
