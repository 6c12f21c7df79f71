#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "framework/geometry/curve.h"
#include "framework/host_operations.h"
#include "support/cli_runner.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

const char* kUtm33 =
    R"(PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",15],PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1],AUTHORITY["EPSG","32633"]])";

/// A 3 x 2 raster of 10-unit cells from (100, 200), cells 1 2 3 / 4 5 6 from the top, saved.
void writeSmallRaster(const std::string& folder, const std::string& name,
                      bool lastCellEmpty = false) {
    RasterSpec spec;
    spec.name = name;
    spec.origin = Point(100, 200);
    spec.columns = 3;
    spec.rows = 2;
    spec.cellWidth = spec.cellHeight = 10;
    spec.spatialReference = kUtm33;
    RasterDatasetPtr raster = openRasterWorkspace(folder)->createDataset(spec);
    raster->band(0).setNoData(-9999);
    raster->band(0).writeBlock(0, 0, 3, 2, {1, 2, 3, 4, 5, lastCellEmpty ? -9999.0 : 6.0});
    raster->save();
}

TEST(Raster, RoundTripByFolderAndName) {
    test::TempDir dir;
    writeSmallRaster(dir.path(), "dem");
    auto workspace = openRasterWorkspace(dir.path());
    ASSERT_TRUE(workspace->exists("dem"));
    RasterDatasetPtr raster = workspace->openDataset("dem");
    EXPECT_EQ(raster->name(), "dem");
    EXPECT_EQ(raster->columns(), 3);
    EXPECT_EQ(raster->rows(), 2);
    EXPECT_EQ(raster->cellWidth(), 10);
    EXPECT_EQ(raster->origin().x, 100);
    EXPECT_EQ(raster->origin().y, 200);
    EXPECT_EQ(raster->extent().yMax, 220);
    EXPECT_EQ(raster->pixelType(), PixelType::Float);
    EXPECT_NE(raster->spatialReference().find("UTM zone 33N"), std::string::npos);
    EXPECT_EQ(raster->band(0).noData(), -9999);
    EXPECT_EQ(raster->band(0).readBlock(1, 0, 2, 2), (std::vector<double>{2, 3, 5, 6}));
    EXPECT_THROW(raster->band(1), HostError);
    EXPECT_THROW(workspace->openDataset("nothing"), HostError);
    workspace->remove("dem");
    EXPECT_FALSE(workspace->exists("dem"));
}

TEST(Raster, NewDatasetAppearsUnderItsNameOnlyWhenSaved) {
    test::TempDir dir;
    auto workspace = openRasterWorkspace(dir.path());
    RasterSpec spec;
    spec.name = "half";
    spec.columns = spec.rows = 4;
    {
        RasterDatasetPtr raster = workspace->createDataset(spec);
        raster->band(0).writeBlock(0, 0, 1, 1, {7});
        EXPECT_FALSE(workspace->exists("half"));
    }  // dropped unsaved, as a failed run drops it
    EXPECT_TRUE(fs::is_empty(dir.path()));
    RasterDatasetPtr raster = workspace->createDataset(spec);
    raster->save();
    EXPECT_TRUE(workspace->exists("half"));
    EXPECT_THROW(raster->band(0), HostError);  // closed by save
    EXPECT_THROW(workspace->createDataset(spec), HostError);
}

TEST(Raster, BadRasterDescriptionsAndFoldersAreRefused) {
    test::TempDir dir;
    EXPECT_THROW(openRasterWorkspace(dir.file("missing")), HostError);
    auto workspace = openRasterWorkspace(dir.path());
    for (auto change : std::vector<void (*)(RasterSpec&)>{
             [](RasterSpec& s) { s.columns = 0; }, [](RasterSpec& s) { s.cellWidth = -1; },
             [](RasterSpec& s) { s.format = "AAIGrid"; }, [](RasterSpec& s) { s.name = "a/b"; }}) {
        RasterSpec spec;
        spec.name = "bad";
        spec.columns = spec.rows = 2;
        change(spec);
        EXPECT_THROW(workspace->createDataset(spec), HostError);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(RasterSurface, BilinearBetweenCellCentres) {
    test::TempDir dir;
    writeSmallRaster(dir.path(), "dem");
    auto surface = rasterSurface(openRasterWorkspace(dir.path())->openDataset("dem"));
    struct Case {
        const char* where;
        double x, y, z;
    };
    for (const Case& c : {
             Case{"on a cell centre", 115, 215, 2},
             Case{"between two centres", 110, 215, 1.5},
             Case{"between four centres", 110, 210, 3},
             Case{"in an outer half cell", 101, 219, 1},
             Case{"on the raster's edge", 130, 200, 6},
         })
        EXPECT_DOUBLE_EQ(surface->elevation(c.x, c.y), c.z) << c.where;
    EXPECT_TRUE(std::isnan(surface->elevation(99, 210)));
    EXPECT_TRUE(std::isnan(surface->elevation(110, 221)));
}

TEST(RasterSurface, NoDataCellsGiveNoElevationWhereTheyTakePart) {
    test::TempDir dir;
    writeSmallRaster(dir.path(), "dem", true);  // the lower-right cell has no data
    auto surface = rasterSurface(openRasterWorkspace(dir.path())->openDataset("dem"));
    EXPECT_TRUE(std::isnan(surface->elevation(125, 205)));
    EXPECT_TRUE(std::isnan(surface->elevation(120, 210)));
    EXPECT_DOUBLE_EQ(surface->elevation(115, 205), 5);  // the cell beside it, on its centre
}

TEST(RasterSurface, ProfileIsDensifiedAndBrokenWhereTheSurfaceEnds) {
    test::TempDir dir;
    writeSmallRaster(dir.path(), "dem");
    auto surface = rasterSurface(openRasterWorkspace(dir.path())->openDataset("dem"));
    const Polyline across(Path{{105, 215}, {125, 215}});
    const Polyline profile = surface->profile(across, 5);
    ASSERT_EQ(profile.paths.size(), 1u);
    ASSERT_EQ(profile.paths[0].size(), 5u);
    EXPECT_TRUE(profile.zAware);
    EXPECT_DOUBLE_EQ(profile.paths[0][1].z, 1.5);
    EXPECT_DOUBLE_EQ(profile.paths[0][4].z, 3);

    // Starts west of the raster and ends east of it: only the part over it remains.
    const Polyline through(Path{{90, 215}, {140, 215}});
    const Polyline over = surface->profile(through, 2);
    ASSERT_EQ(over.paths.size(), 1u);
    EXPECT_EQ(over.paths[0].front().x, 100);
    EXPECT_EQ(over.paths[0].back().x, 130);
    const Polyline outside(Path{{0, 0}, {10, 0}});
    EXPECT_TRUE(surface->profile(outside, 2).paths.empty());
    EXPECT_THROW(surface->profile(across, 0), std::invalid_argument);
}

}  // namespace
}  // namespace ondu
