#include "morphology/thalweg_from_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <sstream>

#include "framework/geometry/curve.h"
#include "framework/host/sample_river.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

const char* kQuestion =
    "[Locate Thalweg] The map document already has a raster grid(s). If one of these grids "
    "represent river bathymetry, please click YES  to continue without adding any other data or "
    "click NO to add other data.";
const char* kLocated = "[Locate thalweg] Thalweg is located successfully!";

// A valley whose deepest line winds about y = 50; its bed rises away from that line.
double valleyY(double x) { return 50 + 20 * std::sin(2 * std::numbers::pi * x / 800); }
double valleyZ(double x, double y) { return 90 + 0.02 * std::pow(y - valleyY(x), 2); }

/// The valley as a raster of 2 x 2 cells over x -200 to 1400 and y -150 to 350.
std::string writeValleyRaster(const std::string& folder) {
    const CellGrid grid{-200, -150, 2, 800, 250};
    RasterDatasetPtr raster =
        openRasterWorkspace(folder)->createDataset({.name = "valley",
                                                    .origin = Point(grid.xMin, grid.yMin),
                                                    .columns = grid.columns,
                                                    .rows = grid.rows,
                                                    .cellWidth = 2,
                                                    .cellHeight = 2});
    std::vector<double> cells;
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column)
            cells.push_back(valleyZ(grid.centreX(column), grid.centreY(row)));
    raster->band(0).writeBlock(0, 0, grid.columns, grid.rows, cells);
    raster->save();
    return folder + "/valley.tif";
}

/// A line along y = 50 from x = 100 to 900 in eight segments of 100: it is not densified.
const char* kDrawn = "100 50,200 50,300 50,400 50,500 50,600 50,700 50,800 50,900 50";
/// A line with a right-angle bend.
const char* kBent = "100 50,500 50,500 250";
const char* kWideBoundary = "POLYGON ((0 -100,1000 -100,1000 200,0 200,0 -100))";

test::LayerSpec bedPoints() {
    test::LayerSpec layer{
        .name = "Points", .shape = ShapeType::Point, .fields = {{"BedElev", FieldType::Double}}};
    for (int x = 0; x <= 1000; x += 20)
        for (int y = -100; y <= 200; y += 5)
            layer.features.push_back(
                {"POINT (" + std::to_string(x) + " " + std::to_string(y) + ")", {valleyZ(x, y)}});
    return layer;
}

test::LayerSpec boundary(const std::string& wkt = kWideBoundary) {
    return {.name = "ChannelBoundary", .shape = ShapeType::Polygon, .features = {{wkt, {}}}};
}

/// Lines drawn through "x y,x y,...", as a 3D layer with measures stores them.
test::LayerSpec drawnLines(const std::vector<std::string>& lines) {
    test::LayerSpec layer{.name = "Thalweg", .hasZ = true, .hasM = true};
    for (const auto& coordinates : lines) {
        std::string wkt = "LINESTRING ZM (";
        std::stringstream pairs(coordinates);
        std::string pair;
        while (std::getline(pairs, pair, ','))
            wkt += (wkt.back() == '(' ? "" : ",") + pair + " 0 0";
        layer.features.push_back({wkt + ")", {}});
    }
    return layer;
}

std::vector<test::LayerSpec> layers(const std::string& drawn = kDrawn,
                                    const std::string& outline = kWideBoundary) {
    return {bedPoints(), boundary(outline), drawnLines({drawn})};
}

class ThalwegPointsDialog : public ::testing::TestWithParam<StoreFormat> {
protected:
    void TearDown() override { Forms::reset(); }

