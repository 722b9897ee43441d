#include "ShopFixture.h"

#include <nlohmann/json.hpp>

namespace
{

using namespace zorvaplugins::zorvamanager;

// The command-line program (the real executable, with DISPLAY unset) and the window in one
// home: what one records, the other shows.
class CommandLine : public ShopFixture
{
protected:
    struct Run
    {
        int status = -1;
        std::string output; // standard output and standard error
    };

    static Run runCommand (const juce::StringArray& arguments)
    {
        juce::StringArray command { "/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", ZORVAMANAGER_PROGRAM };
        command.addArray (arguments);
        juce::ChildProcess process;
        Run run;

        if (! process.start (command))
            return run;

        run.output = process.readAllProcessOutput().toStdString();
        process.waitForProcessToFinish (60000);
        run.status = static_cast<int> (process.getExitCode());
        return run;
    }

    // The command's rows, by slug.
    static std::map<std::string, nlohmann::json> listed()
    {
        const auto run = runCommand ({ "list", "--json" });
        EXPECT_EQ (run.status, 0) << run.output;
        std::map<std::string, nlohmann::json> rows;
        const auto document = nlohmann::json::parse (run.output, nullptr, false);
        EXPECT_TRUE (document.is_object() && document.contains ("products")) << run.output;

        for (const auto& product : document.value ("products", nlohmann::json::array()))
            rows[product["slug"].get<std::string>()] = product;

        return rows;
    }

    const zorvatest::PackageRecipe tape { "Tape Echo", "1.2.0" };
    const zorvatest::PackageRecipe ring { "Ring Mod", "2.0.1" };
};

TEST_F (CommandLine, ReceiptsCrossBetweenTheCommandAndTheWindow)
{
    setCatalogue ({ productWith ("tape-echo", "Tape Echo", tape), productWith ("ring-mod", "Ring Mod", ring) });

    // The command installs the CLAP plug-in only: the scan cannot read a CLAP version, so the
    // window's row has its version from the command's receipt alone.
    const auto install = runCommand ({ "install", "tape-echo", "--clap-only" });
    ASSERT_EQ (install.status, 0) << install.output;
    EXPECT_NE (install.output.find ("Installing Tape Echo"), std::string::npos) << install.output;
    EXPECT_FALSE (std::filesystem::exists (home->vst3() / "Tape Echo.vst3"));

    openWindow();
    EXPECT_TRUE (row ("tape-echo").installed);
    EXPECT_EQ (row ("tape-echo").installedVersion, "1.2.0");
    EXPECT_EQ (controller().productList().buttonFor (row ("tape-echo")), products::RowButton::upToDate);

    // The window installs both formats; the command removes the VST3 bundle only, so its row
    // has the version from the window's receipt alone.
    clickButtonOf ("ring-mod");
    ASSERT_TRUE (waitUntilIdle());
    const auto remove = runCommand ({ "remove", "Ring Mod", "--vst3-only" });
    ASSERT_EQ (remove.status, 0) << remove.output;
    EXPECT_NE (remove.output.find ("Removed 1 plugin path(s) for Ring Mod"), std::string::npos) << remove.output;

    auto rows = listed();
    EXPECT_EQ (rows["ring-mod"]["installedVersion"], "2.0.1");
    EXPECT_EQ (rows["ring-mod"]["installedPaths"], nlohmann::json::array ({ (home->clap() / "Ring Mod.clap").string() }));
    EXPECT_EQ (rows["tape-echo"]["installedVersion"], "1.2.0");

    // The command's full removal takes the receipt; the window's next scan shows it gone.
    ASSERT_EQ (runCommand ({ "remove", "tape-echo" }).status, 0);
    controller().scanInstalled();
    EXPECT_FALSE (row ("tape-echo").installed);
    EXPECT_EQ (row ("tape-echo").installedVersion, "");
    EXPECT_EQ (row ("ring-mod").installedVersion, "2.0.1");
    EXPECT_EQ (controller().productList().buttonFor (row ("tape-echo")), products::RowButton::installNew);
    EXPECT_TRUE (leftovers().empty());
}

} // namespace
