#include "framework/surface_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "framework/shared_state.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;
using surfaceUtil::TinToRaster;

/// A TIN on the plane z = x + y over the extent it is given, recording every block it samples.
class PlaneTin : public ITin {
public:
    explicit PlaneTin(Envelope extent) : extent_(extent) {}
    std::string path() const override { return {}; }
    Envelope extent() const override { return extent_; }
    double lowestElevation() const override { return extent_.xMin + extent_.yMin; }
    double highestElevation() const override { return extent_.xMax + extent_.yMax; }
    std::string spatialReference() const override { return {}; }
    std::size_t triangleCount() const override { return 2; }
    double elevation(double x, double y) const override { return x + y; }
    std::vector<double> sampleCells(const CellGrid& grid, double noData) const override {
        sampled.push_back(grid);
        std::vector<double> cells;
        for (int r = 0; r < grid.rows; ++r)
            for (int c = 0; c < grid.columns; ++c) {
                const double x = grid.centreX(c), y = grid.centreY(r);
                const bool inside = x >= extent_.xMin && x <= extent_.xMax && y >= extent_.yMin &&
                                    y <= extent_.yMax;
                cells.push_back(inside ? elevation(x, y) : noData);
            }
        return cells;
    }
    void addLines(const std::vector<Polyline>&) override {}
    void save() override {}
    TinPtr saveAs(const std::string&) const override { return nullptr; }

    mutable std::vector<CellGrid> sampled;

private:
    Envelope extent_;
};

Envelope box(double xMin, double yMin, double xMax, double yMax) {
    return {xMin, yMin, xMax, yMax};
}

/// A progress that the user cancels once it has been stepped `after` times.
class CancellingProgress : public test::RecordingProgress {
public:
    explicit CancellingProgress(long after) : after_(after) {}
    bool cancelled() override { return steps >= after_; }

private:
    long after_;
};

class SurfaceHelpers : public ::testing::Test {
protected:
    RasterDatasetPtr rasterize(ITin& tin, double cellSize, IProgressBar& progress,
                               PixelType type = PixelType::Float) {
        return TinToRaster(&tin, 1, dir_.path(), "rast", type, cellSize, tin.extent(), true,
                           progress);
    }

    test::RecordingUI ui_;
    test::TempDir dir_;
};

TEST(TinRasterGrid, ReachesHalfACellBeyondTheExtentWithHalvesToEven) {
    struct Case {
        double width, height, cellSize;
        int columns, rows;
    };
    for (const Case& c :
         {Case{3000, 1000, 1, 3001, 1001}, Case{25, 35, 10, 3, 5}, Case{45, 55, 10, 5, 7},
          Case{0, 0, 2, 1, 1}, Case{9.9, 10.1, 1, 11, 11}}) {
        const CellGrid grid =
            surfaceUtil::TinRasterGrid(box(100, 200, 100 + c.width, 200 + c.height), c.cellSize);
        EXPECT_EQ(grid.columns, c.columns) << c.width << " / " << c.cellSize;
        EXPECT_EQ(grid.rows, c.rows) << c.height << " / " << c.cellSize;
        EXPECT_EQ(grid.xMin, 100 - c.cellSize / 2);
        EXPECT_EQ(grid.yMin, 200 - c.cellSize / 2);
    }
    EXPECT_THROW(surfaceUtil::TinRasterGrid(box(0, 0, 1, 1), 0), HostError);
    EXPECT_THROW(surfaceUtil::TinRasterGrid(Envelope{}, 1), HostError);
    EXPECT_THROW(surfaceUtil::TinRasterGrid(box(0, 0, 1e6, 1), 1e-9), HostError);  // too many
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    for (auto [value, rounded] :
         {std::pair{2.5, 2.0}, {3.5, 4.0}, {-2.5, -2.0}, {0.5, 0.0}, {2.4999, 2.0}, {2.5001, 3.0}})
        EXPECT_EQ(surfaceUtil::roundHalfEven(value), rounded) << value;
}

