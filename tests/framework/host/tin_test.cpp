#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "framework/host_operations.h"
#include "support/cli_runner.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

/// The corners of the square (0, 0)-(10, 10) on the plane z = x + 2y.
std::vector<Point> planeCorners() { return {{0, 0, 0}, {10, 0, 10}, {10, 10, 30}, {0, 10, 20}}; }

/// The corners of the same square, all at elevation 0.
std::vector<Point> flatCorners() { return {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}; }

Polyline line3d(std::initializer_list<Point> vertices) { return Polyline(Path(vertices), true); }

TEST(Tin, LinearInsideItsTrianglesAndNothingOutside) {
    TinPtr tin = createTin(planeCorners(), {}, nullptr, "");
    EXPECT_EQ(tin->triangleCount(), 2u);
    for (auto [x, y] : {std::pair{5.0, 5.0}, {0.0, 0.0}, {9.5, 0.25}, {10.0, 10.0}, {2.0, 7.0}})
        EXPECT_NEAR(tin->elevation(x, y), x + 2 * y, 1e-12) << x << " " << y;
    EXPECT_TRUE(std::isnan(tin->elevation(-0.1, 5)));
    EXPECT_TRUE(std::isnan(tin->elevation(5, 10.1)));
    EXPECT_EQ(tin->lowestElevation(), 0);
    EXPECT_EQ(tin->highestElevation(), 30);
    EXPECT_EQ(tin->extent().xMax, 10);
    EXPECT_EQ(tin->extent().yMax, 10);
    EXPECT_TRUE(tin->path().empty());
}

TEST(Tin, HardLinesBecomeEdgesWithTheirOwnElevations) {
    // Without the line the flat square is 0 everywhere; with it a ridge of 5 runs along y = 5.
    TinPtr tin = createTin(flatCorners(), {line3d({{0, 5, 5}, {10, 5, 5}})}, nullptr, "");
    EXPECT_DOUBLE_EQ(tin->elevation(5, 5), 5);
    EXPECT_NEAR(tin->elevation(5, 2.5), 2.5, 1e-12);
    EXPECT_NEAR(tin->elevation(3, 7.5), 2.5, 1e-12);
}

