#include "morphology/profile_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/geometry/curve.h"
#include "framework/geometry/topology.h"
#include "framework/number_text.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

/// A straight section across the channel at y = `y` through the vertices (x, z).
Polyline section(std::vector<std::pair<double, double>> xz, double y = 0) {
    Path path;
    for (auto [x, z] : xz) path.push_back(Point(x, y, z));
    return Polyline(path, true);
}

std::string wktOf(const Polyline& line) {
    std::string wkt = "LINESTRING Z (";
    for (const Point& p : line.paths.front())
        wkt += (wkt.back() == '(' ? "" : ",") + plain(p.x) + " " + plain(p.y) + " " + plain(p.z);
    return wkt + ")";
}

/// A V section 20 wide with its banks at 10 and its bed at 0 in the middle.
Polyline vSection(double y = 0) { return section({{0, 10}, {10, 0}, {20, 10}}, y); }

void expectPoint(const Point& p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, 1e-9);
    EXPECT_NEAR(p.y, y, 1e-9);
    EXPECT_NEAR(p.z, z, 1e-9);
}

// ---- routines --------------------------------------------------------------------------------

TEST(QueryPt, FindsLevelsByTheTolerantCrossingAndTheExactVertexRules) {
    // From 10 down to 2 at x = 4, up to 8 at x = 6, down to 0 at x = 10, up to 6 at x = 16.
    const Polyline w = section({{0, 10}, {4, 2}, {6, 8}, {10, 0}, {16, 6}});
    struct Case {
        const char* name;
        double z;
        bool up;
        double x, expectedZ;
    };
    const Case cases[] = {
        {"first crossing going down", 6, false, 2, 6},
        {"first crossing going up", 5, true, 5, 5},
        {"vertex at the level going up, met on a segment running down", 2, true, 4, 2},
        {"within the tolerance below a segment's lower end: that end", 1.9995, false, 4, 2},
        {"no segment goes down through the level: the start point", 12, false, 0, 10},
        {"no segment goes up through the level: the end point", 9, true, 16, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Point p = QueryPt(w, c.z, c.up);
        EXPECT_TRUE(p.zAware);
        expectPoint(p, c.x, 0, c.expectedZ);
    }
}

TEST(QueryPt, VertexAtTheLevelGoingDownIsMetOnASegmentRunningUp) {
    expectPoint(QueryPt(section({{0, 5}, {3, 8}, {6, 0}}), 8, false), 3, 0, 8);
}

TEST(QueryPt, LevelSegmentWithinTheToleranceGivesItsStart) {
    const Polyline flat = section({{0, 5}, {3, 1}, {7, 1}, {10, 5}});
    expectPoint(QueryPt(flat, 1.0004, true), 3, 0, 1);
}

TEST(DepthSlots, EqualStepsFromTheLowerEndDownToTheLowestPoint) {
    // Ends at 10 and 6: the levels split the 6 below the lower end into three steps.
    const Path slots = depthSlots(section({{0, 10}, {10, 0}, {16, 6}}), 3);
    ASSERT_EQ(slots.size(), 7u);
    expectPoint(slots[0], 0, 0, 10);
    expectPoint(slots[1], 6, 0, 4);
    expectPoint(slots[2], 8, 0, 2);
    expectPoint(slots[3], 10, 0, 0);
    expectPoint(slots[4], 12, 0, 2);
    expectPoint(slots[5], 14, 0, 4);
    expectPoint(slots[6], 16, 0, 6);
}

TEST(FlowSlots, VSectionLevelsStopAtTheFirstStepAboveEachFraction) {
    // The part of a V below elevation z holds (z / 10)^2 of its area. The search steps from 0.2
    // by 0.005: above 1/3 first at 5.775 (10 sqrt(1/3) = 5.7735), above 2/3 at 8.165 (8.16497).
    const Path slots = flowSlots(vSection(), flowFractions(3));
    ASSERT_EQ(slots.size(), 7u);
    const double xs[] = {0, 10 - 8.165, 10 - 5.775, 10, 10 + 5.775, 10 + 8.165, 20};
    const double zs[] = {10, 8.165, 5.775, 0, 5.775, 8.165, 10};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        expectPoint(slots[i], xs[i], 0, zs[i]);
    }
}