TEST_F(SurfaceHelpers, TinToRasterWritesBlocksOfAtMost2048FromTheTopLeft) {
    PlaneTin tin(box(0, 0, 3000, 1000));
    test::RecordingProgress& progress = ui_.progress;
    RasterDatasetPtr raster = rasterize(tin, 1, progress);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->columns(), 3001);
    EXPECT_EQ(raster->rows(), 1001);
    EXPECT_EQ(raster->origin().x, -0.5);
    EXPECT_EQ(raster->origin().y, -0.5);

    ASSERT_EQ(tin.sampled.size(), 2u);
    EXPECT_EQ(tin.sampled[0].columns, 2048);
    EXPECT_EQ(tin.sampled[1].columns, 953);
    EXPECT_EQ(tin.sampled[1].rows, 1001);
    EXPECT_EQ(tin.sampled[1].centreX(0), 2048);  // the second block starts at column 2048
    EXPECT_EQ(tin.sampled[0].centreY(0), 1000);  // the top row's centres lie on the extent

    EXPECT_EQ(progress.message, "Rasterizing. Press ESC to cancel...");
    EXPECT_EQ(progress.maximum, 2);
    EXPECT_EQ(progress.steps, 2);
    EXPECT_FALSE(progress.visible);

    IRasterBand& cells = raster->band(0);
    EXPECT_EQ(cells.noData(), -1);  // the lowest elevation less one
    EXPECT_EQ(cells.readBlock(0, 0, 1, 1), std::vector<double>{1000});
    EXPECT_EQ(cells.readBlock(3000, 1000, 1, 1), std::vector<double>{3000});
    EXPECT_EQ(cells.readBlock(2047, 500, 2, 1), (std::vector<double>{2547, 2548}));
}

TEST_F(SurfaceHelpers, TinToRasterCoversARemainderOfOneColumn) {
    // 2049 columns: one block of 2048 and one more for the last column.
    PlaneTin tin(box(0, 0, 2048, 3));
    RasterDatasetPtr raster = rasterize(tin, 1, ui_.progress);
    ASSERT_EQ(tin.sampled.size(), 2u);
    EXPECT_EQ(tin.sampled[1].columns, 1);
    EXPECT_EQ(raster->band(0).readBlock(2048, 0, 1, 1), std::vector<double>{2051});
}

TEST_F(SurfaceHelpers, TinToRasterCancelledStopsAfterTheCurrentBlock) {
    PlaneTin tin(box(0, 0, 3000, 10));
    CancellingProgress progress(1);
    EXPECT_EQ(rasterize(tin, 1, progress), nullptr);
    EXPECT_EQ(tin.sampled.size(), 1u);
    EXPECT_FALSE(progress.visible);
    // The first block stays in the raster; the cells of the second have no data.
    RasterDatasetPtr raster = surfaceUtil::OpenRasterDataset(dir_.path(), "rast");
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->band(0).readBlock(2047, 0, 2, 1), (std::vector<double>{2057, -1}));
}

TEST_F(SurfaceHelpers, TinToRasterWholeNumberPixelsRoundHalvesToEven) {
    PlaneTin tin(box(1.5, 1, 4.5, 2));  // lowest 2.5, so no data is 1.5, held as 2
    RasterDatasetPtr raster = rasterize(tin, 1, ui_.progress, PixelType::Long);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->pixelType(), PixelType::Long);
    EXPECT_EQ(raster->band(0).noData(), 2);
    EXPECT_EQ(raster->band(0).readBlock(2, 1, 1, 1), std::vector<double>{4});  // 4.5 to even
}