    frmThalweg& open(const std::vector<test::LayerSpec>& specs, bool withRaster = true) {
        host.reset();
        store = std::make_unique<test::TempMap>(specs, GetParam());
        auto map = store->openMap();
        if (withRaster)
            map->addSurfaceLayer("Valley", LayerKind::Raster,
                                 writeValleyRaster(store->folder().string()));
        host = std::make_unique<test::InstalledHost>(std::move(map));
        host->app().editor().startEditing();
        frmThalweg& form = Forms::get<frmThalweg>();
        form.load();
        return form;
    }
    /// Presses OK and keeps the edits when the dialog closed, as the hosts do; answers the
    /// drawn feature's stored shape.
    Polyline ok(frmThalweg& form, std::size_t feature = 0) {
        form.pressOk();
        host->app().editor().stopEditing(!form.isLoaded());
        return std::get<Polyline>(
            test::storedFeatures(host->featureLayer("Thalweg")).at(feature).shape);
    }
    std::size_t pointFlashes() const {
        std::size_t n = 0;
        for (const auto& f : ui.flashes) n += shapeTypeOf(f.geometry) == ShapeType::Point;
        return n;
    }

    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_P(ThalwegPointsDialog, RasterModeFindsTheDeepestLineWithinOneCell) {
    ui.inputs.push_back("50");
    frmThalweg& form = open(layers());
    EXPECT_FALSE(form.control("cboPointLayer").enabled);
    EXPECT_FALSE(form.control("cboField").enabled);
    const Polyline thalweg = ok(form);
    EXPECT_EQ(ui.messageLines(), (std::vector<std::string>{kQuestion, kLocated}));
    EXPECT_FALSE(form.isLoaded());
    const Path& v = thalweg.paths.at(0);
    ASSERT_EQ(v.size(), 9u);  // two extensions around the seven normals' deepest points
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
        EXPECT_NEAR(v[i].x, 150 + 100.0 * static_cast<double>(i - 1), 1e-9);
        EXPECT_NEAR(v[i].y, valleyY(v[i].x), 2) << "normal " << i;
        EXPECT_NEAR(v[i].z, valleyZ(v[i].x, v[i].y), 0.1);
    }
    EXPECT_NEAR(std::hypot(v[1].x - v[0].x, v[1].y - v[0].y), 50, 1e-6);
    EXPECT_NEAR(std::hypot(v[8].x - v[7].x, v[8].y - v[7].y), 50, 1e-6);
    EXPECT_DOUBLE_EQ(v.front().z, v[1].z);
    EXPECT_DOUBLE_EQ(v.back().z, v[7].z);
    if (GetParam() == StoreFormat::GeoPackage) {  // shapefiles keep no measures here
        EXPECT_DOUBLE_EQ(v.front().m, 0);
        EXPECT_NEAR(v.back().m, length(thalweg), 1e-6);
    }
    // Every deepest point is flashed blue as found, then the old and the new line.
    EXPECT_EQ(pointFlashes(), 7u);
    ASSERT_EQ(ui.flashes.size(), 9u);
    EXPECT_EQ(ui.flashes.back().colour, (RgbColor{0, 0, 255}));
}

TEST_P(ThalwegPointsDialog, PointModeInterpolatesTheBedFromThePoints) {
    ui.answers.push_back(MsgAnswer::No);
    ui.inputs.push_back("50");
    test::TempDir work;
    const char* earlier = std::getenv("ONDU_WORK_DIR");
    const std::string kept = earlier ? earlier : "";
    frmThalweg& form = open(layers());
    ::setenv("ONDU_WORK_DIR", work.path().c_str(), 1);
    EXPECT_FALSE(form.control("cmbRaster").enabled);
    form.choose("cboField", "BedElev");
    const Polyline thalweg = ok(form);
    if (earlier)
        ::setenv("ONDU_WORK_DIR", kept.c_str(), 1);
    else
        ::unsetenv("ONDU_WORK_DIR");
    EXPECT_EQ(ui.messageLines(), (std::vector<std::string>{kQuestion, kLocated}));
    EXPECT_TRUE(std::filesystem::exists(work.file("IDW_BedElev.tif")));
    const Path& v = thalweg.paths.at(0);
    ASSERT_EQ(v.size(), 9u);
    for (std::size_t i = 1; i + 1 < v.size(); ++i)
        EXPECT_NEAR(v[i].y, valleyY(v[i].x), 5) << "normal " << i;
}

TEST_P(ThalwegPointsDialog, WithoutARasterTheBedComesFromPointsUnasked) {
    frmThalweg& form = open(layers(), false);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(form.control("cmbRaster").enabled);
    EXPECT_TRUE(form.control("cboPointLayer").enabled);
}

