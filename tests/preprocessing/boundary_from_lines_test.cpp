#include "preprocessing/boundary_from_lines.h"

#include <gtest/gtest.h>

#include "framework/host/sample_river.h"
#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

struct Segment {
    std::string wkt;
    double width;
    FieldValue measure;
};

test::LayerSpec segments(const std::vector<Segment>& list) {
    test::LayerSpec layer{.name = "CenterlineSegments",
                          .fields = {{"Width", FieldType::Double}, {"Measure", FieldType::Double}}};
    for (const Segment& s : list) layer.features.push_back({s.wkt, {s.width, s.measure}});
    return layer;
}

const std::vector<Segment> kTenTwentyTen = {{"LINESTRING (0 0,10 0)", 10, 5.0},
                                            {"LINESTRING (10 0,20 0)", 20, 15.0},
                                            {"LINESTRING (20 0,30 0)", 10, 25.0}};

class BoundaryDialog : public test::DialogTest<frmBoundaryFromLines> {
protected:
    void openMap(const std::vector<Segment>& list, StoreFormat format = StoreFormat::GeoPackage) {
        Forms::reset();
        host.reset();
        store = std::make_unique<test::TempMap>(
            std::vector<test::LayerSpec>{segments(list),
                                         {.name = "ChannelBoundary", .shape = ShapeType::Polygon}},
            format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
    }

    void select(std::vector<long long> oids) {
        for (long long oid : oids)
            host->featureLayer("CenterlineSegments")->selectionSet().add(oid);
    }

    /// The rings of every stored boundary, each as its vertices.
    std::vector<Path> rings() {
        std::vector<Path> result;
        auto cursor = host->featureLayer("ChannelBoundary")->featureClass()->search(nullptr);
        while (auto f = cursor->nextFeature()) result.push_back(allVertices(f->shape()));
        return result;
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

/// The ring's vertices as "x y" texts, in order.
std::vector<std::string> texts(const Path& ring) {
    std::vector<std::string> out;
    for (const Point& p : ring)
        out.push_back(std::to_string(int(std::lround(p.x))) + " " +
                      std::to_string(int(std::lround(p.y))));
    return out;
}

TEST_F(BoundaryDialog, WidthsTenTwentyTenGiveSteppedBanksInRingOrderOnBothStores) {
    // One bank downstream to the right, then the other bank back upstream, closed.
    const std::vector<std::string> expected = {"0 -5",  "10 -5", "10 -10", "20 -10", "20 -5",
                                               "30 -5", "30 5",  "20 5",   "20 10",  "10 10",
                                               "10 5",  "0 5",   "0 -5"};
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        SCOPED_TRACE(format == StoreFormat::Shapefile ? "Shapefile" : "GeoPackage");
        openMap(kTenTwentyTen, format);
        frmBoundaryFromLines& form = openDialog();
        EXPECT_EQ(form.control("cmbField").text, "Width");
        EXPECT_EQ(form.control("cmbMeasure").text, "Measure");
        form.pressOk();
        const auto stored = rings();
        ASSERT_EQ(stored.size(), 1u);
        std::vector<std::string> ring = texts(stored[0]);
        if (format == StoreFormat::Shapefile && ring != expected) {
            // Shapefiles keep outer rings clockwise: the same ring read the other way.
            std::reverse(ring.begin(), ring.end());
        }
        EXPECT_EQ(ring, expected);
        EXPECT_EQ(ui.messageLines().back(),
                  "[Boundary from centerline] Boundary created successfully!");
        EXPECT_FALSE(Forms::anyLoaded());
    }
}

TEST_F(BoundaryDialog, MeasureSearchTakesTheFirstSegmentWithinHalfAUnit) {
    struct Case {
        const char* edge;
        std::vector<Segment> list;
        std::vector<long long> selected;
        std::size_t vertices;
        double widest;  ///< largest |y| in the ring
    };
    const Case cases[] = {
        {"measures 0.3 apart: the first segment is used twice",
         {{"LINESTRING (0 0,10 0)", 10, 5.0}, {"LINESTRING (10 0,20 0)", 20, 5.3}},
         {},
         9,
         5},
        {"two of five selected",
         {{"LINESTRING (0 0,10 0)", 2, 5.0},
          {"LINESTRING (10 0,20 0)", 4, 15.0},
          {"LINESTRING (20 0,30 0)", 6, 25.0},
          {"LINESTRING (30 0,40 0)", 8, 35.0},
          {"LINESTRING (40 0,50 0)", 10, 45.0}},
         {2, 3},
         9,
         3},
        {"a segment left out of the selection is still found by the search",
         {{"LINESTRING (0 0,10 0)", 40, 15.2},
          {"LINESTRING (10 0,20 0)", 4, 15.0},
          {"LINESTRING (20 0,30 0)", 6, 25.0}},
         {2, 3},
         9,
         20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edge);
        openMap(c.list);
        select(c.selected);
        openDialog().pressOk();
        const auto stored = rings();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].size(), c.vertices);
        double widest = 0;
        for (const Point& p : stored[0]) widest = std::max(widest, std::abs(p.y));
        EXPECT_NEAR(widest, c.widest, 1e-9);
    }
}

