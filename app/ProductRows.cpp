#include "ProductRows.h"

#include "AppHelpers.h"
#include "GuiStrings.h"
#include "core/VersionString.h"

using namespace zorvaplugins::zorvamanager;

namespace
{

ProductRow buildRow (const api::ProductReleaseInfo& product,
                     const std::vector<scan::InstalledPlugin>& installedPlugins,
                     const std::map<std::string, juce::Image>& productImages,
                     const std::map<std::string, juce::String>& activityBySlug)
{
    const auto nameKey = normaliseName (product.name);
    const auto slugKey = normaliseName (product.slug);

    ProductRow row;
    row.slug = toGuiString (product.slug);
    row.name = toGuiString (product.name);
    row.latestVersion = toGuiString (product.latestVersion);
    row.description = ! product.subtitle.empty() ? toGuiString (product.subtitle)
        : ! product.tagline.empty()              ? toGuiString (product.tagline)
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
        row.installedVersion = toGuiString (scannedVersion);

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
