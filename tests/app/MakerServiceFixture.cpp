#include "MakerServiceFixture.h"

#include "api/CatalogueEndpoint.h"

#include <chrono>
#include <sstream>
#include <thread>

using zorvaplugins::zorvamanager::api::CatalogueEndpoint;

namespace
{
std::string portOfHost()
{
    const auto host = CatalogueEndpoint::host();
    const auto colon = host.rfind (':');
    return colon == std::string::npos ? "443" : host.substr (colon + 1);
}
} // namespace

MakerServiceInstance::MakerServiceInstance()
{
    zorvatest::writeFile (data / "api/manager/releases", catalogueOf (""));
}

MakerServiceInstance::~MakerServiceInstance()
{
    stop();
}

bool MakerServiceInstance::available()
{
    return ! zorvatest::environment ("ZORVAMANAGER_TEST_SERVICE_SCRIPT").empty() &&
        ! zorvatest::environment ("ZORVAMANAGER_TEST_CERT").empty();
}

std::string MakerServiceInstance::baseUrl()
{
    return "https://" + CatalogueEndpoint::host();
}

bool MakerServiceInstance::start()
{
    stop();

    const auto readyFile = scratch / "ready";
    std::error_code ignored;
    zorvatest::fs::remove (readyFile, ignored);

    juce::StringArray command { "python3",      zorvatest::environment ("ZORVAMANAGER_TEST_SERVICE_SCRIPT"),
                                "--port",       portOfHost(),
                                "--cert",       zorvatest::environment ("ZORVAMANAGER_TEST_CERT"),
                                "--key",        zorvatest::environment ("ZORVAMANAGER_TEST_KEY"),
                                "--data",       data.path().string(),
                                "--ready-file", readyFile.string(),
                                "--access-log", (scratch / "access.log").string() };

    process = std::make_unique<juce::ChildProcess>();

    if (! process->start (command, 0))
        return false;

    for (int attempt = 0; attempt < 200; ++attempt)
    {
        if (zorvatest::fs::exists (readyFile))
            return true;

        if (! process->isRunning())
            return false;

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }

    return false;
}

void MakerServiceInstance::stop()
{
    if (process != nullptr)
    {
        process->kill();
        process->waitForProcessToFinish (5000);
        process.reset();
    }
}

std::vector<std::string> MakerServiceInstance::answeredPaths() const
{
    std::vector<std::string> paths;
    std::istringstream lines (zorvatest::fs::exists (scratch / "access.log") ? zorvatest::readFile (scratch / "access.log")
                                                                             : std::string());

    for (std::string method, path, status; lines >> method >> path >> status;)
        paths.push_back (path);

    return paths;
}

void MakerServiceInstance::setCatalogue (const std::string& json)
{
    zorvatest::writeFile (data / "api/manager/releases", json);
}

void MakerServiceInstance::addProductPage (const std::string& slug, const std::string& html)
{
    zorvatest::writeFile (data / "products" / slug / "index.html", html);
}

void MakerServiceInstance::addPicture (const std::string& slug, juce::Colour colour)
{
    juce::Image image (juce::Image::ARGB, 64, 40, true);
    juce::Graphics (image).fillAll (colour);

    juce::MemoryOutputStream png;
    juce::PNGImageFormat().writeImageToStream (image, png);
    zorvatest::writeFile (data / "images" / (slug + ".png"), std::string (static_cast<const char*> (png.getData()), png.getDataSize()));
}

std::string MakerServiceInstance::catalogueOf (const std::string& productsJson)
{
    return R"({"schema": 1, "generatedAt": "2026-12-01T10:00:00Z", "products": [)" + productsJson + "]}";
}

std::string MakerServiceInstance::product (const std::string& slug, const std::string& name, const std::string& pageUrl)
{
    return R"({"slug": ")" + slug + R"(", "name": ")" + name + R"(", "tagline": "A test product", "latestVersion": "1.2.0",
              "productPageUrl": ")" +
        pageUrl + R"(", "supportUrl": "https://example.invalid/support",
              "capabilities": ["vst3", "clap"], "releases": [{"version": "1.2.0", "status": "stable",
              "publishedAt": "2026-11-01", "artifacts": [{"id": ")" +
        slug + R"(-vst3", "platform": "linux-x64",
              "format": "vst3", "packageType": "archive", "downloadUrl": "https://example.invalid/p.tar.gz",
              "fileName": "p.tar.gz", "sha256": ")" +
        std::string (64, 'a') + R"(", "sizeBytes": 1}]}]})";
}

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (timeoutMs);

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
    }

    return true;
}

void pumpFor (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}