TEST_F(SurfaceHelpers, TinToRasterFailuresPassOnAndLeaveNothing) {
    PlaneTin tin(box(0, 0, 10, 10));
    EXPECT_THROW(TinToRaster(&tin, 1, dir_.file("missing"), "rast", PixelType::Float, 1,
                             tin.extent(), true, ui_.progress),
                 HostError);
    EXPECT_THROW(TinToRaster(nullptr, 1, dir_.path(), "rast", PixelType::Float, 1, tin.extent(),
                             true, ui_.progress),
                 HostError);
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(SurfaceHelpers, WorkspaceAndDatasetLookupsAnswerNothingWhenAbsent) {
    EXPECT_EQ(surfaceUtil::OpenRasterWorkspace(dir_.file("missing")), nullptr);
    EXPECT_EQ(surfaceUtil::OpenRasterDataset(dir_.path(), "none"), nullptr);
    EXPECT_EQ(surfaceUtil::GetRasterWorkspace(dir_.file("missing")), nullptr);
    EXPECT_NE(surfaceUtil::GetRasterWorkspace(dir_.path()), nullptr);
    EXPECT_TRUE(ui_.messages.empty());

    surfaceUtil::SetAnalysisEnvironment(nullptr, nullptr, 5, nullptr, dir_.path(), nullptr);
    surfaceUtil::AnalysisEnvironment environment;
    const Envelope extent = box(0, 0, 1, 1);
    surfaceUtil::SetAnalysisEnvironment(&environment, &extent, 0, nullptr, dir_.path(), nullptr);
    EXPECT_EQ(environment.extent->xMax, 1);
    EXPECT_EQ(environment.cellSize, 0);  // not set by a size that is not positive
    ASSERT_NE(environment.workspace, nullptr);
    EXPECT_EQ(environment.workspace->folder(), dir_.path());
}

// ---- interpolation from points ---------------------------------------------------------------

test::LayerSpec points(std::vector<test::FeatureSpec> features) {
    return {.name = "Points",
            .shape = ShapeType::Point,
            .fields = {{"z", FieldType::Double}},
            .features = std::move(features)};
}

test::LayerSpec boundary(const std::string& wkt) {
    return {.name = "Boundary", .shape = ShapeType::Polygon, .features = {{wkt, {}}}};
}

class SubInterpolate : public SurfaceHelpers {
protected:
    /// Interpolates the layers' points in cells of `cellSize` and answers the cells, row by row
    /// from the top, with no-data cells as NaN.
    std::vector<double> interpolate(const std::vector<test::LayerSpec>& layers, double cellSize) {
        layer_.reset();
        host_.reset();
        store_ = std::make_unique<test::TempMap>(layers);
        host_ = std::make_unique<test::InstalledHost>(store_->openMap());
        layer_ = surfaceUtil::SubInterpolate("z", cellSize, host_->featureLayer("Points"),
                                             host_->featureLayer("Boundary"), dir_.path());
        if (!layer_) return {};
        RasterDatasetPtr raster = layer_->raster();
        std::vector<double> cells =
            raster->band(0).readBlock(0, 0, raster->columns(), raster->rows());
        for (double& cell : cells)
            if (cell == raster->band(0).noData()) cell = kNaN;
        return cells;
    }

    std::unique_ptr<test::TempMap> store_;
    std::unique_ptr<test::InstalledHost> host_;
    std::unique_ptr<IRasterLayer> layer_;
};

TEST_F(SubInterpolate, WeightsByInverseSquaredDistance) {
    // Two cells, centres (1, 1) and (3, 1). The first holds a point; the second is 2 from the
    // points of 10 and 40 and 1 from the point of 20: (10/4 + 20/1 + 40/4) / (1/4 + 1 + 1/4).
    const auto cells = interpolate(
        {points({{"POINT (1 1)", {10.0}}, {"POINT (3 2)", {20.0}}, {"POINT (5 1)", {40.0}}}),
         boundary("POLYGON ((0 0,4 0,4 2,0 2,0 0))")},
        2);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0], 10);
    EXPECT_NEAR(cells[1], 32.5 / 1.5, 1e-5);
    EXPECT_EQ(layer_->name(), "IDW_z");
    EXPECT_EQ(layer_->raster()->pixelType(), PixelType::Float);
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SubInterpolate, CellsOutsideTheBoundaryPolygonsHaveNoData) {
    // An L over a 2 x 2 grid: the upper-right cell's centre lies outside it.
    const auto cells = interpolate({points({{"POINT (0 0)", {1.0}}, {"POINT (4 4)", {1.0}}}),
                                    boundary("POLYGON ((0 0,4 0,4 2,2 2,2 4,0 4,0 0))")},
                                   2);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[0], 1);
    EXPECT_TRUE(std::isnan(cells[1]));
    EXPECT_EQ(cells[2], 1);
    EXPECT_EQ(cells[3], 1);
}

