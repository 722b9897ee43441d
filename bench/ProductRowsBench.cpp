// Cost of rebuilding the product rows, which the window does on the message thread after every
// installed scan: the receipts file read and parsed, then the join of the catalogue, the
// scanned bundles and the receipts. 1,000 products (two releases of two artifacts each), 2,000
// scanned bundles (a VST3 and a CLAP for each product, under names that normalise to its
// name), 1,000 receipts (name and slug keys) and 50 running activities.

#include "install/InstallReceipts.h"
#include "products/ProductRows.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace
{

using namespace zorvaplugins::zorvamanager;
namespace fs = std::filesystem;

struct Data
{
    Data()
    {
        auto products = std::make_shared<std::vector<api::ProductReleaseInfo>>();

        for (int i = 0; i < 1000; ++i)
        {
            api::ProductReleaseInfo product;
            product.slug = "product-" + std::to_string (i);
            product.name = "Product " + std::to_string (i);
            product.tagline = "A plug-in for benchmarks number " + std::to_string (i);
            product.latestVersion = "2." + std::to_string (i % 20) + ".0";
            product.capabilities = { "vst3", "clap", i % 7 == 0 ? "free" : "instrument" };

            for (const auto* version : { "2.0.0", "1.9.0" })
            {
                api::ReleaseInfo release;
                release.version = version;

                for (const auto* format : { "vst3", "clap" })
                {
                    api::ArtifactInfo artifact;
                    artifact.platform = "linux-x64";
                    artifact.format = format;
                    release.artifacts.push_back (artifact);
                }

                product.releases.push_back (release);
            }

            products->push_back (product);

            plugins.push_back ({ install::PluginFormat::Vst3,
                                 "Product-" + std::to_string (i),
                                 "/home/u/.vst3/Product-" + std::to_string (i) + ".vst3",
                                 "1." + std::to_string (i % 30) + ".0" });
            plugins.push_back ({ install::PluginFormat::Clap,
                                 "Product " + std::to_string (i),
                                 "/home/u/.clap/Product " + std::to_string (i) + ".clap",
                                 "" });
            receipts["product" + std::to_string (i)] = { product.name, "1.5.0" };

            if (i % 20 == 0)
                activities[product.slug] = "Downloading... 42%";
        }

        catalogue = std::move (products);

        ::setenv ("XDG_CONFIG_HOME", folder.c_str(), 1);
        if (const auto written = install::writeReceipts (install::receiptPath(), receipts); ! written.ok)
            throw std::runtime_error (written.error);
    }

    ~Data()
    {
        std::error_code ignored;
        fs::remove_all (folder, ignored);
    }

    fs::path folder = fs::temp_directory_path() / ("zorvamanager-rows-bench-" + std::to_string (::getpid()));
    products::Catalogue catalogue;
    std::vector<scan::InstalledPlugin> plugins;
    install::InstallReceipts receipts;
    std::map<std::string, std::string> activities;
};

Data& data()
{
    static Data instance;
    return instance;
}

void rebuildRows (benchmark::State& state)
{
    auto& d = data();

    for (auto _ : state)
    {
        auto rows = products::buildRows (d.catalogue, d.plugins, install::loadReceipts(), d.activities);
        benchmark::DoNotOptimize (rows);
    }
}

void joinOnly (benchmark::State& state)
{
    auto& d = data();

    for (auto _ : state)
    {
        auto rows = products::buildRows (d.catalogue, d.plugins, d.receipts, d.activities);
        benchmark::DoNotOptimize (rows);
    }
}

void loadReceiptsOnly (benchmark::State& state)
{
    data();

    for (auto _ : state)
        benchmark::DoNotOptimize (install::loadReceipts());
}

} // namespace

BENCHMARK (rebuildRows)->Unit (benchmark::kMillisecond);
BENCHMARK (joinOnly)->Unit (benchmark::kMillisecond);
BENCHMARK (loadReceiptsOnly)->Unit (benchmark::kMillisecond);
BENCHMARK_MAIN();
