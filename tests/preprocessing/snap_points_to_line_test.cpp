#include "preprocessing/snap_points_to_line.h"

#include <gtest/gtest.h>

#include "framework/geometry/curve.h"
#include "framework/host/sample_river.h"
#include "framework/shared_state.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

test::LayerSpec stations(std::vector<std::string> wkts, bool hasZ = false) {
    test::LayerSpec layer{.name = "Stations", .shape = ShapeType::Point, .hasZ = hasZ};
    for (auto& wkt : wkts) layer.features.push_back({std::move(wkt), {}});
    return layer;
}

test::LayerSpec lines(std::vector<std::string> wkts) {
    test::LayerSpec layer{.name = "River"};
    for (auto& wkt : wkts) layer.features.push_back({std::move(wkt), {}});
    return layer;
}

class SnapDialog : public ::testing::TestWithParam<StoreFormat> {
protected:
    void TearDown() override { Forms::reset(); }

    /// Opens a map of the layers and the dialog with both layers chosen.
    frmSnapPtsToLine& open(const std::vector<test::LayerSpec>& layers) {
        host.reset();
        store = std::make_unique<test::TempMap>(layers, GetParam());
        host = std::make_unique<test::InstalledHost>(store->openMap());
        host->app().editor().startEditing();
        auto& form = Forms::get<frmSnapPtsToLine>();
        form.load();
        form.choose("cmbPoints", "Stations");
        form.choose("cmbLine", "River");
        return form;
    }
    /// Presses OK and saves the edits; answers the stations' points in identifier order.
    std::vector<Point> snap(frmSnapPtsToLine& form) {
        form.pressOk();
        host->app().editor().stopEditing(true);
        std::vector<Point> points;
        auto cursor = host->featureLayer("Stations")->featureClass()->search(nullptr);
        while (auto f = cursor->nextFeature()) points.push_back(std::get<Point>(f->shape()));
        return points;
    }
    long long firstId() const { return GetParam() == StoreFormat::Shapefile ? 0 : 1; }

    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_P(SnapDialog, PointsMoveToTheNearestLineInReachAndTheRestAreNamed) {
    struct Case {
        const char* name;
        std::string point;
        double x, y;  ///< where it ends
        bool snapped;
    };
    const Case cases[] = {
        {"below the line", "POINT (50 -30)", 50, 0, true},
        {"on the line stays", "POINT (20 0)", 20, 0, true},
        {"beyond the end goes to the end", "POINT (130 40)", 100, 0, true},
        {"150 away with reach 100 stays", "POINT (50 150)", 50, 150, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        auto points = snap(open({stations({c.point}), lines({"LINESTRING (0 0,100 0)"})}));
        ASSERT_EQ(points.size(), 1u);
        EXPECT_DOUBLE_EQ(points[0].x, c.x);
        EXPECT_DOUBLE_EQ(points[0].y, c.y);
        if (c.snapped) {
            EXPECT_EQ(ui.messageLines(),
                      std::vector<std::string>{"[Snap Points to Line] All the points were snapped "
                                               "successfully!"});
        } else {
            EXPECT_EQ(ui.messageLines(),
                      (std::vector<std::string>{
                          "[Snap points to line] Point with OID = " + std::to_string(firstId()) +
                              " cannot be snapped.",
                          "[Snap Points to Line] 0 points were snapped; 1 point could not be "
                          "snapped."}));
            EXPECT_TRUE(g_itemsLeftUndone);
        }
        EXPECT_FALSE(Forms::anyLoaded());
        Forms::reset();
    }
}

TEST_P(SnapDialog, TheNearerOfTwoLinesInReachWinsWhateverTheirOrder) {
    // The farther line comes first in the layer, as a search would likely return it.
    auto points = snap(open({stations({"POINT (50 10)"}),
                             lines({"LINESTRING (0 -40,100 -40)", "LINESTRING (0 20,100 20)"})}));
    EXPECT_DOUBLE_EQ(points[0].y, 20);
}

TEST_P(SnapDialog, SnappedPointsLoseTheirElevation) {
    auto points =
        snap(open({stations({"POINT Z (20 5 7)"}, true), lines({"LINESTRING (0 0,100 0)"})}));
    EXPECT_DOUBLE_EQ(points[0].x, 20);
    EXPECT_DOUBLE_EQ(points[0].y, 0);
    EXPECT_DOUBLE_EQ(points[0].z, 0);  // the class keeps Z; the moved point brings none
}

TEST_P(SnapDialog, FinalMessageCountsSnappedAndUnsnappedPoints) {
    snap(open({stations({"POINT (10 1)", "POINT (10 500)", "POINT (20 1)", "POINT (10 -600)"}),
               lines({"LINESTRING (0 0,100 0)"})}));
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messageLines().back(),
              "[Snap Points to Line] 2 points were snapped; 2 points could not be snapped.");
}

TEST_P(SnapDialog, SelectionLimitsThePointsMoved) {
    auto& form =
        open({stations({"POINT (10 5)", "POINT (20 5)"}), lines({"LINESTRING (0 0,100 0)"})});
    host->featureLayer("Stations")->selectionSet().add(firstId() + 1);
    auto points = snap(form);
    EXPECT_DOUBLE_EQ(points[0].y, 5);
    EXPECT_DOUBLE_EQ(points[1].y, 0);
}

TEST_P(SnapDialog, BadChoicesWarnInOrderAndWriteNothing) {
    struct Case {
        const char* control;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"cmbPoints", "", "[Warning] No layer selected for points"},
        {"cmbLine", "", "[Warning] No layer selected for centerline"},
        {"txtBuffer", "abc", "[Warning] Enter a valid number for buffer distance"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        ui.messages.clear();
        auto& form = open({stations({"POINT (10 5)"}), lines({"LINESTRING (0 0,100 0)"})});
        const std::string before = test::fingerprint(store->storePath());
        form.type(c.control, c.value);
        if (std::string(c.control) == "txtBuffer")
            EXPECT_EQ(form.control("txtBuffer").foreColor, kRed);
        form.pressOk();
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(form.isLoaded());
        host->app().editor().stopEditing(true);
        EXPECT_EQ(test::fingerprint(store->storePath()), before);
        Forms::reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, SnapDialog,
                         ::testing::Values(StoreFormat::GeoPackage, StoreFormat::Shapefile));

// ---- through the command-line host -----------------------------------------------------------

class SnapCommandLine : public ::testing::Test {
protected:
    void SetUp() override { writeSampleRiver(river, SampleRiverOptions{}); }
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
};

TEST_F(SnapCommandLine, GaugingStationsOfTheSampleRiverAllSnap) {
    auto r = test::runCli({"run", "clsSnapPointstoLine", "--map", river, "--set",
                           "cmbPoints=GaugingStations", "--set", "cmbLine=CenterLine"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[Snap Points to Line] All the points were snapped successfully!\n");
}

TEST_F(SnapCommandLine, PointsLeftBehindGiveExitStatusThreeAndTheSnappedOnesAreKept) {
    auto r = test::runCli({"run", "clsSnapPointstoLine", "--map", river, "--set",
                           "cmbPoints=GaugingStations", "--set", "cmbLine=CenterLine", "--set",
                           "txtBuffer=20"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    // Stations sit 35 from the centerline: none is within 20.
    EXPECT_NE(r.err.find("[Snap Points to Line] 0 points were snapped; 3 points could not be "
                         "snapped."),
              std::string::npos)
        << r.err;
    r = test::runCli({"run", "clsSnapPointstoLine", "--map", river, "--set",
                      "cmbPoints=GaugingStations", "--set", "cmbLine=CenterLine", "--set",
                      "txtBuffer=20", "--select", "GaugingStations=1"});
    EXPECT_EQ(r.exitCode, 3);
    r = test::runCli({"run", "clsSnapPointstoLine", "--map", river, "--set",
                      "cmbPoints=GaugingStations", "--set", "cmbLine=CenterLine", "--set",
                      "txtBuffer=40", "--select", "GaugingStations=1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(MapDocument::open(river));
    auto stations = host.featureLayer("GaugingStations")->featureClass();
    auto snappedPoint = std::get<Point>(stations->getFeature(1)->shape());
    auto line =
        std::get<Polyline>(host.featureLayer("CenterLine")->featureClass()->getFeature(1)->shape());
    EXPECT_NEAR(nearestLocation(line, snappedPoint).distanceFrom, 0, 1e-6);
}

}  // namespace
}  // namespace ondu
