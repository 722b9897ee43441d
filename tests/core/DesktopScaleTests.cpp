#include "core/DesktopScale.h"

#include <gtest/gtest.h>

using namespace zorvaplugins::zorvamanager::core;

TEST (ScaleFromXResources, TakesTheLastPlainXftDpiAtOrOver96)
{
    const std::pair<std::string, std::optional<double>> cases[] = {
        { "Xft.dpi:\t192\n", 2.0 },
        { "Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 1.5 },
        { "Xft.dpi:96", 1.0 },
        { "  Xft.dpi :  120.0  \r", std::nullopt }, // a carriage return is not a blank
        { "  Xft.dpi :  120.0  ", 1.25 },
        { "Xft.dpi:\t192\nXft.dpi:\t96\n", 1.0 },
        { "Xft.dpi:\t192\nXft.dpi:\tlarge\n", std::nullopt },
        { "Xft.dpi:\t72\n", std::nullopt },
        { "Xft.dpi:\t0\n", std::nullopt },
        { "Xft.dpi:\t-192\n", std::nullopt },
        { "Xft.dpi:\t1e3\n", std::nullopt },
        { "Xft.dpi:\t192.\n", std::nullopt },
        { "Xft.dpi:\t.5\n", std::nullopt },
        { "Xft.dpi:\t0x100\n", std::nullopt },
        { "Xft.dpi:\t\n", std::nullopt },
        { "Xft.dpi:\t9999999999999999999999\n", std::nullopt },
        { "Xft.dpi:\t96000\n", largestScale },
        { "Xft.dpix:\t192\n*dpi:\t192\nXft*dpi:\t192\n! Xft.dpi:\t192\n", std::nullopt },
        { "Xft.dpi\t192\n", std::nullopt },
        { "", std::nullopt },
        { std::string ("Xft.dpi:\t192\0", 13), std::nullopt },
    };

    for (const auto& [resources, scale] : cases)
        EXPECT_EQ (scaleFromXResources (resources), scale) << resources;
}
