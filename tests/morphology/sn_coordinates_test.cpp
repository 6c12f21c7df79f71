#include "morphology/sn_coordinates.h"

#include <gtest/gtest.h>

#include <cmath>

#include "framework/host/sample_river.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

const char* kSeveral =
    "[] Centerline has more than one feature. The program will work only with the first feature "
    "or the selected feature";
const char* kNoMeasures =
    "[Assign (s,n) coordinates] The input centerline does not have valid measures assignet to "
    "it. Click YES to assign measures and proceed. Click NO to exit.";

test::LayerSpec surveyPoints(std::vector<std::string> wkts) {
    test::LayerSpec layer{.name = "Survey",
                          .shape = ShapeType::Point,
                          .fields = {{"S", FieldType::Double}, {"N", FieldType::Double}}};
    for (auto& wkt : wkts) layer.features.push_back({std::move(wkt), {}});
    return layer;
}

test::LayerSpec centerline(std::vector<std::string> wkts, bool measured = true) {
    test::LayerSpec layer{.name = "Centerline", .hasM = measured};
    for (auto& wkt : wkts) layer.features.push_back({std::move(wkt), {}});
    return layer;
}

/// A measured centerline drawn west to east, measures equal to the distance along it.
const char* kWestToEast = "LINESTRING M (0 0 0,100 0 100)";

class SnDialog : public ::testing::TestWithParam<StoreFormat> {
protected:
    void TearDown() override { Forms::reset(); }

    frmSN& open(const std::vector<test::LayerSpec>& layers) {
        host.reset();
        store = std::make_unique<test::TempMap>(layers, GetParam());
        host = std::make_unique<test::InstalledHost>(store->openMap());
        host->app().editor().startEditing();
        auto& form = Forms::get<frmSN>();
        form.load();
        form.choose("cmbInput", "Survey");
        form.choose("cmbSCoordinate", "S");
        form.choose("cmbNCoordinate", "N");
        return form;
    }
    void ok(frmSN& form) {
        form.pressOk();
        host->app().editor().stopEditing(true);
    }
    long long id(int k) const { return GetParam() == StoreFormat::Shapefile ? k - 1 : k; }
    FieldValue stored(int k, const char* field) {
        return test::storedValue(host->featureLayer("Survey"), id(k), field);
    }
    double number(int k, const char* field) { return toDouble(stored(k, field)).value_or(kNaN); }

    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_P(SnDialog, SAlongTheLineAndNSignedRightPositive) {
    struct Expect {
        const char* wkt;
        double s, n;
    };
    const Expect points[] = {
        {"POINT (50 -5)", 50, 5},                    // right of a west-to-east line
        {"POINT (50 5)", 50, -5},                    // its mirror on the left
        {"POINT (30 0)", 30, 0},                     // on the line
        {"POINT (-10 3)", 0, -std::hypot(10, 3)},    // before the start, to the left
        {"POINT (110 -4)", 100, std::hypot(10, 4)},  // beyond the end, to the right
    };
    std::vector<std::string> wkts;
    for (const auto& p : points) wkts.push_back(p.wkt);
    auto& form = open({surveyPoints(wkts), centerline({kWestToEast})});
    host->featureLayer("Survey")->selectionSet().add(id(1));  // a selection limits nothing
    ok(form);
    for (int k = 1; k <= 5; ++k) {
        SCOPED_TRACE(points[k - 1].wkt);
        EXPECT_NEAR(number(k, "S"), points[k - 1].s, 1e-9);
        EXPECT_NEAR(number(k, "N"), points[k - 1].n, 1e-9);
    }
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Assign (s,n) coordinates] 5 number of features were "
                                       "processed!"});
    EXPECT_FALSE(Forms::anyLoaded());
}

TEST_P(SnDialog, CenterlineFeatureIsTheOneSelectedElseTheFirst) {
    // Three parallel centerlines, measured differently: s tells which one was used.
    const std::vector<std::string> three = {"LINESTRING M (0 0 0,100 0 100)",
                                            "LINESTRING M (0 10 1000,100 10 1100)",
                                            "LINESTRING M (0 20 2000,100 20 2100)"};
    struct Case {
        const char* name;
        std::vector<int> selected;
        double s;
    };
    const Case cases[] = {
        {"one selected", {2}, 1050}, {"two selected", {2, 3}, 50}, {"none", {}, 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        auto& form = open({surveyPoints({"POINT (50 5)"}), centerline(three)});
        for (int k : c.selected) host->featureLayer("Centerline")->selectionSet().add(id(k));
        ok(form);
        EXPECT_NEAR(number(1, "S"), c.s, 1e-9);
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messageLines()[0], kSeveral);
        Forms::reset();
    }
}

