// The map checked by its pixels: roles in their colours where their vertices fall, one scale for
// X and Y, nothing outside the chosen extent, selections highlighted; SVG as XML; refusals.

#include "framework/pictures/map_picture.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <pugixml.hpp>

#include "framework/error.h"
#include "framework/surface_helpers.h"
#include "support/cli_runner.h"
#include "support/png_pixels.h"
#include "support/temp_map.h"

namespace ondu::pictures {
namespace {

using test::LayerSpec;

std::vector<LayerSpec> channelLayers() {
    return {{.name = "Thalweg",
             .hasZ = true,
             .features = {{"LINESTRING Z (10 10 5,50 50 4,90 20 3)"},
                          {"LINESTRING Z (10 90 5,30 80 4)"},
                          {"LINESTRING Z (60 90 5,80 80 4)"}}},
            {.name = "CrossSections",
             .hasZ = true,
             .fields = {{"StationNo", FieldType::Double}},
             .features = {{"LINESTRING Z (20 0 10,20 100 10)", {1250.0}}}},
            {.name = "ChannelBoundary",
             .shape = ShapeType::Polygon,
             .features = {{"POLYGON ((0 0,100 0,100 100,0 100,0 0))"}}},
            {.name = "Empty", .hasZ = true}};
}

class MapPicture : public ::testing::Test {
protected:
    test::TempMap store{channelLayers()};
    std::unique_ptr<MapDocument> map = store.openMap();
    test::TempDir dir;
    const std::string png = dir.file("map.png");
};

TEST_F(MapPicture, ThalwegVertexFallsOnThalwegColour) {
    const MapView view = renderMap(*map, {.width = 600, .height = 500}, png);
    test::PngPixels pixels(png);
    const Rgb thalweg = roleStyle("Thalweg", ShapeType::Polyline).stroke;
    EXPECT_TRUE(pixels.is(view.x(50), view.y(50), thalweg));
    EXPECT_TRUE(pixels.is(view.x(10), view.y(10), thalweg));
    // Inside the boundary, away from any line: the pale boundary fill.
    EXPECT_TRUE(
        pixels.is(view.x(70), view.y(60), roleStyle("ChannelBoundary", ShapeType::Polygon).fill));
}

TEST_F(MapPicture, ASquareStaysSquare) {
    // A wide picture and a tall one: either way the unit square spans as many pixels each way.
    for (auto [w, h] : {std::pair{900, 400}, std::pair{400, 900}}) {
        const MapView view =
            renderMap(*map, {.layers = {"ChannelBoundary"}, .width = w, .height = h}, png);
        test::PngPixels pixels(png);
        const Rgb fill = roleStyle("ChannelBoundary", ShapeType::Polygon).fill;
        int across = 0, down = 0;
        for (int x = 0; x < pixels.width(); ++x) across += pixels.is(x, view.y(50), fill);
        for (int y = 0; y < pixels.height(); ++y) down += pixels.is(view.x(50), y, fill);
        EXPECT_GT(across, 100);
        EXPECT_NEAR(across, down, 2) << w << "x" << h;
    }
}

TEST(FitView, KeepsOneScaleAndTheWholeWantedExtent) {
    const Box frame{80, 50, 880, 450};
    for (Extent wanted :
         {Extent{0, 0, 100, 10}, Extent{0, 0, 10, 100}, Extent{5, 5, 5, 5}, Extent{-3, 2, 7, 2}}) {
        const MapView view = fitView(frame, wanted);
        EXPECT_LE(view.extent.xmin, wanted.xmin);
        EXPECT_GE(view.extent.xmax, wanted.xmax);
        EXPECT_LE(view.extent.ymin, wanted.ymin);
        EXPECT_GE(view.extent.ymax, wanted.ymax);
        EXPECT_NEAR(view.extent.width() * view.pixelsPerUnit, frame.width(), 1e-6);
        EXPECT_NEAR(view.extent.height() * view.pixelsPerUnit, frame.height(), 1e-6);
    }
}

TEST_F(MapPicture, NothingIsDrawnOutsideTheExtent) {
    const MapView view = renderMap(
        *map,
        {.layers = {"Thalweg"}, .width = 600, .height = 500, .extent = Extent{30, 30, 60, 60}},
        png);
    test::PngPixels pixels(png);
    const Rgb thalweg = roleStyle("Thalweg", ShapeType::Polyline).stroke;
    int inside = 0, outside = 0;
    // Left of the legend, which shows the thalweg's colour on purpose.
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < view.frame.right + 10; ++x) {
            if (!pixels.is(x, y, thalweg, 0.1)) continue;
            const bool in = x >= view.frame.left - 1 && x <= view.frame.right + 1 &&
                            y >= view.frame.top - 1 && y <= view.frame.bottom + 1;
            (in ? inside : outside) += 1;
        }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

TEST_F(MapPicture, SelectedFeaturesAreHighlighted) {
    dynamic_cast<MapDocument&>(*map).findLayer("Thalweg")->asFeatureLayer()->selectionSet().add(1);
    const MapView view = renderMap(*map, {.width = 600, .height = 500}, png);
    test::PngPixels pixels(png);
    EXPECT_TRUE(pixels.is(view.x(50), view.y(50), kHighlight));
    EXPECT_TRUE(
        pixels.is(view.x(20), view.y(85), roleStyle("Thalweg", ShapeType::Polyline).stroke));
}

/// The paths of an SVG whose style strokes in the colour.
int strokedPaths(const std::string& svg, Rgb colour) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(svg.c_str()));
    // Cairo writes colours as percentages of full intensity.
    auto percent = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g%%", v * 100);
        return std::string(text);
    };
    const std::string stroke =
        "stroke:rgb(" + percent(colour.r) + "," + percent(colour.g) + "," + percent(colour.b) + ")";
    int count = 0;
    for (auto node : doc.select_nodes("//*[local-name()='path']"))
        count +=
            std::string(node.node().attribute("style").value()).find(stroke) != std::string::npos;
    return count;
}

