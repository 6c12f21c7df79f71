#include "morphology/thalweg_from_curvature.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "framework/host/sample_river.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

constexpr double kWidth = 10;
constexpr double kBank = 100, kDepth = 3;

/// An arc of `n` chords around (cx, cy) from angle a0 to a1 (degrees): counter-clockwise when
/// a1 > a0, so the centre lies on the left.
std::string arcWkt(double cx, double cy, double radius, double a0, double a1, int n = 8) {
    std::string wkt = "LINESTRING (";
    for (int i = 0; i <= n; ++i) {
        const double a = (a0 + (a1 - a0) * i / n) * std::numbers::pi / 180;
        wkt += (i ? "," : "") + std::to_string(cx + radius * std::cos(a)) + " " +
               std::to_string(cy + radius * std::sin(a));
    }
    return wkt + ")";
}

test::LayerSpec segments(std::vector<test::FeatureSpec> features) {
    return {.name = "CenterlineSegments",
            .fields = {{"Measure", FieldType::Double},
                       {"BankElev", FieldType::Double},
                       {"Depth", FieldType::Double},
                       {"Width", FieldType::Double},
                       {"FromLine", FieldType::Integer},
                       {"ToLine", FieldType::Integer}},
            .features = std::move(features)};
}

test::FeatureSpec segment(const std::string& wkt, double measure, long long from = -9999,
                          long long to = -9999, FieldValue width = kWidth) {
    return {wkt, {measure, kBank, kDepth, width, from, to}};
}

test::LayerSpec boundary(const std::string& wkt) {
    return {.name = "ChannelBoundary", .shape = ShapeType::Polygon, .features = {{wkt, {}}}};
}

test::LayerSpec thalwegLayer() { return {.name = "Thalweg", .hasZ = true}; }

class ThalwegDialog : public ::testing::Test {
protected:
    void SetUp() override {
        const SinuosityClassRow& low = *sinuosityClass(0);
        logRelSettings() = {0, low.leftA, low.leftB, low.rightA, low.rightB};
    }
    void TearDown() override {
        Forms::reset();
        logRelSettings() = {};
    }