TEST_P(SnDialog, UnmeasuredCenterlineAsksAndNoWritesNothing) {
    auto& form =
        open({surveyPoints({"POINT (25 -1)"}), centerline({"LINESTRING (0 0,100 0)"}, false)});
    const std::string before = test::fingerprint(store->storePath());
    ui.answers.push_back(MsgAnswer::No);
    ok(form);
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{kNoMeasures});
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(form.isLoaded());
    EXPECT_EQ(test::fingerprint(store->storePath()), before);

    Forms::reset();
    ui.messages.clear();
    auto& again =
        open({surveyPoints({"POINT (25 -1)"}), centerline({"LINESTRING (0 0,100 0)"}, false)});
    ui.answers.push_back(MsgAnswer::Yes);
    ok(again);
    EXPECT_NEAR(number(1, "S"), 25, 1e-9);  // measures 0 to the length were given to a copy
    EXPECT_NEAR(number(1, "N"), 1, 1e-9);
    auto line = host->featureLayer("Centerline")->featureClass()->getFeature(id(1))->shape();
    EXPECT_FALSE(hasM(line));
}

TEST_P(SnDialog, ChoicesThatCannotRunWarnAndKeepTheDialogOpen) {
    struct Case {
        const char* control;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"cmbInput", "", "[Assign (s,n) cooridnates] Please select the point layer"},
        {"cmbCenterline", "", "[Assign (s,n) cooridnates] Please select the centerline layer"},
        {"cmbNCoordinate", "S",
         "[Assign (s,n) coordinates] Please select different fields for s-Coordinate and "
         "n-Coordinate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        ui.messages.clear();
        auto& form = open({surveyPoints({"POINT (25 -1)"}), centerline({kWestToEast})});
        form.type(c.control, c.value);
        ok(form);
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(form.isLoaded());
        EXPECT_TRUE(isNull(stored(1, "S")));
        Forms::reset();
    }
}

TEST_P(SnDialog, MapWithoutLinesSaysSoOnOpening) {
    host.reset();
    store =
        std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{surveyPoints({})}, GetParam());
    host = std::make_unique<test::InstalledHost>(store->openMap());
    Forms::get<frmSN>().load();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Add Centerline Layer] No PolylineM/PolylineZM layer in "
                                       "the map for the centerline."});
}

INSTANTIATE_TEST_SUITE_P(Stores, SnDialog,
                         ::testing::Values(StoreFormat::GeoPackage, StoreFormat::Shapefile));

// ---- through the command-line host -----------------------------------------------------------

TEST(SnCommandLine, SurveyPointsOfTheSampleRiverGetTheirCoordinates) {
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
    writeSampleRiver(river, SampleRiverOptions{});
    auto r = test::runCli({"run", "clsAssignSN", "--map", river, "--set", "cmbInput=SurveyPoints",
                           "--set", "cmbCenterline=CenterLine", "--set", "cmbSCoordinate=S",
                           "--set", "cmbNCoordinate=N"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[Assign (s,n) coordinates] 20 number of features were processed!\n");
    test::InstalledHost host(MapDocument::open(river));
    IFeatureLayer* points = host.featureLayer("SurveyPoints");
    // The first point lies 0.4 of the 40 wide channel left of the centerline, near measure 250.
    EXPECT_NEAR(*toDouble(test::storedValue(points, 1, "N")), -16, 0.01);
    EXPECT_NEAR(*toDouble(test::storedValue(points, 1, "S")), 250, 1);
}

TEST(SnCommandLine, UnmeasuredCenterlineTakesTheAnswerFromTheCommandLine) {
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
    writeSampleRiver(river, SampleRiverOptions{});
    const std::vector<std::string> run = {
        "run",   "clsAssignSN",           "--map", river,
        "--set", "cmbInput=SurveyPoints", "--set", "cmbCenterline=CenterlineSegments",
        "--set", "cmbSCoordinate=S",      "--set", "cmbNCoordinate=N"};
    auto no = run;
    no.insert(no.end(), {"--answer", "no"});
    auto r = test::runCli(no);
    EXPECT_EQ(r.exitCode, 1);
    auto yes = run;
    yes.insert(yes.end(), {"--answer", "yes"});
    r = test::runCli(yes);
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
}  // namespace ondu
