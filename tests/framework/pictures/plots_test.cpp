// Section and profile plots: stations along the bed, water where the bed lies below a level,
// banks and the deepest point, axes covering the data, marks at the right pixels, refusals.

#include "framework/pictures/plots.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/error.h"
#include "support/cli_runner.h"
#include "support/png_pixels.h"
#include "support/temp_map.h"

namespace ondu::pictures {
namespace {

using test::LayerSpec;

std::vector<XY> bed(std::initializer_list<XY> points) { return points; }

void expectPieces(const std::vector<std::vector<XY>>& pieces,
                  const std::vector<std::pair<double, double>>& spans) {
    ASSERT_EQ(pieces.size(), spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        EXPECT_DOUBLE_EQ(pieces[i].front().x, spans[i].first);
        EXPECT_DOUBLE_EQ(pieces[i].back().x, spans[i].second);
    }
}

TEST(SectionProfile, StationsAreDistancesInPlan) {
    const auto points = sectionProfile(Polyline({{0, 0, 10}, {3, 4, 0}, {6, 8, 10}}, true));
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[1].x, 5);
    EXPECT_DOUBLE_EQ(points[2].x, 10);
    EXPECT_DOUBLE_EQ(points[1].y, 0);
}

TEST(WettedPieces, CoverWhereTheBedLiesBelowTheLevel) {
    const auto v = bed({{0, 10}, {10, 0}, {20, 10}});
    expectPieces(wettedPieces(v, 5), {{5, 15}});
    expectPieces(wettedPieces(v, -1), {});
    expectPieces(wettedPieces(v, 12), {{0, 20}});
    // Two pools split by a bar that stands above the water.
    expectPieces(wettedPieces(bed({{0, 10}, {10, 0}, {20, 8}, {30, 0}, {40, 10}}), 6),
                 {{4, 17.5}, {22.5, 36}});
    // A section cut short on its left end holds water up to that end.
    expectPieces(wettedPieces(bed({{0, 2}, {10, 0}, {20, 10}}), 5), {{0, 15}});
}

TEST(SectionMarks, BanksAreTheCrestsEitherSideOfTheDeepestPoint) {
    const auto withFloodplain = bed({{0, 8}, {5, 10}, {10, 2}, {12, 2}, {15, 9}, {20, 7}});
    const SectionMarks m = sectionMarks(withFloodplain);
    EXPECT_EQ(m.left, 1u);
    EXPECT_EQ(m.deepest, 2u);  // the first of equal depth
    EXPECT_EQ(m.right, 4u);
    const SectionMarks ends = sectionMarks(bed({{0, 10}, {10, 0}, {20, 10}}));
    EXPECT_EQ(ends.left, 0u);
    EXPECT_EQ(ends.right, 2u);
}

std::vector<LayerSpec> sectionLayers() {
    return {{.name = "CrossSections",
             .hasZ = true,
             .fields = {{"StationNo", FieldType::Double}},
             .features = {{"LINESTRING Z (0 0 10,0 10 2,0 20 10)", {1250.0}},
                          {"LINESTRING Z (50 0 9,50 10 1,50 20 9)", {1200.0}}}},
            {.name = "ProfileLines", .hasZ = true, .features = {{"LINESTRING Z (-5 5 6,60 5 6)"}}},
            {.name = "FTable",
             .shape = ShapeType::Null,
             .fields = {{"CrossSectionID", FieldType::Double}, {"WSE", FieldType::Double}},
             .features = {{"", {1250.4, 8.0}}, {"", {1200.0, 3.0}}}},
            {.name = "Segments",
             .fields = {{"Measure", FieldType::Double}, {"BankElev", FieldType::Double}},
             .features = {{"LINESTRING (0 0,10 0)", {5.0, 100.0}},
                          {"LINESTRING (10 0,20 0)", {15.0, 99.0}}}}};
}

class Plots : public ::testing::Test {
protected:
    test::TempMap store{sectionLayers()};
    std::unique_ptr<MapDocument> map = store.openMap();
    test::TempDir dir;
    const std::string png = dir.file("plot.png");

