// The render and plot sub-commands through the command-line parser: one picture in three
// formats, selections as --select sets them, refusals with exit status 1 and no file, usage
// errors with exit status 2.

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/host/sample_river.h"
#include "support/cli_runner.h"

namespace ondu {
namespace {

class PictureCommands : public ::testing::Test {
protected:
    void SetUp() override {
        SampleRiverOptions options;
        options.length = 1000;
        options.wavelength = 400;
        options.amplitude = 60;
        writeSampleRiver(river, options);
    }
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
};

TEST_F(PictureCommands, RenderWritesEachFormatFromOneCommand) {
    const std::pair<const char*, const char*> formats[] = {
        {"map.png", "\x89PNG"}, {"map.svg", "<?xml"}, {"map.pdf", "%PDF-"}};
    for (auto [name, signature] : formats) {
        auto r = test::runCli({"render", "--map", river, "--out", dir.file(name), "--size",
                               "400x300", "--select", "CenterlineSegments=2,3"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(test::readFile(dir.file(name)).rfind(signature, 0), 0u) << name;
    }
}

TEST_F(PictureCommands, EmptyOrMissingLayersAreRefusedByName) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::string out = dir.file("x.png");
    const Case cases[] = {
        {{"render", "--map", river, "--layer", "Thalweg", "--out", out},
         "The layer Thalweg has no features to draw"},
        {{"render", "--map", river, "--layer", "Nowhere", "--out", out},
         "The layer Nowhere is not in the map"},
        {{"plot", "section", "--map", river, "--fid", "1", "--out", out},
         "No cross-section of CrossSections meets FID = 1"},
        {{"plot", "profile", "--map", river, "--out", out},
         "The layer Thalweg has no lines to plot"},
    };
    for (const Case& c : cases) {
        auto r = test::runCli(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.message;
    }
}

TEST_F(PictureCommands, BadOptionsAreUsageErrorsNamingTheOption) {
    const std::string out = dir.file("x.png");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"render", "--map", river, "--out", out, "--size", "400by300"}, "--size"},
        {{"render", "--map", river, "--out", out, "--extent", "0,0,5"}, "--extent"},
        {{"render", "--map", river, "--out", out, "--extent", "5,0,1,1"}, "--extent"},
        {{"render", "--map", river, "--out", dir.file("x.jpg")}, "--out"},
        {{"render", "--map", river, "--out", out, "--select", "Nowhere=1"}, "--select"},
        {{"plot", "section", "--map", river, "--out", out}, "--fid or --where"},
        {{"plot", "section", "--map", river, "--fid", "1", "--where", "1=1", "--out", out},
         "--where"},
    };
    for (const Case& c : cases) {
        auto r = test::runCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

}  // namespace
}  // namespace ondu
