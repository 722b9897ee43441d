// Cost of scanning an installed-plug-in folder: PluginScanner::scanPaths over a folder of
// VST3 bundles, each with a Contents/Resources/moduleinfo.json of realistic size whose
// "Version" key sits after the other members. Reports the time per bundle.

#include "scan/PluginScanner.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

using zorvaplugins::zorvamanager::install::PluginFormat;
using zorvaplugins::zorvamanager::scan::PluginScanner;

std::string moduleInfo (int index)
{
    std::string classes;

    for (int i = 0; i < 4; ++i)
        classes += std::string (i == 0 ? "" : ",") + R"(
    { "CID": "0123456789ABCDEF0123456789ABCDE)" +
            std::to_string (i) + R"(", "Category": "Audio Module Class",
      "Name": "Synth )" +
            std::to_string (index) + R"(", "Vendor": "ZorvaPlugins", "Version": ")" + std::to_string (index % 10) + R"(.2.0",
      "SDKVersion": "VST 3.7.9", "Sub Categories": ["Instrument", "Synth"], "Class Flags": 0, "Cardinality": 2147483647 })";

    return R"({
  "Name": "Synth )" +
        std::to_string (index) + R"(",
  "Version": "1.)" +
        std::to_string (index % 100) + R"(.0",
  "Factory Info": { "Vendor": "ZorvaPlugins", "URL": "https://zorvaplugins.com", "E-Mail": "info@zorvaplugins.com",
                    "Flags": { "Unicode": true, "Classes Discardable": false, "Component Non Discardable": false } },
  "Compatibility": [],
  "Classes": [)" +
        classes + "\n  ]\n}\n";
}

// A folder of bundles under the system's temporary directory, removed afterwards.
class BundleFolder
{
public:
    explicit BundleFolder (int count)
    {
        auto pattern = (fs::temp_directory_path() / "zorvamanager-scanbench-XXXXXX").string();
        std::vector<char> buffer (pattern.begin(), pattern.end());
        buffer.push_back ('\0');

        if (::mkdtemp (buffer.data()) == nullptr)
            throw std::runtime_error ("mkdtemp failed");

        root = buffer.data();

        for (int i = 0; i < count; ++i)
        {
            const auto bundle = root / ("Synth" + std::to_string (i) + ".vst3");
            fs::create_directories (bundle / "Contents/Resources");
            fs::create_directories (bundle / "Contents/x86_64-linux");
            std::ofstream (bundle / "Contents/Resources/moduleinfo.json") << moduleInfo (i);
            std::ofstream (bundle / ("Contents/x86_64-linux/Synth" + std::to_string (i) + ".so")) << "ELF";
        }
    }

    ~BundleFolder()
    {
        std::error_code ec;
        fs::remove_all (root, ec);
    }

    BundleFolder (const BundleFolder&) = delete;
    BundleFolder& operator= (const BundleFolder&) = delete;

    const fs::path& path() const { return root; }

private:
    fs::path root;
};

void scanVst3Folder (benchmark::State& state)
{
    const auto count = static_cast<int> (state.range (0));
    const BundleFolder folder (count);
    const std::vector<fs::path> folders { folder.path() };

    for (auto _ : state)
    {
        auto found = PluginScanner::scanPaths (folders, PluginFormat::Vst3).plugins;

        if (found.size() != static_cast<std::size_t> (count) || found.front().version.empty())
            state.SkipWithError ("scan did not find every bundle with its version");

        benchmark::DoNotOptimize (found);
    }

    state.SetItemsProcessed (state.iterations() * count);
    state.counters["per_bundle"] =
        benchmark::Counter (static_cast<double> (count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK (scanVst3Folder)->Arg (100)->Arg (1000)->Unit (benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
