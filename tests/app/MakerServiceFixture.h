#pragma once

#include "support/TestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A private instance of the local maker service on the catalogue host this build was made
// for, serving a small catalogue that the test writes. Test thread only.
class MakerServiceInstance
{
public:
    MakerServiceInstance();
    ~MakerServiceInstance();

    // True when the service runner and its certificate were handed to the tests.
    static bool available();

    bool start();
    void stop();

    // "https://<catalogue host>" for URLs inside the fixture catalogue.
    static std::string baseUrl();

    // Writes the catalogue document the service answers with from now on.
    void setCatalogue (const std::string& json);

    // Writes products/<slug>/index.html, and images/<slug>.png filled with one colour.
    void addProductPage (const std::string& slug, const std::string& html);
    void addPicture (const std::string& slug, juce::Colour colour);

    // A catalogue of the given products (JSON objects) with schema 1.
    static std::string catalogueOf (const std::string& productsJson);

    // One product object whose page lives on this service.
    static std::string product (const std::string& slug, const std::string& name, const std::string& pageUrl);

    const zorvatest::fs::path& dataFolder() const { return data.path(); }

    // The path of every request answered since the start, in order.
    std::vector<std::string> answeredPaths() const;

private:
    zorvatest::TempDir data;
    zorvatest::TempDir scratch;
    std::unique_ptr<juce::ChildProcess> process;
};

// Runs the message loop until the condition holds or the time is up; returns the condition.
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs);

// Runs the message loop for a while.
void pumpFor (int milliseconds);
