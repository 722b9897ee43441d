// Catalogue parsing cost: the strict parser (JSON parse plus validation and conversion into
// records) against the JSON library's bare parse of the same text, on a catalogue of
// 5,000 products x 3 releases x 4 artifacts built in memory. Prints the ratio at the end.

#include "api/ReleaseCatalogueParser.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <string>

namespace
{

using zorvaplugins::zorvamanager::api::ReleaseCatalogueParser;

constexpr int productCount = 5000;
constexpr int releasesPerProduct = 3;

std::string hexDigest (std::uint64_t seed)
{
    static const char digits[] = "0123456789abcdef";
    std::string digest;
    digest.reserve (64);
    auto state = seed * 0x9e3779b97f4a7c15ull + 1;

    for (int i = 0; i < 64; ++i)
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        digest += digits[state & 15u];
    }

    return digest;
}

// Appends the pieces in order.
template <typename... Pieces>
void append (std::string& text, const Pieces&... pieces)
{
    (text.append (pieces), ...);
}

void appendArtifact (std::string& text, const std::string& id, const char* platform, const char* format, std::uint64_t seed)
{
    append (text, R"({"id": ")", id, R"(", "platform": ")", platform, R"(", "format": ")", format, R"(", )");
    append (text, R"("packageType": "archive", "downloadUrl": "https://zorvaplugins.com/downloads/)", id, R"(.tar.gz", )");
    append (text, R"("fileName": ")", id, R"(.tar.gz", "sha256": ")", hexDigest (seed), R"(", )");
    append (text, R"("sizeBytes": )", std::to_string (1000000 + seed), "}");
}

void appendRelease (std::string& text, const std::string& slug, int productIndex, int releaseIndex)
{
    const auto version = "2." + std::to_string (releasesPerProduct - 1 - releaseIndex) + ".0";
    append (text, R"({"version": ")", version, R"(", "status": "stable", )");
    append (text, R"("publishedAt": "2024-04-0)", std::to_string (releaseIndex + 1), R"(T12:00:00Z", )");
    append (text, R"("changelogTitle": "Release )", version, R"(", )");
    append (text, R"("changelogText": "Fixes and improvements to the sound engine and the user interface.", )");
    append (text, R"("changelogUrl": "https://zorvaplugins.com/changelog", "artifacts": [)");

    int artifactIndex = 0;

    for (const auto* platform : { "linux-x64", "windows-x64" })
    {
        for (const auto* format : { "vst3", "clap" })
        {
            const auto id = slug + "-" + version + "-" + platform + "-" + format;
            const auto seed = static_cast<std::uint64_t> (productIndex * 100 + releaseIndex * 10 + artifactIndex);
            text += artifactIndex++ == 0 ? "" : ", ";
            appendArtifact (text, id, platform, format, seed);
        }
    }

    text += "]}";
}

void appendProduct (std::string& text, int productIndex)
{
    const auto slug = "product-" + std::to_string (productIndex);
    append (text, R"({"slug": ")", slug, R"(", "name": "Product )", std::to_string (productIndex), R"(", )");
    append (text, R"("tagline": "A plug-in that does something useful", "subtitle": "Effect", )");
    append (text, R"("isFree": )", productIndex % 7 == 0 ? "true" : "false", R"(, "latestVersion": "2.1.0", )");
    append (text, R"("productPageUrl": "https://zorvaplugins.com/products/)", slug, R"(", )");
    append (text, R"("supportUrl": "https://zorvaplugins.com/support", )");
    append (text, R"("manualUrl": "https://zorvaplugins.com/manuals/)", slug, R"(.pdf", "quickStartUrl": "", )");
    append (text, R"("capabilities": ["vst3", "clap"], "releases": [)");

    for (int r = 0; r < releasesPerProduct; ++r)
    {
        text += r == 0 ? "" : ", ";
        appendRelease (text, slug, productIndex, r);
    }

    text += "]}";
}

std::string makeCatalogue()
{
    std::string text;
    text.reserve (40u << 20);
    text += R"({"schema": 1, "generatedAt": "2024-05-02T08:00:00Z", "products": [)";

    for (int p = 0; p < productCount; ++p)
    {
        text += p == 0 ? "\n" : ",\n";
        appendProduct (text, p);
    }

    text += "\n]}\n";
    return text;
}

const std::string& catalogue()
{
    static const auto text = makeCatalogue();
    return text;
}

void catalogueParser (benchmark::State& state)
{
    const auto& text = catalogue();

    if (! ReleaseCatalogueParser::parse (text).ok)
    {
        state.SkipWithError ("the generated catalogue was rejected");
        return;
    }

    for (auto _ : state)
    {
        auto result = ReleaseCatalogueParser::parse (text);
        benchmark::DoNotOptimize (result);
    }

    state.SetBytesProcessed (state.iterations() * static_cast<std::int64_t> (text.size()));
}

void bareJsonParse (benchmark::State& state)
{
    const auto& text = catalogue();

    for (auto _ : state)
    {
        auto tree = nlohmann::json::parse (text.data(), text.data() + text.size(), nullptr, true, false);
        benchmark::DoNotOptimize (tree);
    }

    state.SetBytesProcessed (state.iterations() * static_cast<std::int64_t> (text.size()));
}

BENCHMARK (catalogueParser)->Unit (benchmark::kMillisecond);
BENCHMARK (bareJsonParse)->Unit (benchmark::kMillisecond);

// Console output as usual, plus the fastest real and CPU time per iteration of each benchmark.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns (const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns (reports);

        for (const auto& run : reports)
        {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;

            constexpr auto none = std::numeric_limits<double>::max();
            auto& best = fastest.try_emplace (run.run_name.function_name, Times { none, none }).first->second;
            best.real = std::min (best.real, run.GetAdjustedRealTime());
            best.cpu = std::min (best.cpu, run.GetAdjustedCPUTime());
        }
    }

    struct Times
    {
        double real;
        double cpu;
    };

    std::map<std::string, Times> fastest;
};

} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    std::printf ("catalogue: %d products x %d releases x 4 artifacts, %zu bytes\n", productCount, releasesPerProduct, catalogue().size());

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    const auto parser = reporter.fastest.find ("catalogueParser");
    const auto bare = reporter.fastest.find ("bareJsonParse");

    if (parser != reporter.fastest.end() && bare != reporter.fastest.end())
        std::printf ("ratio catalogueParser / bareJsonParse: %.2f real, %.2f CPU (target: at most 1.50)\n",
                     parser->second.real / bare->second.real,
                     parser->second.cpu / bare->second.cpu);

    return 0;
}