TEST_F(BoundaryDialog, FoldedBankIsStoredWithAWarningThatTheRingIsInvalid) {
    // A U-turn 10 wide whose banks are 15 from the centerline: the inner bank folds over.
    openMap({{"LINESTRING (0 0,10 0,10 10,0 10)", 30, 1.0}});
    openDialog().pressOk();
    EXPECT_EQ(rings().size(), 1u);
    EXPECT_EQ(ui.messageLines().back(),
              "[Boundary from centerline] Boundary created, but it is not a valid polygon: its "
              "outline crosses itself where the offsets of neighbouring segments overlap inside "
              "a bend or a bank folds over on a tight bend.");
    EXPECT_FALSE(Forms::anyLoaded());
}

TEST_F(BoundaryDialog, InnerOffsetsOfABendAreCutWhereTheyCross) {
    // A 45 degree left turn between two segments: on the left (inner) bank the offsets of the
    // two overlap near the corner; the right (outer) bank is bridged by a straight edge.
    openMap({{"LINESTRING (0 0,10 0)", 4, 5.0}, {"LINESTRING (10 0,20 10)", 4, 15.0}});
    openDialog().pressOk();
    EXPECT_EQ(ui.messageLines().back(),
              "[Boundary from centerline] Boundary created successfully!");
    const auto stored = rings();
    ASSERT_EQ(stored.size(), 1u);
    const Path& ring = stored[0];
    ASSERT_EQ(ring.size(), 8u);
    const double h = std::sqrt(2.0);
    EXPECT_NEAR(ring[3].x, 20 + h, 1e-9);  // the outer bank keeps every offset vertex
    EXPECT_NEAR(ring[4].x, 20 - h, 1e-9);
    EXPECT_NEAR(ring[5].x, 10 - h + (2 - h), 1e-9);  // the crossing, on the first left offset
    EXPECT_NEAR(ring[5].y, 2, 1e-9);
    EXPECT_NEAR(ring[6].x, 0, 1e-9);
}

TEST_F(BoundaryDialog, SampleRiverBoundaryIsValid) {
    // Bends of the sample river; 100 m segments, 40 m wide, as the main job builds them.
    Forms::reset();
    host.reset();
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
    writeSampleRiver(river, SampleRiverOptions{});
    host = std::make_unique<test::InstalledHost>(MapDocument::open(river));
    openDialog().pressOk();
    EXPECT_EQ(ui.messageLines().back(),
              "[Boundary from centerline] Boundary created successfully!");
}

TEST_F(BoundaryDialog, FailuresNameTheSegmentAndStoreNothing) {
    openMap({{"LINESTRING (0 0,10 0)", 10, 5.0}, {"LINESTRING (10 0,20 0)", 10, FieldValue{}}});
    frmBoundaryFromLines& form = openDialog();
    form.pressOk();
    EXPECT_EQ(
        ui.messageLines().back(),
        "[Error in boundary from lines (Main)] 94: Invalid use of Null (Measure) (segment 2)");
    EXPECT_TRUE(rings().empty());
    form.control("cmbBoundary").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for storing boudary");
    form.control("cmbLayer").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for input lines");
    EXPECT_TRUE(form.isLoaded());
}

TEST(BoundaryCommandLine, BuildsTheBoundaryOfTheSelectedSegments) {
    test::TempMap store(
        {segments(kTenTwentyTen), {.name = "ChannelBoundary", .shape = ShapeType::Polygon}});
    const std::string map = store.storePath().string();
    auto r = test::runCli({"run", "clsBoundaryFromLines", "--map", map, "--select",
                           "CenterlineSegments=Measure > 10"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[Boundary from centerline] Boundary created successfully!\n");
    test::InstalledHost host(MapDocument::open(map));
    auto boundary =
        host.featureLayer("ChannelBoundary")->featureClass()->search(nullptr)->nextFeature();
    ASSERT_TRUE(boundary);
    EXPECT_EQ(allVertices(boundary->shape()).size(), 9u);
}

}  // namespace
}  // namespace ondu