    static Scale xScale(const PlotView& v) {
        return {v.x.low, v.x.high, v.frame.left, v.frame.right};
    }
    static Scale yScale(const PlotView& v) {
        return {v.y.low, v.y.high, v.frame.bottom, v.frame.top};
    }
};

TEST_F(Plots, SectionAxesCoverTheBedInOneTwoFiveSteps) {
    const PlotView v = renderSectionPlot(*map, {.where = "StationNo > 0"}, png);
    EXPECT_LE(v.x.low, 0);
    EXPECT_GE(v.x.high, 20);
    EXPECT_LE(v.y.low, 1);
    EXPECT_GE(v.y.high, 10);
    for (double step : {v.x.step, v.y.step})
        EXPECT_TRUE(step == 1 || step == 2 || step == 5) << step;
}

TEST_F(Plots, ProfileLineCrossingsAreMarkedAtTheirStationAndElevation) {
    const PlotView v = renderSectionPlot(*map, {.fid = 1, .levels = {"ProfileLines"}}, png);
    test::PngPixels pixels(png);
    // The profile line crosses the first section 5 units along, at elevation 6.
    EXPECT_TRUE(pixels.is(xScale(v)(5), yScale(v)(6), {0.1, 0.45, 0.95}, 0.03));
}

TEST_F(Plots, FlowTableLevelsAreDrawnOnlyOverTheWater) {
    const PlotView v = renderSectionPlot(*map, {.fid = 1, .levels = {"FTable"}}, png);
    test::PngPixels pixels(png);
    const Rgb water{0.1, 0.45, 0.95};
    // Level 8 (identifier 1250.4 matches station 1250) meets the bed at stations 2.5 and 17.5.
    bool wet = false;
    for (double dx = -4; dx <= 4; ++dx)
        wet = wet || pixels.is(xScale(v)(10) + dx, yScale(v)(8), water, 0.03);
    EXPECT_TRUE(wet);
    EXPECT_FALSE(pixels.is(xScale(v)(1), yScale(v)(8), water, 0.1));
    EXPECT_FALSE(pixels.is(xScale(v)(19), yScale(v)(8), water, 0.1));
}

TEST_F(Plots, BankElevationProfilePlacesSegmentMiddlesAtTheirMeasure) {
    const PlotView v = renderProfilePlot(
        *map, {.layers = {"Segments"}, .measureField = "Measure", .elevationField = "BankElev"},
        png);
    // Lines placed by their start would reach 25 and widen the axis past 20.
    EXPECT_EQ(v.x.low, 0);
    EXPECT_EQ(v.x.high, 20);
    EXPECT_LE(v.y.low, 99);
    EXPECT_GE(v.y.high, 100);
}

TEST_F(Plots, RefusalsNameWhatIsMissing) {
    struct Case {
        std::function<void()> render;
        const char* message;
    };
    const std::string out = png;
    const Case cases[] = {
        {[&] { renderSectionPlot(*map, {.fid = 99}, out); },
         "No cross-section of CrossSections meets FID = 99 with a shape to plot"},
        {[&] { renderSectionPlot(*map, {.layer = "Segments", .fid = 1}, out); },
         "The layer Segments has no Z values to plot"},
        {[&] { renderSectionPlot(*map, {.fid = 1, .levels = {"Nowhere"}}, out); },
         "The layer or table Nowhere is not in the map"},
        {[&] {
             renderSectionPlot(*map, {.fid = 1, .levels = {"FTable"}, .tableLevelField = "W"}, out);
         },
         "The table FTable has no field W"},
        {[&] { renderProfilePlot(*map, {.layers = {"Segments"}}, out); },
         "The layer Segments has no Z values: name the field that holds its elevations"},
        {[&] { renderProfilePlot(*map, {.layers = {"Thalweg"}}, out); },
         "The layer Thalweg is not in the map"},
    };
    for (const Case& c : cases) {
        try {
            c.render();
            ADD_FAILURE() << c.message;
        } catch (const RunRefused& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

}  // namespace
}  // namespace ondu::pictures
