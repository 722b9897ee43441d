#include "products/ProductRows.h"

#include "core/NameKey.h"
#include "core/VersionString.h"

#include <algorithm>
#include <unordered_map>

namespace zorvaplugins::zorvamanager::products
{

namespace
{

// The scanned plug-ins by their normalised name, each list in scan order.
using PluginsByKey = std::unordered_map<std::string, std::vector<const scan::InstalledPlugin*>>;

PluginsByKey groupByKey (const std::vector<scan::InstalledPlugin>& installedPlugins)
{
    PluginsByKey groups;

    // A stem without an ASCII letter or digit has no key and so belongs to no product.
    for (const auto& plugin : installedPlugins)
        if (auto key = core::normaliseName (plugin.name); ! key.empty())
            groups[std::move (key)].push_back (&plugin);

    return groups;
}

std::string describe (const api::ProductReleaseInfo& product)
{
    if (! product.subtitle.empty())
        return product.subtitle;

    if (! product.tagline.empty())
        return product.tagline;

    return "ZorvaPlugins audio plugin";
}

ProductRow buildRow (std::shared_ptr<const api::ProductReleaseInfo> info,
                     const PluginsByKey& pluginsByKey,
                     const install::InstallReceipts& receipts,
                     const std::map<std::string, std::string>& activityBySlug)
{
    const auto& product = *info;
    const auto nameKey = core::normaliseName (product.name);
    const auto slugKey = core::normaliseName (product.slug);

    ProductRow row;
    row.slug = product.slug;
    row.name = product.name;
    row.latestVersion = product.latestVersion;
    row.description = describe (product);
    row.isFree = product.isFree;

    for (const auto& capability : product.capabilities)
    {
        if (capability == "free")
            row.isFree = true;

        if (capability == "vst3" || capability == "clap")
            row.formats.insert (capability);
    }

    for (const auto& release : product.releases)
        for (const auto& artifact : release.artifacts)
            row.formats.insert (artifact.format);

    row.inCatalogue = true;
    row.pictureKey = nameKey;

    // An empty key matches nothing: a product named only in punctuation or another script
    // must not claim other products' receipts or bundles (and so offer them for removal).
    const auto findReceipt = [&receipts] (const std::string& key) { return key.empty() ? receipts.end() : receipts.find (key); };

    if (auto receipt = findReceipt (nameKey); receipt != receipts.end())
        row.installedVersion = receipt->second.version;
    else if (receipt = findReceipt (slugKey); receipt != receipts.end())
        row.installedVersion = receipt->second.version;

    // The plug-ins of the name key, then those of a different slug key, merged back into scan
    // order (the pointers point into the scan's own list).
    std::vector<const scan::InstalledPlugin*> belonging;
    const auto addGroup = [&belonging, &pluginsByKey] (const std::string& key) {
        if (const auto group = pluginsByKey.find (key); ! key.empty() && group != pluginsByKey.end())
            belonging.insert (belonging.end(), group->second.begin(), group->second.end());
    };

    addGroup (nameKey);

    if (slugKey != nameKey)
    {
        addGroup (slugKey);
        std::sort (belonging.begin(), belonging.end());
    }

    std::string scannedVersion;

    for (const auto* plugin : belonging)
    {
        row.installed = true;
        row.installedPaths.push_back (plugin->path);

        if (scannedVersion.empty())
            scannedVersion = plugin->version;
    }

    if (! scannedVersion.empty())
        row.installedVersion = scannedVersion;

    // An installed version that does not parse ("unknown", or none at all) is never older.
    row.updateAvailable =
        row.installed && core::VersionString::order (row.installedVersion, row.latestVersion) == core::VersionOrder::older;

    if (const auto activity = activityBySlug.find (product.slug); activity != activityBySlug.end())
        row.activity = activity->second;

    row.info = std::move (info);
    return row;
}

} // namespace

std::vector<ProductRow> buildRows (const Catalogue& catalogue,
                                   const std::vector<scan::InstalledPlugin>& installedPlugins,
                                   const install::InstallReceipts& receipts,
                                   const std::map<std::string, std::string>& activityBySlug)
{
    std::vector<ProductRow> rows;

    if (catalogue == nullptr)
        return rows;

    const auto pluginsByKey = groupByKey (installedPlugins);
    rows.reserve (catalogue->size());

    for (const auto& product : *catalogue)
        rows.push_back (
            buildRow (std::shared_ptr<const api::ProductReleaseInfo> (catalogue, &product), pluginsByKey, receipts, activityBySlug));

    return rows;
}

RowCounts countRows (const std::vector<ProductRow>& rows)
{
    RowCounts counts;
    counts.total = static_cast<int> (rows.size());

    for (const auto& row : rows)
    {
        counts.installed += row.installed ? 1 : 0;
        counts.updates += row.updateAvailable ? 1 : 0;
    }

    return counts;
}

} // namespace zorvaplugins::zorvamanager::products