TEST_F(MapPicture, SvgHoldsOnePathPerLineLayerAndSelection) {
    dynamic_cast<MapDocument&>(*map).findLayer("Thalweg")->asFeatureLayer()->selectionSet().add(2);
    const std::string svg = dir.file("map.svg");
    renderMap(*map, {.layers = {"Thalweg", "CrossSections"}, .width = 600, .height = 500}, svg);
    // The unselected thalwegs in one stroke, plus the legend's swatch; the selected one apart.
    EXPECT_EQ(strokedPaths(svg, {0, 1, 1}), 1);
    EXPECT_EQ(strokedPaths(svg, {0.85, 0.1, 0.1}), 2);
}

TEST_F(MapPicture, RefusesWhatWouldDrawNothing) {
    struct Case {
        std::vector<std::string> layers;
        const char* message;
    };
    for (const Case& c : {Case{{"Thalweg", "Nowhere"}, "The layer Nowhere is not in the map"},
                          Case{{"Empty"}, "The layer Empty has no features to draw"}}) {
        try {
            renderMap(*map, {.layers = c.layers}, png);
            ADD_FAILURE() << c.message;
        } catch (const RunRefused& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(std::filesystem::exists(png));
    }
}

TEST(RoleStyle, NamesWithPrefixesSuffixesAndOtherCaseKeepTheirRole) {
    const auto stroke = [](const char* name) { return roleStyle(name, ShapeType::Polyline).stroke; };
    EXPECT_EQ(stroke("SurveyCrossSections_new"), stroke("CrossSections"));
    EXPECT_EQ(stroke("BetaSections"), stroke("CrossSections"));
    EXPECT_EQ(stroke("thalweg_2019"), stroke("Thalweg"));
    EXPECT_EQ(stroke("WaterLevelLines"), stroke("ProfileLines"));
    EXPECT_EQ(stroke("centerline_segments"), stroke("BoundarySegments"));
    EXPECT_NE(stroke("CenterlineSegments"), stroke("Centerline"));
    EXPECT_EQ(roleStyle("RiverBoundary", ShapeType::Polygon).fill,
              roleStyle("ChannelBoundary", ShapeType::Polygon).fill);
    EXPECT_NE(stroke("Roads"), stroke("CrossSections"));
}

TEST(MapPictureOfNothing, IsRefusedNamingTheMap) {
    test::TempMap store({{.name = "Empty", .hasZ = true}});
    auto map = store.openMap();
    test::TempDir dir;
    EXPECT_THROW(renderMap(*map, {}, dir.file("m.png")), RunRefused);
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.png")));
}

/// A plane rising eastwards, without values in its western tenth.
class Plane : public SurfaceSampler {
public:
    double elevation(double x, double) const override { return x < 10 ? kNaN : x; }
    Extent extent() const override { return {0, 0, 100, 100}; }
    double lowest() const override { return 10; }
    double highest() const override { return 100; }
};

TEST(ShadeSurface, ColoursByElevationAndLeavesNoDataBlank) {
    test::TempDir dir;
    const std::string png = dir.file("s.png");
    const MapView view = fitView({0, 0, 200, 200}, {0, 0, 100, 100});
    {
        Canvas canvas(png, 200, 200);
        shadeSurface(canvas.cr(), view, Plane());
        canvas.save();
    }
    test::PngPixels pixels(png);
    EXPECT_TRUE(pixels.is(5, 100, {1, 1, 1}));  // no value: the page shows through
    const Rgb low = pixels.at(25, 100), high = pixels.at(195, 100);
    EXPECT_GT(low.b, low.r);    // low ground blue
    EXPECT_GT(high.r, high.b);  // high ground brown
}

/// Dense profile lines: 42 rows of 50 straight lines, each 10 long with a vertex every unit
/// (21,000 vertices in all, about half a pixel apart at this size), the first one selected.
class DenseLines : public ::testing::Test {
protected:
    static LayerSpec profileLines() {
        LayerSpec layer{.name = "ProfileLines"};
        for (int row = 0; row < 42; ++row)
            for (int col = 0; col < 50; ++col) {
                std::string wkt = "LINESTRING (";
                for (int v = 0; v <= 10; ++v)
                    wkt += (v ? "," : "") + std::to_string(col * 20 + v) + " " +
                           std::to_string(row * 20);
                layer.features.push_back({wkt + ")"});
            }
        return layer;
    }

    test::TempMap store{{profileLines()}};
    std::unique_ptr<MapDocument> map = store.openMap();
    test::TempDir dir;
    const std::string png = dir.file("dense.png");
};

TEST_F(DenseLines, ThinLinesKeepTheirColourAndStayInsideTheExtent) {
    map->findLayer("ProfileLines")->asFeatureLayer()->selectionSet().add(1);
    const Rgb stroke = roleStyle("ProfileLines", ShapeType::Polyline).stroke;
    const MapView view = renderMap(*map, {.width = 800, .height = 700}, png);
    test::PngPixels pixels(png);
    // A line's middle: the darkest pixel across it leans to the line's colour; between rows the
    // page shows.
    for (auto [x, y] : {std::pair{105.0, 400.0}, {505.0, 600.0}, {25.0, 20.0}}) {
        Rgb darkest{1, 1, 1};
        for (double dy = -1; dy <= 1; dy += 1) {
            const Rgb c = pixels.at(view.x(x), view.y(y) + dy);
            if (c.r < darkest.r) darkest = c;
        }
        EXPECT_LT(darkest.r, 0.6) << x << " " << y;
        EXPECT_GT(darkest.g, darkest.r);
        EXPECT_GT(darkest.b, darkest.r);
        EXPECT_TRUE(pixels.is(view.x(x), view.y(y + 10), {1, 1, 1}));
    }
    EXPECT_TRUE(pixels.is(view.x(5), view.y(0), kHighlight, 0.1));

    // Cut by an extent: nothing of the lines' colour outside the frame, left of the legend.
    const MapView cut =
        renderMap(*map, {.width = 800, .height = 700, .extent = Extent{300, 300, 500, 500}}, png);
    test::PngPixels zoomed(png);
    int inside = 0, outside = 0;
    for (int y = 0; y < zoomed.height(); ++y)
        for (int x = 0; x < cut.frame.right + 10; ++x) {
            const Rgb c = zoomed.at(x, y);
            if (!(c.r < 0.8 && c.g > c.r + 0.1)) continue;
            const bool in = x >= cut.frame.left - 1 && x <= cut.frame.right + 1 &&
                            y >= cut.frame.top - 1 && y <= cut.frame.bottom + 1;
            (in ? inside : outside) += 1;
        }
    EXPECT_GT(inside, 500);
    EXPECT_EQ(outside, 0);
}

/// A map of a 4 x 4 raster over (0 0, 40 40) rising eastwards (10 to 40, its north-west cell
/// without data) and a TIN over (60 0, 100 40) rising northwards (5 to 45).
class SurfaceMap : public ::testing::Test {
protected:
    SurfaceMap() {
        auto raster = surfaceUtil::CreateRasterDataset(dir.path(), "dem", "GRID", Point(0, 0), 4, 4,
                                                       10, 10, PixelType::Float, "", true);
        IRasterBand& band = surfaceUtil::GetRawPixels(*raster, 0);
        band.setNoData(-9999);
        std::vector<double> cells;
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < 4; ++col)
                cells.push_back(row == 0 && col == 0 ? -9999 : 10.0 * (col + 1));
        band.writeBlock(0, 0, 4, 4, cells);
        raster->save();
        createTin({{60, 0, 5}, {100, 0, 5}, {100, 40, 45}, {60, 40, 45}}, {}, nullptr, "")
            ->saveAs(dir.file("tin.gpkg"));
        map->addSurfaceLayer("Dem", LayerKind::Raster, dir.file("dem"));
        map->addSurfaceLayer("Tin", LayerKind::Tin, dir.file("tin.gpkg"));
        map->addSurfaceLayer("Broken", LayerKind::Raster, dir.file("nowhere"));
    }

    test::TempDir dir;
    test::TempMap store{{{.name = "Empty", .hasZ = true}}};
    std::unique_ptr<MapDocument> map = store.openMap();
};

