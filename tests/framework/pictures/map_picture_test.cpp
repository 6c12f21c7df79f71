// The map checked by its pixels: roles in their colours where their vertices fall, one scale for
// X and Y, nothing outside the chosen extent, selections highlighted; SVG as XML; refusals.

#include "framework/pictures/map_picture.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <pugixml.hpp>

#include "framework/error.h"
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

}  // namespace
}  // namespace ondu::pictures
