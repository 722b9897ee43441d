#pragma once

#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"
#include "support/PackageFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// One artifact of a catalogue release as the tests publish it.
struct ArtifactEntry
{
    std::string platform = "linux-x64";
    std::string format = "vst3";
    std::string url;
    std::string fileName;
    std::string sha256;
    std::uint64_t sizeBytes = 0;
};

struct ReleaseEntry
{
    std::string version;
    std::vector<ArtifactEntry> artifacts;
};

// A catalogue product in the service's JSON.
struct ProductEntry
{
    std::string slug, name, latestVersion;
    std::vector<ReleaseEntry> releases;
    bool isFree = false;
};

// Notes every activity text a product's row shows, as the list is told of it.
struct ActivityWatch : ProductListModel::Listener
{
    ActivityWatch (ProductListModel& watched, std::string slugToWatch)
        : model (watched)
        , slug (std::move (slugToWatch))
    {
        model.addListener (this);
    }

    ~ActivityWatch() override { model.removeListener (this); }

    void productListChanged (ProductListModel::Change) override
    {
        const auto index = model.indexOfSlug (slug);
        const auto activity = index < 0 ? std::string() : model.rows()[static_cast<std::size_t> (index)].activity;

        if (! activity.empty() && (seen.empty() || seen.back() != activity))
            seen.push_back (activity);
    }

    ProductListModel& model;
    std::string slug;
    std::vector<std::string> seen;
};

// The real window against a private instance of the maker service, with its own home
// (HOME, XDG_CONFIG_HOME) and its own temporary directory, so that what the program installs,
// remembers and leaves behind shows. Test thread only.
class ShopFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Publishes a package on the service; its artifact for a catalogue.
    ArtifactEntry publish (const zorvatest::PackageRecipe& recipe, const std::string& fileName, const std::string& format = "vst3");

    // The common case: one product whose latest release has one Linux artifact of this package.
    ProductEntry productWith (const std::string& slug, const std::string& name, const zorvatest::PackageRecipe& recipe);

    void setCatalogue (const std::vector<ProductEntry>& products);

    // Opens the window and waits for the catalogue.
    void openWindow();

    ZorvaManagerComponentProbe& probe() { return *componentProbe; }
    ManagerController& controller() { return probe().controller(); }
    const zorvaplugins::zorvamanager::products::ProductRow& row (const std::string& slug);
    int rowIndex (const std::string& slug);

    // Clicks the action button on a product's card (scrolling it into view if needed).
    void clickButtonOf (const std::string& slug);

    // Waits until no job runs and no row shows an activity.
    bool waitUntilIdle (int timeoutMs = 30000);

    // The program's scratch folders left in the temporary directory.
    std::vector<std::string> leftovers() const;

    // The receipts file's text, or "(none)".
    std::string receiptsText() const;

    // The log's messages from index `from` on.
    juce::StringArray messagesFrom (int from)
    {
        return juce::StringArray (probe().messages().begin() + from, probe().messages().size() - from);
    }

    MakerServiceInstance service;
    std::unique_ptr<apptest::ScopedHome> home;
    zorvatest::TempDir scratch;
    std::unique_ptr<zorvatest::ScopedEnv> tmpdir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ZorvaManagerComponentProbe> componentProbe;
};