TEST_P(ThalwegPointsDialog, MissingChoicesWarnInOrderAndKeepTheDialogOpen) {
    struct Case {
        bool rasterMode;
        std::vector<const char*> cleared;
        const char* message;
    };
    const Case cases[] = {
        {false, {"cboPointLayer", "cboField"}, "[Create Thalweg] Please select the point layer!"},
        {false, {"cboField"}, "[Create Thalweg] Please select the field that contains 'z' values!"},
        {false,
         {"cboPolygonLayer"},
         "[Create Thalweg] Please select the boundary for the channel!"},
        {false, {"cboPolylineLayer"}, "[Create Thalweg] Please select centerline layer!"},
        {true, {"cmbRaster", "cboPolygonLayer"}, "[Locate thalweg] Please select a raster layer"},
        {true, {"cboPolygonLayer"}, "[Create Thalweg] Please select the boundary for the channel!"},
    };
    for (const Case& c : cases) {
        ui.messages.clear();
        ui.answers = {c.rasterMode ? MsgAnswer::Yes : MsgAnswer::No};
        frmThalweg& form = open(layers());
        for (const char* control : c.cleared) form.type(control, "");
        const std::string before = test::fingerprint(store->storePath());
        form.pressOk();
        EXPECT_EQ(ui.messageLines(), (std::vector<std::string>{kQuestion, c.message}));
        EXPECT_TRUE(form.isLoaded());
        EXPECT_EQ(test::fingerprint(store->storePath()), before);
        Forms::reset();
    }
}

TEST_P(ThalwegPointsDialog, EmptyThalwegLayerAsksForALineAndCloses) {
    frmThalweg& form = open({bedPoints(), boundary(), drawnLines({})});
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              (std::vector<std::string>{kQuestion,
                                        "[Create Thalweg] Please draw an arbitrary line first!"}));
    EXPECT_FALSE(form.isLoaded());
}

TEST_P(ThalwegPointsDialog, OfSeveralLinesTheSelectedOneIsTraced) {
    ui.inputs.push_back("50");
    const char* other = "100 0,900 0";
    frmThalweg& form = open({bedPoints(), boundary(), drawnLines({other, kDrawn})});
    const auto ids = test::storedFeatures(host->featureLayer("Thalweg"));
    host->featureLayer("Thalweg")->selectionSet().add(ids.at(1).oid);
    const Polyline traced = ok(form, 1);
    EXPECT_EQ(ui.messages.at(1).text,
              "The Thalweg layer has more than one feature. The program will work only with the "
              "first feature or the selected feature");
    EXPECT_EQ(traced.paths.at(0).size(), 9u);
    EXPECT_EQ(allVertices(test::storedFeatures(host->featureLayer("Thalweg")).at(0).shape).size(),
              2u);
}

TEST_P(ThalwegPointsDialog, SharpBendWarningOkClosesUnchangedIgnoreGoesOn) {
    for (const bool ignore : {false, true}) {
        ui.messages.clear();
        ui.inputs = {"50"};
        std::string shownText;
        ui.onShow = [&](Dialog& warning) {
            shownText = warning.control("txtWarning").text;
            warning.click(ignore ? "cmdIgnore" : "cmdOK");
        };
        frmThalweg& form = open(layers(kBent));
        const std::string before = test::fingerprint(store->storePath());
        ok(form);
        EXPECT_EQ(shownText, "\nThe angle between the segments 0 and 1 is 269.99.\n");
        EXPECT_EQ(ui.shownDialogs.back(), "frmWarning");
        EXPECT_FALSE(form.isLoaded());
        EXPECT_EQ(ui.messageLines().back(), ignore ? kLocated : kQuestion);
        EXPECT_EQ(test::fingerprint(store->storePath()) == before, !ignore);
        Forms::reset();
    }
}

TEST_P(ThalwegPointsDialog, TwoBoundaryCrossingsInsertVerticesThreeDoNot) {
    struct Case {
        const char* outline;
        std::size_t normals;
    };
    const Case cases[] = {
        {"POLYGON ((250 -100,750 -100,750 200,250 200,250 -100))", 9},
        {"POLYGON ((250 -100,1000 -100,1000 200,550 200,550 0,450 0,450 200,250 200,250 -100))", 7},
    };
    for (const Case& c : cases) {
        ui.flashes.clear();
        ui.inputs = {"50"};
        ok(open(layers(kDrawn, c.outline)));
        EXPECT_EQ(pointFlashes(), c.normals) << c.outline;
        Forms::reset();
    }
}

TEST_P(ThalwegPointsDialog, ChannelWidthBelowOneExtendsTheEndsBy100) {
    ui.inputs.push_back("0.5");
    const Path v = ok(open(layers())).paths.at(0);
    EXPECT_EQ(ui.messageLines().at(1),
              "[Create Thalweg] You did not enter a valid number, the program will run with width "
              "= 100.");
    EXPECT_NEAR(std::hypot(v[1].x - v[0].x, v[1].y - v[0].y), 100, 1e-6);
}