TEST(Tin, HardLinesAloneMakeASurface) {
    // Two profile lines 10 apart, at 0 and 10: the surface between rises linearly.
    TinPtr tin = createTin(
        {}, {line3d({{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}), line3d({{0, 10, 10}, {10, 10, 10}})},
        nullptr, "");
    EXPECT_NEAR(tin->elevation(3, 4), 4, 1e-12);
    EXPECT_NEAR(tin->elevation(8, 9), 9, 1e-12);
}

TEST(Tin, CrossingHardLinesMeetAtAnInterpolatedVertex) {
    // The lines cross at (5, 5): 5 along the first, 1 + 8 x 0.5 = 5 along the second.
    TinPtr tin =
        createTin(flatCorners(), {line3d({{0, 5, 5}, {10, 5, 5}}), line3d({{5, 0, 1}, {5, 10, 9}})},
                  nullptr, "");
    EXPECT_NEAR(tin->elevation(5, 5), 5, 1e-9);
    EXPECT_NEAR(tin->elevation(5, 2.5), 3, 1e-9);
}

TEST(Tin, ClipPolygonDropsTheTrianglesOutsideIt) {
    Polygon clip;
    clip.rings = {{{2, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 2}}};
    TinPtr tin = createTin(planeCorners(), {}, &clip, "");
    EXPECT_TRUE(std::isnan(tin->elevation(1, 1)));
    EXPECT_TRUE(std::isnan(tin->elevation(9, 5)));
    // The clip's corners take their elevations from the surface under them.
    EXPECT_NEAR(tin->elevation(2.5, 2.5), 7.5, 1e-9);
    EXPECT_NEAR(tin->elevation(8, 8), 24, 1e-9);
    EXPECT_NEAR(tin->lowestElevation(), 6, 1e-9);
    EXPECT_NEAR(tin->highestElevation(), 24, 1e-9);
    EXPECT_EQ(tin->extent().xMin, 2);
}

TEST(Tin, PointsOfOnePositionKeepTheLastElevation) {
    std::vector<Point> points = flatCorners();
    points.push_back({5, 5, 1});
    points.push_back({5, 5, 3});
    TinPtr tin = createTin(points, {}, nullptr, "");
    EXPECT_DOUBLE_EQ(tin->elevation(5, 5), 3);
}

TEST(Tin, TooFewPointsAreRefused) {
    EXPECT_THROW(createTin({{0, 0, 0}, {1, 1, 1}}, {}, nullptr, ""), HostError);
    EXPECT_THROW(createTin({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {}, nullptr, ""), HostError);
}

TEST(Tin, SampledCellsFollowTheSurfaceRowsFromTheTop) {
    TinPtr tin = createTin(planeCorners(), {}, nullptr, "");
    const CellGrid grid{-1, 0, 2, 3, 2};  // centres x = 0, 2, 4 and y = 3 (top), 1
    EXPECT_EQ(tin->sampleCells(grid, -99), (std::vector<double>{6, 8, 10, 2, 4, 6}));
    const CellGrid off{-5, 0, 2, 2, 1};  // centres x = -4, -2: off the TIN
    EXPECT_EQ(tin->sampleCells(off, -99), (std::vector<double>{-99, -99}));
}

/// Runs GDAL's GeoPackage validator on the file; empty when it passes, else what it said.
std::string validationErrors(const std::string& path) {
    const std::string validator =
        "/usr/lib/python3/dist-packages/osgeo_utils/samples/validate_gpkg.py";
    if (!fs::exists(validator)) return {};
    test::TempDir out;
    const std::string command =
        "python3 " + validator + " '" + path + "' >" + out.file("log") + " 2>&1";
    return std::system(command.c_str()) == 0 ? std::string() : test::readFile(out.file("log"));
}

TEST(Tin, SavedCopyReopensEditsAndPassesTheGeoPackageValidator) {
    test::TempDir dir;
    const std::string srs =
        R"(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433],AUTHORITY["EPSG","4326"]])";
    Polygon clip;
    clip.rings = {{{1, 1}, {9, 1}, {9, 9}, {1, 9}}};
    TinPtr built = createTin(planeCorners(), {line3d({{0, 5, 10}, {10, 5, 20}})}, &clip, srs);
    EXPECT_THROW(built->save(), HostError);  // never given a path
    const std::string path = dir.file("bed.gpkg");
    TinPtr saved = built->saveAs(path);
    EXPECT_EQ(saved->path(), path);
    EXPECT_EQ(validationErrors(path), "");

    TinPtr reopened = openTin(path);
    EXPECT_EQ(reopened->triangleCount(), built->triangleCount());
    EXPECT_NE(reopened->spatialReference().find("WGS 84"), std::string::npos);
    for (auto [x, y] : {std::pair{5.0, 5.0}, {2.0, 3.0}, {8.5, 1.5}, {0.5, 0.5}}) {
        const double expected = built->elevation(x, y);
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(reopened->elevation(x, y)));
        else
            EXPECT_DOUBLE_EQ(reopened->elevation(x, y), expected);
    }

    // An edited copy under a new name; the original file stays as it was.
    TinPtr merged = reopened->saveAs(dir.file("MergedTIN"));
    EXPECT_EQ(merged->path(), dir.file("MergedTIN.gpkg"));
    merged->addLines({line3d({{5, 2, 40}, {5, 4, 40}})});
    merged->save();
    EXPECT_DOUBLE_EQ(openTin(dir.file("MergedTIN"))->elevation(5, 3), 40);
    EXPECT_NEAR(openTin(path)->elevation(5, 3), 11, 1e-9);
    EXPECT_EQ(validationErrors(dir.file("MergedTIN.gpkg")), "");
    EXPECT_THROW(openTin(dir.file("missing.gpkg")), HostError);
    createTin(planeCorners(), {}, nullptr, "")->saveAs(dir.file("plain.gpkg"));
    EXPECT_EQ(validationErrors(dir.file("plain.gpkg")), "");  // no spatial reference
}

}  // namespace
}  // namespace ondu
