// The command-line host as a user meets it: a run that does not complete changes nothing, no
// tool writes over its input, nothing to do is no success, bad geometry is named, and bad
// command lines are usage errors that name what is wrong.

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "support/cli_runner.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

const std::string kChannelXml =
    std::string(ONDU_SOURCE_DIR) + "/tests/exchange/data/hecras/single_reach.xml";

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { writeSampleRiver(river, SampleRiverOptions{}); }

    /// Runs ondu and checks that the river's map is exactly as before.
    test::CliResult runLeavingTheMapAsItWas(const std::vector<std::string>& args) {
        const std::string before = test::fingerprint(river);
        auto result = test::runCli(args);
        EXPECT_EQ(test::fingerprint(river), before) << result.err;
        return result;
    }

    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
};

// ---- a run that does not complete changes nothing --------------------------------------------

TEST_F(CommandLine, AFailedRunDiscardsItsEditSession) {
    auto r = runLeavingTheMapAsItWas(
        {"run", "clsThaCur", "--map", river, "--set", "frmLogRel.txtSecond=-1e308"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not a finite number"), std::string::npos) << r.err;
}

TEST_F(CommandLine, KeepEditsSavesWhatAFailedRunStored) {
    const std::string before = test::fingerprint(river);
    auto r = test::runCli({"run", "clsThaCur", "--map", river, "--set",
                           "frmLogRel.txtSecond=-1e308", "--keep-edits"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string after = test::fingerprint(river);
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("field ThaLocation"), std::string::npos);
}

TEST(CommandLineMaps, AFailedRunLeavesShapefilesAsTheyWere) {
    test::TempMap store(
        {{.name = "CenterlineSegments",
          .fields = {{"Measure", FieldType::Double},
                     {"BankElev", FieldType::Double},
                     {"Depth", FieldType::Double},
                     {"Width", FieldType::Double}},
          .features = {{"LINESTRING (0 -50,25 -43.3,43.3 -25)", {5.0, 100.0, 3.0, 10.0}},
                       {"LINESTRING (43.3 -25,50 0)", {15.0, 100.0, 3.0, 10.0}}}},
         {.name = "Thalweg", .hasZ = true}},
        test::StoreFormat::Shapefile);
    const std::string before = test::fingerprint(store.storePath());
    auto r = test::runCli({"run", "clsThaCur", "--map", store.storePath().string(), "--set",
                           "frmLogRel.txtSecond=-1e308"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(test::fingerprint(store.storePath()), before);
    auto kept = test::runCli({"run", "clsThaCur", "--map", store.storePath().string(), "--set",
                              "frmLogRel.txtSecond=-1e308", "--keep-edits"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_NE(test::fingerprint(store.storePath()), before);
}

// ---- no tool writes over its input -----------------------------------------------------------

TEST(CommandLineFiles, TheGeometryFileIsNeverWrittenOverItsInput) {
    test::TempDir dir;
    const std::string input = dir.file("v.xml");
    fs::copy_file(kChannelXml, input);
    fs::create_symlink(input, dir.file("link.xml"));
    fs::create_hard_link(input, dir.file("hard.xml"));
    const std::string original = test::readFile(input);
    struct Case {
        const char* name;
        std::string output;
        std::vector<std::string> more;
    };
    const Case cases[] = {
        {"same path", input, {}},
        {"dotted path", dir.path() + "/./v.xml", {}},
        {"symbolic link", dir.file("link.xml"), {}},
        {"hard link", dir.file("hard.xml"), {}},
        {"project file", dir.file("v.g01"), {"--set", "chkAuxFiles=1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = std::string(c.name) == "project file" ? dir.file("v.prj") : input;
        if (in != input) fs::copy_file(input, in, fs::copy_options::overwrite_existing);
        std::vector<std::string> args = {"run",   "clsXMLtoGeometryFile", "--set", "txtInput=" + in,
                                         "--set", "txtOutput=" + c.output};
        args.insert(args.end(), c.more.begin(), c.more.end());
        auto r = test::runCli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("is the input file '" + in + "'"), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(in), original);
    }
    EXPECT_FALSE(fs::exists(dir.file("v.g01")));
}

TEST(CommandLineFiles, AFailedConversionLeavesTheOldOutputFile) {
    test::TempDir dir;
    test::writeFile(dir.file("broken.xml"), "<ChannelGeometry><Reaches/></ChannelGeometry>");
    test::writeFile(dir.file("run.g01"), "older geometry");
    auto r =
        test::runCli({"run", "clsXMLtoGeometryFile", "--set", "txtInput=" + dir.file("broken.xml"),
                      "--set", "txtOutput=" + dir.file("run.g01")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(test::readFile(dir.file("run.g01")), "older geometry");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(CommandLine, TheThalwegIsNeverWrittenIntoTheSegments) {
    auto r = runLeavingTheMapAsItWas(
        {"run", "clsThaCur", "--map", river, "--set", "cmbThalweg=CenterlineSegments"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("frmNewThaCur.cmbThalweg: 'CenterlineSegments' is not in the list"),
              std::string::npos)
        << r.err;
}

// ---- nothing to do is not a success ----------------------------------------------------------

TEST_F(CommandLine, AnEmptyProcessingSetIsRefused) {
    auto r = runLeavingTheMapAsItWas(
        {"run", "clsThaCur", "--map", river, "--select", "CenterlineSegments=424242"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[Warning] No features to process in CenterlineSegments\n");
}

TEST(CommandLineMaps, AnEmptyLayerIsRefused) {
    test::TempMap store({{.name = "CenterlineSegments"}, {.name = "Thalweg", .hasZ = true}});
    const std::string before = test::fingerprint(store.storePath());
    auto r = test::runCli({"run", "clsThaCur", "--map", store.storePath().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[Warning] No features to process in CenterlineSegments\n");
    EXPECT_EQ(test::fingerprint(store.storePath()), before);
}

// ---- bad geometry is named -------------------------------------------------------------------

TEST(CommandLineMaps, BadShapesAreNamedByFeatureAndLayer) {
    struct Case {
        const char* name;
        Path vertices;
        std::string message;
    };
    const Case cases[] = {
        {"NaN vertex",
         {{0, 0}, {kNaN, 5}, {10, 0}},
         "[2] 5: Feature 2 of CenterlineSegments has a coordinate that is not a finite number"},
        {"infinite vertex",
         {{0, 0}, {5, std::numeric_limits<double>::infinity()}, {10, 0}},
         "[2] 5: Feature 2 of CenterlineSegments has a coordinate that is not a finite number"},
        {"empty shape", {}, "[2] 91: Feature 2 of CenterlineSegments has no shape"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempMap store({{.name = "CenterlineSegments",
                              .fields = {{"Measure", FieldType::Double},
                                         {"BankElev", FieldType::Double},
                                         {"Depth", FieldType::Double},
                                         {"Width", FieldType::Double}},
                              .features = {{"LINESTRING (-10 0,0 0)", {5.0, 100.0, 3.0, 10.0}}}},
                             {.name = "Thalweg", .hasZ = true}});
        {
            HostApplication app(store.openMap());
            IFeatureClass& cls = *app.map().layer(0).asFeatureLayer()->featureClass();
            FeaturePtr bad = cls.createFeature();
            bad->setShape(Polyline(c.vertices));
            bad->setValue(cls.findField("Measure"), 15.0);
            bad->store();
        }
        const std::string before = test::fingerprint(store.storePath());
        auto r = test::runCli({"run", "clsThaCur", "--map", store.storePath().string()});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.message + "\n");
        EXPECT_EQ(test::fingerprint(store.storePath()), before);
    }
}

// ---- usage errors name what is wrong ---------------------------------------------------------

TEST_F(CommandLine, BadCommandLinesAreUsageErrorsNamingTheOption) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--select", "CenterlineSegments=99999999999999999999999"},
         "ondu: --select CenterlineSegments=99999999999999999999999: '99999999999999999999999' "
         "is not an object id"},
        {{"--set", "frmLogRel.txtFirst=abc"},
         "ondu: --set frmLogRel.txtFirst: 'abc' is not a number"},
        {{"--set", "frmNewThaCur.chkBoundary=maybe"},
         "ondu: --set frmNewThaCur.chkBoundary: 'maybe' is not 1 or 0"},
        {{"--set", "cmbMeasure=NoSuchField"},
         "ondu: --set frmNewThaCur.cmbMeasure: 'NoSuchField' is not in the list"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"run", "clsThaCur", "--map", river};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto r = runLeavingTheMapAsItWas(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    }
}

TEST(CommandLineMaps, MissingLayersAreNamed) {
    test::TempMap noLayers({{.name = "Notes", .shape = ShapeType::Point}});
    auto r = test::runCli({"run", "clsThaCur", "--map", noLayers.storePath().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[0] 91: No centerline layer chosen: the map 'store' offers none\n");
    test::TempMap noThalweg(
        {{.name = "CenterlineSegments", .features = {{"LINESTRING (0 0,10 0)", {}}}}});
    r = test::runCli({"run", "clsThaCur", "--map", noThalweg.storePath().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[0] 91: No thalweg layer chosen: the map 'store' offers none\n");
}

TEST(CommandLineRiver, SampleRiverBoundsItsOptionsAndLeavesNoPartialFile) {
    test::TempDir dir;
    auto r = test::runCli({"sample-river", dir.file("r.gpkg"), "--reference-points", "2000000000"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("referencePointCount must be from 0 to 1000000"), std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace ondu
