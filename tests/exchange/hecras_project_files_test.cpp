#include "exchange/hecras_project_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/cli_runner.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(ONDU_SOURCE_DIR) / "tests/exchange/data/hecras";

std::string errorOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const RasExportError& error) {
        return error.what();
    }
    return "no error";
}

class ProjectFilesTest : public ::testing::Test {
protected:
    test::TempDir scratch_;
    const fs::path dir_ = scratch_.path();
};

TEST_F(ProjectFilesTest, ReplaceOlderFilesWithTheirTemplatesByteForByte) {
    // A geometry file named otherwise than ".g01" still gets siblings that say "g01".
    const std::string geometry = (dir_ / "geom.txt").string();
    std::ofstream(dir_ / "geom.prj") << "an older and much longer project file\n\n\n\n\n\n\n\n";
    for (int run = 0; run < 2; ++run) {
        writeHecRasProjectFiles(geometry);
        EXPECT_EQ(test::readFile(dir_ / "geom.prj"), test::readFile(kData / "project.prj"));
        EXPECT_EQ(test::readFile(dir_ / "geom.f01"), test::readFile(kData / "flow.f01"));
        EXPECT_EQ(test::readFile(dir_ / "geom.p01"), test::readFile(kData / "plan.p01"));
    }
}

// Keeps a regenerated golden honest: the line counts, the empty line and the trailing blanks.
TEST(ProjectFileGoldens, HaveTheirLayout) {
    const std::string project = test::readFile(kData / "project.prj");
    const std::string plan = test::readFile(kData / "plan.p01");
    EXPECT_EQ(std::count(project.begin(), project.end(), '\n'), 27);
    EXPECT_EQ(std::count(plan.begin(), plan.end(), '\n'), 49);
    EXPECT_TRUE(project.find("BEGIN DESCRIPTION:\r\n\r\nEND DESCRIPTION:\r\n") != project.npos);
    EXPECT_TRUE(plan.find("\r\nFlow Tol Ratio= 0.001 \r\nSplit Flow NTrial= 30 \r\n"
                          "Split Flow Tol= 0.02 \r\nSplit Flow Ratio= 0.02\r\n") != plan.npos);
}

TEST(HecRasBasePath, DropsOnlyTheExtensionOfTheLastComponent) {
    EXPECT_EQ(hecRasBasePath("C:\\run\\geom.g01"), "C:\\run\\geom");
    EXPECT_EQ(hecRasBasePath("./run/geom.g01"), "./run/geom");
    EXPECT_EQ(hecRasBasePath("/home/a.b/geom.g01"), "/home/a.b/geom");
    EXPECT_EQ(hecRasBasePath("C:\\my.runs/geom.v2.g01"), "C:\\my.runs/geom.v2");
    EXPECT_EQ(hecRasBasePath("geom.g01"), "geom");
}

TEST(HecRasBasePath, RefusesANameWithoutExtension) {
    for (const char* path : {"C:\\run\\geom", "/home/a.b/geom", "./run/", "/run/.g01", ""}) {
        EXPECT_EQ(errorOf([&] { hecRasBasePath(path); }),
                  "The geometry file name '" + std::string(path) +
                      "' has no extension: the project, plan and flow files cannot be named "
                      "after it");
    }
}

TEST_F(ProjectFilesTest, AFileThatCannotBeWrittenStopsTheRest) {
    fs::create_directory(dir_ / "geom.f01");  // a folder where the flow file should go
    const std::string flow = (dir_ / "geom.f01").string();
    EXPECT_EQ(errorOf([&] { writeHecRasProjectFiles((dir_ / "geom.g01").string()); }),
              "Cannot create file '" + flow + "': Is a directory");
    EXPECT_TRUE(fs::exists(dir_ / "geom.prj"));
    EXPECT_FALSE(fs::exists(dir_ / "geom.p01"));
}

}  // namespace
}  // namespace ondu