/// The levels of the flow-based search found the slow way: the section polygon cut by the level
/// line step after step (GEOS), each boundary going on from the previous one's level.
std::vector<double> levelsByStepping(const Polyline& line, const std::vector<double>& fractions) {
    const Polygon polygon = BuildSectionPolygon(line);
    const double total = area(polygon);
    const Point start = fromPoint(line);
    const Polyline chord(Path{Point(start.x, start.y), Point(toPoint(line).x, toPoint(line).y)});
    double d = 10 * (start.z - GetLowestPt(line));
    std::vector<double> levels;
    for (double f : fractions) {
        while (d > 0 && area(cut(polygon, offsetCurve(chord, 2 - d)).left) / total <= f) d -= 0.05;
        levels.push_back(start.z + (2 - d) / 10);
    }
    return levels;
}

TEST(FlowSlots, LevelsAreThoseThatSteppingWithPolygonCutsFinds) {
    // A skewed bed with a flat stretch, also at projected coordinates far from the origin.
    const Polyline skewed =
        section({{0, 6}, {2, 4.5}, {5, 0.5}, {6, 0}, {7, 0}, {9, 3}, {12, 5}}, 0);
    Polyline farAway = skewed;
    for (Point& p : farAway.paths[0]) p = Point(p.x + 500000, p.y + 4000000, p.z);
    const auto fractions = flowFractions(5);
    for (const Polyline& line : {skewed, farAway}) {
        const Path slots = flowSlots(line, fractions);
        for (double level : levelsByStepping(line, fractions)) {
            SCOPED_TRACE(level);
            int found = 0;
            for (const Point& p : slots) found += std::abs(p.z - level) < 1e-9;
            EXPECT_EQ(found, 2);
        }
    }
}

TEST(FlowSlots, FractionsLeftAboveTheLastLevelKeepIt) {
    // The end bank rises far above the start: below 0.2 above the start lies only about 27% of
    // the area, so the halves and three quarters both stay on the last level the search reached.
    const Path slots = flowSlots(section({{0, 5}, {5, 0}, {10, 20}}), flowFractions(4));
    ASSERT_EQ(slots.size(), 9u);
    std::vector<Point> top;
    for (const Point& p : slots)
        if (p.x > 6.28 && p.x < 7) top.push_back(p);  // the quarter lies near 6.25
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].x, top[1].x);
    EXPECT_NEAR(top[0].z, 5.2, 0.006);
}

TEST(FlowSlots, StartAtTheLowestPointGivesNoLevel) {
    try {
        flowSlots(section({{0, 0}, {10, 5}, {20, 10}}), flowFractions(2));
        FAIL() << "accepted";
    } catch (const HostError& e) {
        EXPECT_EQ(e.number(), 91);
    }
}

/// Closed rings for the area pieces: section-like ones (a bed below both banks, closed over the
/// top: simple, counter-clockwise) and loops of random points crossing themselves; some with
/// levels rounded to halves, so that vertices share levels and edges lie flat.
struct TestRing {
    Path ring;
    bool simple;
};

std::vector<TestRing> randomRings() {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<TestRing> rings;
    for (int i = 0; i < 60; ++i) {
        const bool simple = i % 3 != 2, rounded = i % 4 == 1;
        const int n = 3 + static_cast<int>(unit(random) * 40);
        Path ring;
        double x = -20 + 40 * unit(random);
        for (int k = 0; k < n; ++k) {
            const bool bank = k == 0 || k == n - 1;
            double y =
                simple ? (bank ? 0.5 + unit(random) : -30 * unit(random)) : 60 * unit(random) - 30;
            if (rounded) y = bank ? std::ceil(2 * y) / 2 : std::floor(2 * y) / 2;
            ring.push_back(Point(x, y));
            x += simple ? 0.1 + 5 * unit(random) : 40 * unit(random) - 20;
        }
        rings.push_back({closedRing(ring), simple});
    }
    return rings;
}

/// Levels at every vertex, halfway between neighbouring vertex levels and beyond both ends.
std::vector<double> levelsAround(const Path& ring) {
    std::vector<double> ys;
    for (const Point& p : ring) ys.push_back(p.y);
    std::sort(ys.begin(), ys.end());
    std::vector<double> levels = {ys.front() - 1, ys.back() + 1};
    for (std::size_t i = 0; i < ys.size(); ++i) {
        levels.push_back(ys[i]);
        if (i + 1 < ys.size()) levels.push_back((ys[i] + ys[i + 1]) / 2);
    }
    return levels;
}

