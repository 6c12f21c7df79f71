#include "preprocessing/polygon_to_polyline.h"

#include <gtest/gtest.h>

#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

const char* const kSquare = "POLYGON ((0 0,0 10,10 10,10 0,0 0))";

test::LayerSpec polygons() {
    return {.name = "ChannelBoundary",
            .shape = ShapeType::Polygon,
            .features = {{kSquare, {}},
                         {"POLYGON ((20 0,20 5,25 5,20 0))", {}},
                         {"POLYGON ((30 0,30 5,35 5,30 0))", {}}}};
}

class PolyToLineDialog : public test::DialogTest<frmPolyToLine> {
protected:
    void openMap(test::LayerSpec lines, StoreFormat format = StoreFormat::GeoPackage) {
        Forms::reset();
        host.reset();
        store = std::make_unique<test::TempMap>(std::vector{polygons(), lines}, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
    }

    std::vector<Path> storedLines() {
        std::vector<Path> lines;
        auto cursor = host->featureLayer("BoundarySegments")->featureClass()->search(nullptr);
        while (auto f = cursor->nextFeature()) lines.push_back(allVertices(f->shape()));
        return lines;
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(PolyToLineDialog, SelectedSquareGivesOneClosedLineOnBothStores) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        SCOPED_TRACE(format == StoreFormat::Shapefile ? "Shapefile" : "GeoPackage");
        openMap({.name = "BoundarySegments"}, format);
        IFeatureLayer* boundary = host->featureLayer("ChannelBoundary");
        auto first = boundary->featureClass()->search(nullptr)->nextFeature();
        boundary->selectionSet().add(first->OID());
        frmPolyToLine& form = openDialog();
        EXPECT_EQ(form.control("cmbPoly").text, "ChannelBoundary");
        EXPECT_EQ(form.control("cmbLine").text, "BoundarySegments");
        form.pressOk();
        const auto lines = storedLines();
        ASSERT_EQ(lines.size(), 1u);
        ASSERT_EQ(lines[0].size(), 5u);
        // The ring's closing vertex is copied too: the line ends where it began.
        EXPECT_EQ(lines[0].front().x, lines[0].back().x);
        EXPECT_EQ(lines[0].front().y, lines[0].back().y);
        EXPECT_EQ(
            ui.messageLines().back(),
            "[Polygon to polyline] Polygon feature(s) converted to polyline(s) successfully!");
        EXPECT_FALSE(Forms::anyLoaded());
    }
}

TEST_F(PolyToLineDialog, EveryPolygonWithoutSelectionInCursorOrder) {
    openMap({.name = "BoundarySegments"});
    openDialog().pressOk();
    const auto lines = storedLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].front().x, 20);
    EXPECT_EQ(lines[2].front().x, 30);
}

TEST_F(PolyToLineDialog, RefusalsWriteNothingAndKeepTheDialogOpen) {
    openMap({.name = "BoundarySegments", .hasZ = true});
    const std::string before = test::fingerprint(store->storePath());
    frmPolyToLine& form = openDialog();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(),
              "[Warning] Please select a non PolylineZ/PolylineZM layer for lines");
    form.control("cmbLine").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for line");
    form.control("cmbPoly").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for polygon");
    EXPECT_TRUE(form.isLoaded());
    EXPECT_EQ(test::fingerprint(store->storePath()), before);
}

TEST(PolyToLineCommandLine, ConvertsThroughTheCommandLine) {
    test::TempMap store({polygons(), {.name = "BoundarySegments"}});
    const std::string map = store.storePath().string();
    auto r =
        test::runCli({"run", "clsPolyToLines", "--map", map, "--select", "ChannelBoundary=2,3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto layers = test::runCli({"layers", "--map", map});
    EXPECT_NE(layers.out.find("BoundarySegments\tfeature\tpolyline\t-\t2\t0"), std::string::npos)
        << layers.out;
}

}  // namespace
}  // namespace ondu
