#include "install/InstallReceipts.h"

#include "core/NameKey.h"
#include "install/FileLock.h"
#include "install/SafeFileReplacement.h"
#include "install/UserConfigFile.h"

#include <nlohmann/json.hpp>

#include <chrono>

namespace zorvaplugins::zorvamanager::install
{

namespace fs = std::filesystem;

namespace
{

using Json = nlohmann::json;

// Far beyond any real set of receipts (a thousand products take about 100 KB), and small
// enough that a damaged or hostile file never costs much memory.
constexpr std::uint64_t maxReceiptsFileBytes = 16u << 20;

constexpr auto receiptsLockWait = std::chrono::seconds (10);

// Loads the receipts, lets `change` edit them and writes them back, all under the receipts
// lock.
template <typename Change>
ReceiptsUpdate updateReceipts (Change&& change)
{
    const auto file = receiptPath();
    std::error_code ignored;
    fs::create_directories (file.parent_path(), ignored);

    auto lockFile = file;
    lockFile += ".lock";
    const auto lock = FileLocks::acquire (lockFile, false, nullptr, receiptsLockWait);

    if (! lock.ok)
        return { false, "cannot lock receipts file: " + lock.error };

    auto receipts = loadReceipts();
    change (receipts);

    return writeReceipts (file, receipts);
}

} // namespace

fs::path receiptPath()
{
    return userConfigFile ("installed.json", "ZorvaManager-installed.json");
}

InstallReceipts parseReceipts (std::string_view text) noexcept
{
    // The JSON library takes a raw NUL for the end of the input; no JSON text holds one.
    if (text.find ('\0') != std::string_view::npos)
        return {};

    try
    {
        const auto root = Json::parse (text.begin(), text.end(), nullptr, false);

        if (! root.is_object())
            return {};

        InstallReceipts receipts;

        for (const auto& [key, value] : root.items())
        {
            if (! value.is_object())
                continue;

            // get<std::string> throws for a member that is there but not a string, which
            // discards the whole file.
            InstallReceipt receipt;
            receipt.name = value.contains ("name") ? value.at ("name").get<std::string>() : std::string();
            receipt.version = value.contains ("version") ? value.at ("version").get<std::string>() : std::string();
            receipts[key] = std::move (receipt);
        }

        return receipts;
    }
    catch (...)
    {
        return {};
    }
}

std::string serialiseReceipts (const InstallReceipts& receipts)
{
    auto root = Json::object();

    for (const auto& [key, receipt] : receipts)
        root[key] = Json { { "name", receipt.name }, { "version", receipt.version } };

    // Text that is not UTF-8 cannot come from the catalogue; should it ever, it is written
    // with replacement characters rather than not at all.
    return root.dump (2, ' ', false, Json::error_handler_t::replace);
}

InstallReceipts loadReceipts()
{
    const auto bytes = readSmallFile (receiptPath(), maxReceiptsFileBytes);
    return bytes ? parseReceipts (*bytes) : InstallReceipts {};
}

ReceiptsUpdate writeReceipts (const fs::path& file, const InstallReceipts& receipts)
{
    // A folder that cannot be made fails the write below, with its reason.
    std::error_code ignored;
    fs::create_directories (file.parent_path(), ignored);

    ReceiptsUpdate update;
    update.ok = safefile::writeFileAtomically (file, serialiseReceipts (receipts), 0644, "receipts file", update.error);
    return update;
}

ReceiptsUpdate saveReceipt (const std::string& name, const std::string& slug, const std::string& version)
{
    return updateReceipts ([&] (InstallReceipts& receipts) {
        for (const auto& key : { core::normaliseName (name), slug.empty() ? std::string() : core::normaliseName (slug) })
            if (! key.empty())
                receipts[key] = { name, version };
    });
}

ReceiptsUpdate removeReceipt (const std::string& name, const std::string& slug)
{
    return updateReceipts ([&] (InstallReceipts& receipts) {
        receipts.erase (core::normaliseName (name));

        if (! slug.empty())
            receipts.erase (core::normaliseName (slug));
    });
}

} // namespace zorvaplugins::zorvamanager::install