TEST(AreaBelowLevel, MatchesTheRingCutAtTheLevelAtBetweenAndBeyondItsVertices) {
    constexpr double kAll = std::numeric_limits<double>::infinity();
    for (const auto& [ring, simple] : randomRings()) {
        const AreaBelowLevel areas(ring);
        const double total = areas.clipped(kAll);
        Polygon polygon;
        polygon.rings.push_back(ring);
        for (double level : levelsAround(ring)) {
            SCOPED_TRACE(level);
            const double fast = areas(level);
            EXPECT_LE(std::abs(fast - areas.clipped(level)), areas.tolerance(level));
            if (!simple) continue;
            // GEOS's area of the part below a line drawn along the level, across the whole ring.
            const Polyline cutter(Path{Point(-1000, level), Point(1000, level)});
            EXPECT_NEAR(fast / 2, area(cut(polygon, cutter).right), 1e-9 * total);
        }
        EXPECT_EQ(areas(-kAll), 0);
        EXPECT_NEAR(areas(kAll), total, areas.tolerance(0));
    }
}

TEST(AreaBelowLevel, FractionsOnAKnifeEdgeAreJudgedAsTheClippedRingJudgesThem) {
    // A fraction equal to the clipped ring's own share is not exceeded, one just below it is:
    // the pieces alone would get about half of these wrong by rounding.
    constexpr double kAll = std::numeric_limits<double>::infinity();
    for (const auto& [ring, simple] : randomRings()) {
        const AreaBelowLevel areas(ring);
        for (double level : levelsAround(ring)) {
            const double share = areas.clipped(level) / areas.clipped(kAll);
            if (!(share > 0 && share < 1)) continue;
            SCOPED_TRACE(level);
            EXPECT_FALSE(areas.holdsMoreThan(level, share));
            EXPECT_TRUE(areas.holdsMoreThan(level, std::nextafter(share, 0.0)));
            EXPECT_TRUE(areas.holdsMoreThan(level, share - 0.01));
            EXPECT_FALSE(areas.holdsMoreThan(level, share + 0.01));
        }
    }
}

TEST(SectionRoutines, BadNumbersAreRefusedBeforeAnyArrayIsSized) {
    for (long long n : {0LL, -1LL, 2000000LL}) {
        SCOPED_TRACE(n);
        EXPECT_THROW(depthSlots(vSection(), n), HostError);
        EXPECT_THROW(flowFractions(n), HostError);
    }
    EXPECT_EQ(flowFractions(1).size(), 0u);
}

TEST(SectionRoutines, SectionPolygonExaggeratesDepthsTenfoldToTheLeft) {
    const Polygon p = BuildSectionPolygon(vSection());
    ASSERT_EQ(p.rings.size(), 1u);
    ASSERT_EQ(p.rings[0].size(), 4u);  // three vertices and the closing one
    expectPoint(Point(p.rings[0][1].x, p.rings[0][1].y, 0), 10, 100, 0);  // left of +X is +Y
    EXPECT_DOUBLE_EQ(p.rings[0][3].x, 0);
}

TEST(SectionRoutines, MeasuresAtPointsAndTheirExchangeOrder) {
    Polyline line = section({{0, 0}, {10, 0}});
    try {
        GetMsAtPoint(line, Point(5, 1));
        FAIL() << "accepted";
    } catch (const HostError& e) {
        EXPECT_EQ(e.number(), kNotMAware);
        EXPECT_STREQ(e.what(), "Not M Aware");
        EXPECT_EQ(e.context(), "GetMsAtPoint");
    }
    line.paths[0][0].m = 0;
    line.paths[0][1].m = 100;
    line.mAware = true;
    EXPECT_DOUBLE_EQ(GetMsAtPoint(line, Point(2.5, 7)), 25);
    // Equal measures end in reverse order, as the exchange sort leaves them.
    Path points = {Point(1, 0, 0, 5), Point(2, 0, 0, 1), Point(3, 0, 0, 5), Point(4, 0, 0, 1)};
    SortPointCollection(points);
    std::vector<double> xs;
    for (const Point& p : points) xs.push_back(p.x);
    EXPECT_EQ(xs, (std::vector<double>{4, 2, 3, 1}));
}

// ---- the dialog and its run ------------------------------------------------------------------