    /// Runs the tool over a fresh map of these layers; returns the thalweg's vertices.
    Path run(std::vector<test::LayerSpec> layers, bool widthFromBoundary = false) {
        host.reset();
        store = std::make_unique<test::TempMap>(layers);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        host->app().editor().startEditing();
        auto& form = Forms::get<frmNewThaCur>();
        form.load();
        if (widthFromBoundary) form.setChecked("chkBoundary", true);
        form.pressOk();
        host->app().editor().stopEditing(true);
        auto cursor = host->featureLayer("Thalweg")->featureClass()->search(nullptr);
        Path vertices;
        while (auto f = cursor->nextFeature()) vertices = allVertices(f->shape());
        return vertices;
    }
    FieldValue stored(long long oid, const std::string& field) {
        return test::storedValue(host->featureLayer("CenterlineSegments"), oid, field);
    }
    double storedNumber(long long oid, const std::string& field) {
        return *toDouble(stored(oid, field));
    }

    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

bool hasVertexNear(const Path& vertices, double x, double y, double tolerance = 1e-6) {
    for (const auto& v : vertices)
        if (std::hypot(v.x - x, v.y - y) <= tolerance) return true;
    return false;
}

double distanceFrom(const Point& p, double cx, double cy) { return std::hypot(p.x - cx, p.y - cy); }

TEST_F(ThalwegDialog, TightBendsPutTheThalwegAtTheOuterBankInBothDirections) {
    // Radius 50 lies below the Low class's lower bound: 0.9 on the left side, 0.1 on the right,
    // both 0.4 of the width from the centerline, on the outer bank.
    struct Bend {
        const char* name;
        std::string wkt;
        double cx, cy;
        long long isRight;
    };
    const Bend bends[] = {
        {"left bend", arcWkt(0, 50, 50, -90, -60), 0, 50, 0},
        {"right bend", arcWkt(0, -50, 50, 90, 60), 0, -50, -1},
        {"left bend drawn backwards", arcWkt(0, -50, 50, 60, 90), 0, -50, 0},
        {"right bend drawn backwards", arcWkt(0, 50, 50, -60, -90), 0, 50, -1},
    };
    for (const auto& bend : bends) {
        SCOPED_TRACE(bend.name);
        Path thalweg = run({segments({segment(bend.wkt, 10)}), thalwegLayer()});
        EXPECT_NEAR(storedNumber(1, "rCurvature"), 50, 1e-4);
        EXPECT_EQ(stored(1, "IsRight"), FieldValue(bend.isRight));
        EXPECT_NEAR(storedNumber(1, "ThaLocation"), 0.4, 1e-12);
        ASSERT_GE(thalweg.size(), 3u);
        // The start and end points sit 0.4 * width outside the centerline's circle (offset square
        // to the end chords, which lean 1.875 degrees off the circle's tangent).
        EXPECT_NEAR(distanceFrom(thalweg.front(), bend.cx, bend.cy), 50 + 0.4 * kWidth, 0.01);
        EXPECT_NEAR(distanceFrom(thalweg.back(), bend.cx, bend.cy), 50 + 0.4 * kWidth, 0.01);
        EXPECT_DOUBLE_EQ(thalweg.front().z, kBank - kDepth);
        EXPECT_EQ(ui.messageLines().back(),
                  "[Thalweg using curvature] The thalweg was created successfully");
        Forms::reset();
    }
}

TEST_F(ThalwegDialog, ThalwegTakesTheDimensionsOfItsClass) {
    const auto bend = segment(arcWkt(0, 50, 50, -90, -60), 10);
    Path measured = run({segments({bend}), {.name = "Thalweg", .hasZ = true, .hasM = true}});
    ASSERT_FALSE(measured.empty());
    EXPECT_DOUBLE_EQ(measured.front().z, kBank - kDepth);
    EXPECT_DOUBLE_EQ(measured.front().m, 10);
    Path unmeasured = run({segments({bend}), thalwegLayer()});
    ASSERT_FALSE(unmeasured.empty());
    EXPECT_DOUBLE_EQ(unmeasured.front().z, kBank - kDepth);
    EXPECT_FALSE(unmeasured.front().mAware);
}

TEST_F(ThalwegDialog, StraightSegmentKeepsTheThalwegOnTheCenterline) {
    Path thalweg = run({segments({segment("LINESTRING (0 0,10 0,20 0)", 5)}), thalwegLayer()});
    EXPECT_EQ(stored(1, "rCurvature"), FieldValue(50000.0));
    EXPECT_EQ(stored(1, "IsRight"), FieldValue(-1LL));
    EXPECT_EQ(stored(1, "ThaLocation"), FieldValue(0.0));
    EXPECT_TRUE(hasVertexNear(thalweg, 0, 0));
    EXPECT_TRUE(hasVertexNear(thalweg, 10, 0));
    EXPECT_TRUE(hasVertexNear(thalweg, 20, 0));
    for (const auto& v : thalweg) EXPECT_NEAR(v.y, 0, 1e-9);
    EXPECT_FALSE(Forms::anyLoaded());
}

TEST_F(ThalwegDialog, ChainAveragesNeighboursAtSharedEndsAndSkipsNoPoint) {
    // Two straight segments and a left bend: the bend's upstream value is the mean of its own
    // location and its neighbour's.
    Path thalweg = run({segments({segment("LINESTRING (-20 0,-10 0,0 0)", 1, -9999, 2),
                                  segment("LINESTRING (0 0,5 0,10 0)", 2, 1, 3),
                                  segment(arcWkt(10, 50, 50, -90, -60), 3, 2, -9999)}),
                        thalwegLayer()});
    EXPECT_NEAR(storedNumber(3, "Upstream"), 0.2, 1e-12);
    EXPECT_NEAR(storedNumber(3, "Downstream"), 0.4, 1e-12);
    EXPECT_NEAR(storedNumber(2, "Downstream"), 0.2, 1e-12);
    EXPECT_EQ(stored(1, "Upstream"), FieldValue(0.0));
    // 2k + 1 points for k segments, each kept by the smoothing.
    EXPECT_TRUE(hasVertexNear(thalweg, -20, 0));
    // A straight segment counts as a right-hand bend: its end point, at the mean, lies left.
    EXPECT_TRUE(hasVertexNear(thalweg, 10, 0.2 * kWidth));
}

TEST_F(ThalwegDialog, WidthIsMeasuredAcrossTheBoundary) {
    Path thalweg = run({segments({segment("LINESTRING (0 0,10 0,20 0)", 5)}),
                        boundary("POLYGON ((-5 -6,25 -6,25 6,-5 6,-5 -6))"), thalwegLayer()},
                       true);
    EXPECT_NEAR(storedNumber(1, "Width"), 12, 1e-9);
    EXPECT_TRUE(ui.messages.size() == 1);
}

TEST_F(ThalwegDialog, ZeroWidthSkipsTheSegmentAfterTwoIntersectionMessages) {
    run({segments({segment("LINESTRING (0 0,10 0,20 0)", 5, -9999, -9999, 0.0)}),
         boundary("POLYGON ((-5 -6,25 -6,25 6,-5 6,-5 -6))"), thalwegLayer()},
        true);
    auto lines = ui.messageLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[obid] Error in finding intersecting point");
    EXPECT_EQ(lines[1], "[obid] Error in finding intersecting point");
    EXPECT_TRUE(isNull(stored(1, "ThaLocation")));
    // Pass 2 then meets the segment without a location: the run stops, titled by its id.
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "[1] 94: Invalid use of Null (ThaLocation)");
    EXPECT_TRUE(Forms::anyLoaded());
}

