#include "ShopFixture.h"

#include "install/InstallReceipts.h"

#include <nlohmann/json.hpp>

using namespace zorvaplugins::zorvamanager;

void ShopFixture::SetUp()
{
    if (! MakerServiceInstance::available())
        GTEST_SKIP() << "no local HTTPS service (run under tests/service/with_service)";

    home = std::make_unique<apptest::ScopedHome>();
    tmpdir = std::make_unique<zorvatest::ScopedEnv> ("TMPDIR", scratch.path().string());
    ASSERT_TRUE (service.start()) << "the local maker service did not start";
}

void ShopFixture::TearDown()
{
    while (uidriver::currentAlert() != nullptr)
        uidriver::currentAlert()->exitModalState (0);

    componentProbe.reset();
    window.reset();
    pumpFor (50);
    tmpdir.reset();
    home.reset();
}

ArtifactEntry ShopFixture::publish (const zorvatest::PackageRecipe& recipe, const std::string& fileName, const std::string& format)
{
    const auto built = zorvatest::writePackage (service.dataFolder() / "packages" / fileName, recipe);
    return { "linux-x64", format, MakerServiceInstance::baseUrl() + "/packages/" + fileName, fileName, built.sha256, built.sizeBytes };
}

ProductEntry ShopFixture::productWith (const std::string& slug, const std::string& name, const zorvatest::PackageRecipe& recipe)
{
    return { slug, name, recipe.version, { { recipe.version, { publish (recipe, slug + "-" + recipe.version + ".tar.gz") } } } };
}

void ShopFixture::setCatalogue (const std::vector<ProductEntry>& products)
{
    auto list = nlohmann::json::array();

    for (const auto& product : products)
    {
        auto releases = nlohmann::json::array();

        for (const auto& release : product.releases)
        {
            auto artifacts = nlohmann::json::array();

            for (const auto& a : release.artifacts)
                artifacts.push_back ({ { "id", product.slug + "-" + a.platform + "-" + a.format },
                                       { "platform", a.platform },
                                       { "format", a.format },
                                       { "packageType", "archive" },
                                       { "downloadUrl", a.url },
                                       { "fileName", a.fileName },
                                       { "sha256", a.sha256 },
                                       { "sizeBytes", a.sizeBytes } });

            releases.push_back (
                { { "version", release.version }, { "status", "stable" }, { "publishedAt", "2026-11-01" }, { "artifacts", artifacts } });
        }

        list.push_back ({ { "slug", product.slug },
                          { "name", product.name },
                          { "tagline", product.name + " for tests" },
                          { "isFree", product.isFree },
                          { "latestVersion", product.latestVersion },
                          { "productPageUrl", MakerServiceInstance::baseUrl() + "/products/" + product.slug + "/" },
                          { "supportUrl", "https://example.invalid/support" },
                          { "capabilities", { "vst3", "clap" } },
                          { "releases", releases } });
    }

    service.setCatalogue (nlohmann::json ({ { "schema", 1 }, { "generatedAt", "2026-12-01T10:00:00Z" }, { "products", list } }).dump());
}

void ShopFixture::openWindow()
{
    window = std::make_unique<MainWindow> ("ZorvaManager");
    componentProbe = std::make_unique<ZorvaManagerComponentProbe> (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));
    ASSERT_TRUE (pumpUntil ([this] { return ! controller().isLoading(); }, 60000));
    ASSERT_TRUE (controller().isCatalogueLoaded()) << probe().logLines().joinIntoString ("\n");
}

int ShopFixture::rowIndex (const std::string& slug)
{
    return controller().productList().indexOfSlug (slug);
}

const products::ProductRow& ShopFixture::row (const std::string& slug)
{
    return controller().productList().rows().at (static_cast<std::size_t> (rowIndex (slug)));
}

void ShopFixture::clickButtonOf (const std::string& slug)
{
    auto& list = probe().list();
    const auto index = rowIndex (slug);

    // The wheel brings the card into view, as a user would scroll to it.
    for (int attempt = 0; attempt < 100 && ! list.rowsArea().contains (list.buttonBounds (index)); ++attempt)
        uidriver::wheelAt (
            list, list.rowsArea().getCentre(), list.buttonBounds (index).getY() > list.rowsArea().getCentreY() ? -0.2f : 0.2f);

    const auto button = list.buttonBounds (index);
    ASSERT_TRUE (list.rowsArea().contains (button)) << slug << " is not on screen";
    uidriver::clickAt (list, button.getCentre());
}

bool ShopFixture::waitUntilIdle (int timeoutMs)
{
    return pumpUntil ([this] { return controller().runningJobs() == 0 && controller().activities().empty(); }, timeoutMs);
}

std::vector<std::string> ShopFixture::leftovers() const
{
    std::vector<std::string> names;

    for (const auto& entry : std::filesystem::directory_iterator (scratch.path()))
        if (entry.path().filename().string().rfind ("zorvamanager-ui-", 0) == 0)
            names.push_back (entry.path().filename().string());

    return names;
}

std::string ShopFixture::receiptsText() const
{
    const auto file = install::receiptPath();
    return std::filesystem::exists (file) ? zorvatest::readFile (file) : std::string ("(none)");
}