TEST_F(SubInterpolate, OnlyTheTwelveNearestPointsTakePart) {
    // Twelve points of 1 on a circle of radius 1 around the cell centre (5, 5), and a
    // thirteenth of 1000 a little farther out: it takes no part.
    std::vector<test::FeatureSpec> features;
    for (int i = 0; i < 12; ++i) {
        const double angle = i * M_PI / 6;
        features.push_back({"POINT (" + std::to_string(5 + std::cos(angle)) + " " +
                                std::to_string(5 + std::sin(angle)) + ")",
                            {1.0}});
    }
    features.push_back({"POINT (6.5 5)", {1000.0}});
    const auto cells =
        interpolate({points(features), boundary("POLYGON ((0 0,10 0,10 10,0 10,0 0))")}, 10);
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0], 1);
}

TEST_F(SubInterpolate, FailuresShowTheirMessageAndAnswerNothing) {
    const auto cells = interpolate(
        {{.name = "Points", .shape = ShapeType::Point, .features = {{"POINT (1 1)", {}}}},
         boundary("POLYGON ((0 0,4 0,4 2,0 2,0 0))")},
        2);
    EXPECT_TRUE(cells.empty());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].title, "SubInterpolate: 1");
    EXPECT_EQ(ui_.messages[0].text, "The following error occurred: Field z not found in Points.");
    EXPECT_EQ(surfaceUtil::SubInterpolate("z", 2, nullptr, nullptr, dir_.path()), nullptr);
    EXPECT_EQ(ui_.messages.back().title, "SubInterpolate: 91");
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(SubInterpolate, ATakenNameGetsANumber) {
    const std::vector<test::LayerSpec> layers = {points({{"POINT (1 1)", {10.0}}}),
                                                 boundary("POLYGON ((0 0,4 0,4 2,0 2,0 0))")};
    interpolate(layers, 2);
    interpolate(layers, 2);
    EXPECT_EQ(layer_->name(), "IDW_z_1");
    EXPECT_TRUE(fs::exists(dir_.file("IDW_z.tif")));
}

TEST_F(SubInterpolate, RasterLayersGiveSurfacesAndOtherLayersNothing) {
    interpolate({points({{"POINT (1 1)", {10.0}}}), boundary("POLYGON ((0 0,4 0,4 2,0 2,0 0))")},
                2);
    auto surface = surfaceUtil::GetSurfaceFromLayer(layer_.get());
    ASSERT_NE(surface, nullptr);
    EXPECT_NEAR(surface->elevation(2, 1), 10, 1e-6);
    EXPECT_EQ(surfaceUtil::GetSurfaceFromLayer(host_->featureLayer("Points")), nullptr);
    EXPECT_EQ(surfaceUtil::GetSurfaceFromLayer(nullptr), nullptr);
    MapDocument map;
    map.addSurfaceLayer("Bed", LayerKind::Tin, dir_.file("bed.gpkg"));
    EXPECT_EQ(surfaceUtil::GetSurfaceFromLayer(&map.layer(0)), nullptr);
}

}  // namespace
}  // namespace ondu