TEST_F(ThalwegDialog, BrokenChainStopsWithTheSegmentsIdAndKeepsPassOneAttributes) {
    Path thalweg = run({segments({segment("LINESTRING (0 0,10 0,20 0)", 1, -9999, 2),
                                  segment("LINESTRING (20 0,30 0,40 0)", 2, -9999, -9999)}),
                        thalwegLayer()});
    EXPECT_TRUE(thalweg.empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "2");
    EXPECT_EQ(stored(2, "rCurvature"), FieldValue(50000.0));
    EXPECT_TRUE(Forms::anyLoaded());
}

TEST_F(ThalwegDialog, LoadProposesTheDefaultsAndRefillsFieldsForAnotherLayer) {
    host.reset();
    store = std::make_unique<test::TempMap>(
        std::vector<test::LayerSpec>{segments({}),
                                     {.name = "Other", .fields = {{"Chainage", FieldType::Double}}},
                                     thalwegLayer(),
                                     {.name = "Flat"}});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    auto& form = Forms::get<frmNewThaCur>();
    form.load();
    EXPECT_EQ(form.control("cmbCenterline").text, "CenterlineSegments");
    EXPECT_EQ(form.control("cmbMeasure").text, "Measure");
    EXPECT_EQ(form.control("cmbThalweg").items,
              std::vector<std::string>{"Thalweg"});  // Z classes only
    form.choose("cmbCenterline", "Other");
    EXPECT_EQ(form.control("cmbMeasure").items.back(), "Chainage");
    EXPECT_EQ(form.control("cmbMeasure").text, "Chainage");  // the first real field, not the key
}

// ---- the run without its dialog --------------------------------------------------------------

/// Stops the run at the first step it reports.
class CancelAtFirstStep : public SilentProgress {
public:
    void stepIt() override { ++steps; }
    bool cancelled() override { return steps > 0; }
    int steps = 0;
};

TEST(ThalwegRun, RefusesToWriteTheThalwegIntoTheSegmentsBeforeChangingThem) {
    test::TempMap store({segments({segment("LINESTRING (0 0,10 0,20 0)", 5)})});
    test::InstalledHost host(store.openMap());
    const std::string before = test::fingerprint(store.storePath());
    SilentProgress progress;
    ThalwegFromCurvatureOptions options;
    options.thalweg = "CenterlineSegments";
    try {
        run(options, host.map(), progress);
        FAIL() << "accepted";
    } catch (const RunRefused& refused) {
        EXPECT_STREQ(refused.what(),
                     "The thalweg layer 'CenterlineSegments' is the centerline layer "
                     "'CenterlineSegments': choose another layer for the results");
    }
    EXPECT_EQ(test::fingerprint(store.storePath()), before);
}

TEST(ThalwegRun, StopsAtTheStepWhereItIsCancelled) {
    test::TempMap store({segments({segment("LINESTRING (0 0,10 0,20 0)", 1, -9999, 2),
                                   segment("LINESTRING (20 0,30 0,40 0)", 2, 1, -9999)}),
                         thalwegLayer()});
    test::InstalledHost host(store.openMap());
    CancelAtFirstStep progress;
    try {
        run(ThalwegFromCurvatureOptions{}, host.map(), progress);
        FAIL() << "not cancelled";
    } catch (const HostError& e) {
        EXPECT_EQ(e.number(), 18);
        EXPECT_EQ(e.where(), "1");
    }
    EXPECT_EQ(progress.steps, 1);
    IFeatureLayer* segmentsLayer = host.featureLayer("CenterlineSegments");
    EXPECT_FALSE(isNull(test::storedValue(segmentsLayer, 1, "rCurvature")));
    EXPECT_TRUE(isNull(test::storedValue(segmentsLayer, 2, "rCurvature")));
}