test::LayerSpec crossSections(const std::vector<std::pair<Polyline, double>>& sections) {
    test::LayerSpec spec{
        .name = "CrossSections", .hasZ = true, .fields = {{"Measure", FieldType::Double}}};
    for (const auto& [line, measure] : sections) spec.features.push_back({wktOf(line), {measure}});
    return spec;
}

test::LayerSpec profileLines() { return {.name = "ProfileLines", .hasZ = true}; }

/// Three V sections whose measures run against their identifiers.
std::vector<test::LayerSpec> threeSections() {
    return {crossSections({{vSection(200), 3}, {vSection(100), 2}, {vSection(0), 1}}),
            profileLines()};
}

class ProfileLinesDialog : public ::testing::TestWithParam<test::StoreFormat> {
protected:
    void TearDown() override { Forms::reset(); }

    frmProfileLines& open(const std::vector<test::LayerSpec>& layers) {
        store = std::make_unique<test::TempMap>(layers, GetParam());
        host = std::make_unique<test::InstalledHost>(store->openMap());
        host->app().editor().startEditing();
        auto& form = Forms::get<frmProfileLines>();
        form.load();
        return form;
    }
    std::vector<test::StoredFeature> stored(const std::string& layer = "ProfileLines") {
        host->app().editor().stopEditing(true);
        return test::storedFeatures(host->featureLayer(layer));
    }

    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_P(ProfileLinesDialog, OneDepthStepGivesStartLowestAndEndLinesInMeasureOrder) {
    auto& form = open(threeSections());
    EXPECT_EQ(form.control("cmbMeasure").text, "Measure");
    form.type("txtNumber", "1");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Profile lines from cross-sections] Profile lines created "
                                       "successfully!"});
    EXPECT_FALSE(Forms::anyLoaded());
    const auto lines = stored();
    ASSERT_EQ(lines.size(), 3u);
    const double xs[] = {0, 10, 20}, zs[] = {10, 0, 10};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(toDouble(lines[k]["ProfileID"]), k);
        const Path v = allVertices(lines[k].shape);
        ASSERT_EQ(v.size(), 3u);  // straight along the reach: nothing added by the smoothing
        for (int i = 0; i < 3; ++i) expectPoint(v[i], xs[k], 100.0 * i, zs[k]);
    }
}

TEST_P(ProfileLinesDialog, FlowBasedLinesCarryNoProfileIdAndTellTheSectionCount) {
    auto& form = open(threeSections());
    form.selectOption("optFlow");
    form.type("txtNumber", "3");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              (std::vector<std::string>{
                  "[Number of cross-sections] 3",
                  "[Profile lines from cross-sections] Profile lines created successfully!"}));
    const auto lines = stored();
    ASSERT_EQ(lines.size(), 7u);
    for (const auto& line : lines) EXPECT_TRUE(isNull(line["ProfileID"]));
    expectPoint(allVertices(lines[1].shape)[2], 10 - 8.165, 200, 8.165);
}

TEST_P(ProfileLinesDialog, EqualMeasuresVisitTheFirstSectionHoldingThemAndSelectionsLimitTheRest) {
    auto& form = open(
        {crossSections({{vSection(0), 1}, {vSection(50), 1}, {vSection(100), 2}}), profileLines()});
    // Selecting the second and third: measure 1 still stands for the first section.
    const long long first = GetParam() == test::StoreFormat::GeoPackage ? 1 : 0;
    host->featureLayer("CrossSections")->selectionSet().add(first + 1);
    host->featureLayer("CrossSections")->selectionSet().add(first + 2);
    form.type("txtNumber", "1");
    form.pressOk();
    const auto lines = stored();
    ASSERT_EQ(lines.size(), 3u);
    const Path v = allVertices(lines[0].shape);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_DOUBLE_EQ(v[0].y, 0);
    EXPECT_DOUBLE_EQ(v[1].y, 100);
}

TEST_P(ProfileLinesDialog, NumberBoxRoundsHalvesToEvenAndEmptiesNonNumbers) {
    auto& form = open(threeSections());
    const std::pair<const char*, const char*> typed[] = {
        {"2.5", "2"}, {"3.5", "4"}, {"2.51", "3"}, {"-2.5", "-2"},
        {"abc", ""},  {"12", "12"}, {"", ""},
    };
    for (auto [text, shown] : typed) {
        form.type("txtNumber", text);
        EXPECT_EQ(form.control("txtNumber").text, shown) << text;
    }
    for (const char* bad : {"", "0"}) {
        ui.messages.clear();
        form.type("txtNumber", bad);
        form.pressOk();
        EXPECT_EQ(ui.messageLines(),
                  std::vector<std::string>{"[Profile lines] Please enter a valid number for number "
                                           "of flow regions"})
            << bad;
        EXPECT_TRUE(Forms::anyLoaded());
    }
    EXPECT_TRUE(stored().empty());
}