TEST_F(SurfaceMap, RangesComeFromTheCellsWithDataAndTheTinVertices) {
    const auto dem = surfaceSampler(*layerNamed(*map, "Dem"));
    ASSERT_TRUE(dem);
    EXPECT_EQ(dem->lowest(), 10);
    EXPECT_EQ(dem->highest(), 40);
    EXPECT_EQ(dem->extent().xmax, 40);
    const auto tin = surfaceSampler(*layerNamed(*map, "Tin"));
    ASSERT_TRUE(tin);
    EXPECT_EQ(tin->lowest(), 5);
    EXPECT_EQ(tin->highest(), 45);
    EXPECT_NEAR(tin->elevation(80, 20), 25, 1e-9);
}

TEST_F(SurfaceMap, SurfacesAreShadedLowBlueHighBrown) {
    const std::string png = dir.file("surfaces.png");
    const MapView view = renderMap(*map, {.width = 800, .height = 400}, png);
    test::PngPixels pixels(png);
    const Rgb lowDem = pixels.at(view.x(5), view.y(5)), highDem = pixels.at(view.x(38), view.y(5));
    EXPECT_GT(lowDem.b, lowDem.r);
    EXPECT_GT(highDem.r, highDem.b);
    EXPECT_TRUE(pixels.is(view.x(5), view.y(35), {1, 1, 1}));  // the cell without data
    const Rgb lowTin = pixels.at(view.x(80), view.y(1)),
              highTin = pixels.at(view.x(80), view.y(39));
    EXPECT_GT(lowTin.b, lowTin.r);
    EXPECT_GT(highTin.r, highTin.b);
    EXPECT_TRUE(pixels.is(view.x(53), view.y(23), {1, 1, 1}));  // between the two surfaces
}

TEST_F(SurfaceMap, ABrokenSurfaceIsPassedOverUnlessNamed) {
    const std::string png = dir.file("broken.png");
    try {
        renderMap(*map, {.layers = {"Broken"}}, png);
        ADD_FAILURE() << "a broken raster was drawn";
    } catch (const RunRefused& e) {
        EXPECT_STREQ(e.what(), "The layer Broken has no data source");
    }
    EXPECT_FALSE(std::filesystem::exists(png));
    EXPECT_NO_THROW(renderMap(*map, {.layers = {"Dem", "Tin"}}, png));
}

}  // namespace
}  // namespace ondu::pictures