// ---- through the command-line host -----------------------------------------------------------

/// A sample river from the generator, written afresh for each test.
class ThalwegCommandLine : public ::testing::Test {
protected:
    void SetUp() override { writeSampleRiver(river, SampleRiverOptions{}); }

    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
};

TEST_F(ThalwegCommandLine, RunsTheSettingsAndThalwegChainOnASampleRiver) {
    auto r = test::runCli({"run", "clsThaCur", "--map", river, "--set", "frmLogRel.optMedium=1",
                           "--set", "frmNewThaCur.chkBoundary=1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[Thalweg using curvature] The thalweg was created successfully\n");
    auto layers = test::runCli({"layers", "--map", river});
    EXPECT_NE(layers.out.find("Thalweg\tfeature\tpolyline\tZ\t1\t0"), std::string::npos)
        << layers.out;
}

TEST_F(ThalwegCommandLine, SettingsQualifiedByTheirFormReachTheRelation) {
    // Every relation gives 0.75 across the channel, 0.25 from the centerline, between the
    // class's bounds; tighter bends keep the class's fixed values, straighter ones 0.
    auto r = test::runCli({"run", "clsThaCur", "--map", river, "--set", "frmLogRel.txtFirst=0",
                           "--set", "frmLogRel.txtSecond=0.75", "--set", "frmLogRel.txtThird=0",
                           "--set", "frmLogRel.txtForth=0.75"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(MapDocument::open(river));
    IFeatureLayer* segmentsLayer = host.featureLayer("CenterlineSegments");
    auto cursor = segmentsLayer->featureClass()->search(nullptr);
    int inRelation = 0;
    while (auto f = cursor->nextFeature()) {
        const double t = *toDouble(f->value(f->findField("ThaLocation")));
        EXPECT_TRUE(t == 0.25 || t == 0.4 || t == 0) << t;
        inRelation += t == 0.25;
    }
    EXPECT_GT(inRelation, 0);
}

TEST_F(ThalwegCommandLine, DescribeJsonListsBothFormsWithTypesAndSources) {
    auto r = test::runCli({"describe", "clsThaCur", "--json", "--map", river});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json["dialogs"].size(), 2u);
    EXPECT_EQ(json["dialogs"][0]["name"], "frmLogRel");
    const auto& logRel = json["dialogs"][0]["controls"];
    const auto first = std::find_if(logRel.begin(), logRel.end(),
                                    [](const auto& c) { return c["name"] == "txtFirst"; });
    ASSERT_NE(first, logRel.end());
    EXPECT_EQ((*first)["type"], "number");
    EXPECT_EQ((*first)["invalid"]["text"], "Enter a valid number for the left side slope");
    const auto& thalweg = json["dialogs"][1]["controls"];
    EXPECT_EQ(thalweg[0]["name"], "cmbCenterline");
    EXPECT_EQ(thalweg[0]["source"]["kind"], "layers");
    EXPECT_EQ(thalweg[0]["source"]["shape"], "polyline");
    EXPECT_EQ(thalweg[2]["source"]["parent"], "cmbCenterline");
    EXPECT_EQ(thalweg[2]["state"]["text"], "Measure");
    EXPECT_EQ(thalweg[6]["source"]["needZ"], true);
}

TEST_F(ThalwegCommandLine, WithoutEditSessionOnlyTheMessageIsShown) {
    auto r = test::runCli({"run", "clsThaCur", "--map", river, "--no-edit-session"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[Edit Session] Please start the edit session to run this tool.\n");
    auto layers = test::runCli({"layers", "--map", river});
    EXPECT_NE(layers.out.find("Thalweg\tfeature\tpolyline\tZ\t0\t0"), std::string::npos)
        << layers.out;
}

TEST_F(ThalwegCommandLine, SelectionLimitsTheSegmentsProcessed) {
    auto r =
        test::runCli({"run", "clsThaCur", "--map", river, "--select", "CenterlineSegments=2,3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(MapDocument::open(river));
    IFeatureLayer* segments = host.featureLayer("CenterlineSegments");
    EXPECT_TRUE(isNull(test::storedValue(segments, 1, "rCurvature")));
    EXPECT_FALSE(isNull(test::storedValue(segments, 2, "rCurvature")));
    EXPECT_FALSE(isNull(test::storedValue(segments, 3, "Downstream")));
    EXPECT_TRUE(isNull(test::storedValue(segments, 4, "Upstream")));
}

}  // namespace
}  // namespace ondu