TEST_P(ProfileLinesDialog, SameLayerIsUsedOnlyAfterOk) {
    const std::string question =
        "[Profile lines] Profile lines will be saved in the the same feature class as "
        "cross-sections. Please select OK to proceed or CANCEL to go back and change the "
        "featurelayer.";
    auto& form = open(threeSections());
    form.choose("cmbProfileLines", "CrossSections");
    form.type("txtNumber", "1");
    ui.answers = {MsgAnswer::Cancel};
    form.pressOk();
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{question});
    EXPECT_TRUE(Forms::anyLoaded());
    ui.answers = {MsgAnswer::OK};
    form.pressOk();
    EXPECT_EQ(ui.messageLines().size(), 3u);
    EXPECT_FALSE(Forms::anyLoaded());
    const auto features = stored("CrossSections");
    ASSERT_EQ(features.size(), 6u);
    EXPECT_EQ(toDouble(features[5]["ProfileID"]), 2);
}

TEST_P(ProfileLinesDialog, FailedMethodShowsItsErrorAndNoSuccess) {
    struct Case {
        const char* name;
        bool flow;
        const char* number;
        std::vector<test::LayerSpec> layers;
        std::string message;
    };
    const long long last = GetParam() == test::StoreFormat::GeoPackage ? 2 : 1;
    const Case cases[] = {
        {"negative number, depth based", false, "-1", threeSections(),
         "[Error in dubCreateProfilesByDepth] 9: Subscript out of range"},
        {"negative number, flow based", true, "-3", threeSections(),
         "[Error in subCreateProfilesByFlow] 9: Subscript out of range"},
        {"start at the lowest point",
         true,
         "2",
         {crossSections({{vSection(0), 1}, {section({{0, 0}, {10, 5}, {20, 10}}, 100), 2}}),
          profileLines()},
         "[Error in subCreateProfilesByFlow] 91: Object variable or With block variable not set: "
         "no level line, the start point is the lowest point (cross-section " +
             std::to_string(last) + ")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        auto& form = open(c.layers);
        const std::string before = test::fingerprint(store->storePath());
        if (c.flow) form.selectOption("optFlow");
        form.type("txtNumber", c.number);
        form.pressOk();
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messageLines().back(), c.message);
        for (const auto& line : ui.messageLines())
            EXPECT_EQ(line.find("successfully"), std::string::npos);
        EXPECT_TRUE(Forms::anyLoaded());
        host->app().editor().stopEditing(false);  // as the host discards a failed run
        Forms::reset();
        host.reset();
        EXPECT_EQ(test::fingerprint(store->storePath()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ProfileLinesDialog,
                         ::testing::Values(test::StoreFormat::GeoPackage,
                                           test::StoreFormat::Shapefile),
                         [](const auto& info) {
                             return info.param == test::StoreFormat::GeoPackage ? "GeoPackage"
                                                                                : "Shapefile";
                         });

// ---- the command line ------------------------------------------------------------------------

TEST(ProfileLinesCli, RunsAsksAndFailsWithTheRightStatus) {
    test::TempMap store(threeSections());
    const std::string map = store.storePath().string();
    const std::string before = test::fingerprint(map);
    auto r = test::runCli({"run", "clsProfileLines", "--map", map, "--set", "txtNumber=-2"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "[Error in dubCreateProfilesByDepth] 9: Subscript out of range\n");
    r = test::runCli({"run", "clsProfileLines", "--map", map, "--set",
                      "cmbProfileLines=CrossSections", "--answer", "Cancel"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(test::fingerprint(map), before);
    r = test::runCli(
        {"run", "clsProfileLines", "--map", map, "--set", "optFlow=1", "--set", "txtNumber=2.5"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err,
              "[Number of cross-sections] 3\n"
              "[Profile lines from cross-sections] Profile lines created successfully!\n");
    auto layers = test::runCli({"layers", "--map", map});
    EXPECT_NE(layers.out.find("ProfileLines\tfeature\tpolyline\tZ\t5\t0"), std::string::npos)
        << layers.out;
}

}  // namespace
}  // namespace ondu