TEST_P(ThalwegPointsDialog, FailuresInTheLineStepAreReportedAsFailuresAndChangeNothing) {
    struct Case {
        std::optional<std::string> width;
        std::string drawn;
        std::string message;
    };
    const Case cases[] = {
        {"wide", kDrawn,
         "[Locate Thalweg CreateLinefromPts] The following error occurred: Type mismatch "
         "(channel width 'wide')."},
        {std::nullopt, kDrawn,
         "[Locate Thalweg CreateLinefromPts] The following error occurred: Type mismatch "
         "(channel width '')."},
        {"50", "5000 5000,5100 5000,5200 5000",
         "[Locate Thalweg CreateLinefromPts] The following error occurred: A thalweg needs at "
         "least two deepest points; 0 found on the bed surface."},
    };
    for (const Case& c : cases) {
        ui.messages.clear();
        ui.inputs = {c.width};
        frmThalweg& form = open(layers(c.drawn));
        const std::string before = test::fingerprint(store->storePath());
        ok(form);
        EXPECT_EQ(ui.messageLines(), (std::vector<std::string>{kQuestion, c.message}));
        EXPECT_TRUE(form.isLoaded());
        EXPECT_EQ(test::fingerprint(store->storePath()), before);
        Forms::reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ThalwegPointsDialog,
                         ::testing::Values(StoreFormat::GeoPackage, StoreFormat::Shapefile));

TEST(SharpBends, RightAnglesAreFlaggedGentleBendsAreNot) {
    struct Case {
        Path line;
        std::string warning;
    };
    const double c30 = 100 * std::cos(std::numbers::pi / 6), s30 = 50;
    const Case cases[] = {
        {{Point(0, 0), Point(100, 0), Point(100, 100)},
         "\nThe angle between the segments 0 and 1 is 269.99.\n"},
        {{Point(0, 0), Point(100, 0), Point(100, -100)},
         "\nThe angle between the segments 0 and 1 is 90.01.\n"},
        {{Point(0, 0), Point(100, 0), Point(100 + c30, s30)}, ""},
        {{Point(0, 0), Point(100, 0), Point(100 + c30, -s30)}, ""},
        {{Point(0, 0), Point(100, 0), Point(200, 0), Point(200, 100)},
         "\nThe angle between the segments 1 and 2 is 269.99.\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(SharpBendWarnings(Polyline(c.line)), c.warning);
}

TEST(Densify, DecidedBySegmentCountAgainstLengthPerHundred) {
    struct Case {
        std::size_t segments;
        double length;
        bool densify;
    };
    const Case cases[] = {
        {3, 1000, true},                       // m = 10, c < m - 2
        {10, 1050, false},                     // 10.5 rounds to the even 10: c = m
        {8, 1050, false},                      // within 2 below m
        {7, 1000, true},   {25, 2500, false},  // c = m
        {25, 2000, true},                      // c = 25 always densifies unless c = m
        {30, 3600, true},                      // m = 36, c < m - 5
        {31, 3600, false},                     // within 5 below m
        {40, 3000, false},                     // c > m
    };
    for (const Case& c : cases)
        EXPECT_EQ(NeedsDensify(c.segments, c.length), c.densify)
            << c.segments << " segments, length " << c.length;
}

TEST(DeepestSample, LowestWinsAndOfEqualOnesTheFarthestAlong) {
    const Polyline profile(Path{Point(0, 0, 5), Point(2, 0, 3), Point(4, 0, 3), Point(6, 0, 4)},
                           true);
    EXPECT_DOUBLE_EQ(DeepestSample(profile)->x, 4);
    EXPECT_FALSE(DeepestSample(Polyline(Path{Point(0, 0, 1)}, true)));
    EXPECT_FALSE(DeepestSample(Polyline()));
}

TEST(FlashGeometry, PointsAndLinesBluePolygonsGreen) {
    test::RecordingUI ui;
    Polygon square;
    square.rings.push_back({Point(0, 0), Point(1, 0), Point(1, 1), Point(0, 0)});
    FlashGeometry(Point(1, 2));
    FlashGeometry(Polyline(Path{Point(0, 0), Point(1, 1)}));
    FlashGeometry(square);
    ASSERT_EQ(ui.flashes.size(), 3u);
    EXPECT_EQ(ui.flashes[0].colour, (RgbColor{0, 0, 255}));
    EXPECT_EQ(ui.flashes[1].colour, (RgbColor{0, 0, 255}));
    EXPECT_EQ(ui.flashes[2].colour, (RgbColor{0, 128, 0}));
    for (const auto& f : ui.flashes) EXPECT_EQ(f.flashes, 1);
}

TEST(SampleRiverBathymetry, ThalwegOnItLeansToTheOuterBankOfEveryBend) {
    test::RecordingUI ui;
    ui.inputs.push_back("40");
    test::TempDir dir;
    SampleRiverOptions river;
    river.length = 2000;
    river.amplitude = 150;
    river.bathymetryCellSize = 2;
    writeSampleRiver(dir.file("river.gpkg"), river);
    HostApplication app(MapDocument::open(dir.file("river.gpkg")));
    app.map().addSurfaceLayer("Bed", LayerKind::Raster, dir.file("river-bathymetry.tif"));
    IFeatureClass& drawn = *app.map().findLayer("Thalweg")->asFeatureLayer()->featureClass();
    const Geometry centerline = app.map()
                                    .findLayer("CenterLine")
                                    ->asFeatureLayer()
                                    ->featureClass()
                                    ->search(nullptr)
                                    ->nextFeature()
                                    ->shape();
    app.editor().startEditing();
    FeaturePtr line = drawn.createFeature();
    line->setShape(centerline);
    line->store();
    SilentProgress progress;
    ASSERT_EQ(run({.source = BedSource::Raster, .raster = "Bed"}, app.map(), progress),
              ThalwegOutcome::Located);
    app.editor().stopEditing(true);
    const Path thalweg = allVertices(drawn.search(nullptr)->nextFeature()->shape());
    const Polyline& axis = std::get<Polyline>(centerline);
    // The bed is deepest 0.3 width to the right of the centerline where cos(2 pi s / wavelength)
    // is 1, as far to the left where it is -1.
    for (std::size_t i = 1; i + 1 < thalweg.size(); ++i) {
        const CurveLocation at = nearestLocation(axis, thalweg[i]);
        const double right = at.rightSide ? at.distanceFrom : -at.distanceFrom;
        const double expected =
            0.3 * river.width *
            std::cos(2 * std::numbers::pi * at.distanceAlong / river.wavelength);
        ASSERT_NEAR(right, expected, 2.5) << "vertex " << i << " at " << at.distanceAlong;
    }
}

class ThalwegPointsCli : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_unique<test::TempMap>(layers(kBent));
        writeValleyRaster(store->folder().string());
        rasterMap = (store->folder() / "valley.json").string();
        test::writeFile(
            rasterMap,
            R"({"layers": [{"name": "Valley", "kind": "raster", "source": "valley.tif"}]})");
    }
    test::CliResult run(std::vector<std::string> extra) {
        std::vector<std::string> args{
            "run",      "clsThalweg", "--map",    store->storePath().string(),
            "--map",    rasterMap,    "--answer", "yes",
            "--answer", "40"};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCli(args);
    }
    std::unique_ptr<test::TempMap> store;
    std::string rasterMap;
};

TEST_F(ThalwegPointsCli, WarningOkByDefaultIgnoreWhenSet) {
    const std::string before = test::fingerprint(store->storePath());
    const test::CliResult stopped = run({});
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    EXPECT_EQ(stopped.err.find("Thalweg is located successfully!"), std::string::npos);
    EXPECT_EQ(test::fingerprint(store->storePath()), before);

    const test::CliResult located = run({"--set", "frmWarning.cmdIgnore=1"});
    EXPECT_EQ(located.exitCode, 0) << located.err;
    EXPECT_NE(located.err.find(kLocated), std::string::npos) << located.err;
    EXPECT_NE(test::fingerprint(store->storePath()), before);
}

TEST_F(ThalwegPointsCli, DescribeTellsHowToIgnoreTheWarning) {
    const test::CliResult described = test::runCli({"describe", "clsThalweg"});
    EXPECT_EQ(described.exitCode, 0);
    EXPECT_NE(described.out.find("frmWarning.cmdIgnore=1"), std::string::npos) << described.out;
    EXPECT_NE(described.out.find("--answer"), std::string::npos);
}

}  // namespace
}  // namespace ondu
