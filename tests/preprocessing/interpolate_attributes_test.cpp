#include "preprocessing/interpolate_attributes.h"

#include <gtest/gtest.h>

#include "framework/geometry/curve.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

/// Ten segments of 300 along the x axis from 0 to 3000, stored last first so that only the
/// chain links put them in order.
test::LayerSpec segments() {
    test::LayerSpec layer{.name = "CenterlineSegments"};
    for (int i = 9; i >= 0; --i)
        layer.features.push_back({"LINESTRING (" + std::to_string(i * 300) + " 0," +
                                      std::to_string((i + 1) * 300) + " 0)",
                                  {}});
    return layer;
}

struct Reference {
    double x, y;
    FieldValue depth;
};

test::LayerSpec referencePoints(const std::vector<Reference>& points) {
    test::LayerSpec layer{.name = "ReferencePoints",
                          .shape = ShapeType::Point,
                          .fields = {{"Depth", FieldType::Double}}};
    for (const Reference& p : points)
        layer.features.push_back(
            {"POINT (" + std::to_string(p.x) + " " + std::to_string(p.y) + ")", {p.depth}});
    return layer;
}

class IntAttributeDialog : public test::DialogTest<frmIntAttribute> {
protected:
    void openMap(const std::vector<Reference>& points,
                 StoreFormat format = StoreFormat::GeoPackage) {
        Forms::reset();
        host.reset();
        store = std::make_unique<test::TempMap>(
            std::vector<test::LayerSpec>{segments(), referencePoints(points)}, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
    }

    /// The field's value on each segment, from upstream (midpoint 150) to downstream (2850);
    /// NaN where it holds none.
    std::vector<double> alongChain(const std::string& field) {
        std::vector<double> values(10, kNaN);
        auto* layer = host->featureLayer("CenterlineSegments");
        auto cursor = layer->featureClass()->search(nullptr);
        while (auto f = cursor->nextFeature()) {
            const auto index =
                static_cast<std::size_t>(fromPoint(std::get<Polyline>(f->shape())).x / 300);
            values[index] = toDouble(f->value(f->findField(field))).value_or(kNaN);
        }
        return values;
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

void expectValues(const std::vector<double>& actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(i);
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(actual[i])) << actual[i];
        else
            EXPECT_NEAR(actual[i], expected[i], 1e-4);
    }
}

TEST_F(IntAttributeDialog, PartsRunBetweenTheReferenceValuesAtTheirEnds) {
    struct Case {
        const char* edge;
        std::vector<Reference> points;
        std::vector<double> depths;
    };
    const Case cases[] = {
        {"one point near each end (three parts): outer parts constant",
         {{600, 5, 2.0}, {2400, -5, 8.0}},
         {2, 2, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8, 8}},
        {"points exactly at both chain ends (one part)",
         {{0, 0, 2.0}, {3000, 0, 8.0}},
         {2.3, 2.9, 3.5, 4.1, 4.7, 5.3, 5.9, 6.5, 7.1, 7.7}},
        // Parts as many as points used to write 0 everywhere.
        {"one point at a chain end, one inside (two parts)",
         {{0, 0, 2.0}, {1500, 0, 5.0}},
         {2.3, 2.9, 3.5, 4.1, 4.7, 5, 5, 5, 5, 5}},
        // A 0 used to count as no value and the middle part ran constant at 8.
        {"a reference value of 0 is a value",
         {{600, 0, 0.0}, {2400, 0, 8.0}},
         {0, 0, 2.0 / 3, 2, 10.0 / 3, 14.0 / 3, 6, 22.0 / 3, 8, 8}},
        // The point read first lies farther away.
        {"the nearest of two points within reach gives the value",
         {{1500, 300, 9.0}, {1500, 0, 5.0}},
         {5, 5, 5, 5, 5, 5, 5, 5, 5, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edge);
        openMap(c.points);
        openDialog().pressOk();
        EXPECT_EQ(ui.messageLines().back(),
                  "[Interpolate Attributes] Process completed successfully!");
        expectValues(alongChain("Depth"), c.depths);
        expectValues(alongChain("Measure"),
                     {150, 450, 750, 1050, 1350, 1650, 1950, 2250, 2550, 2850});
    }
}

TEST_F(IntAttributeDialog, PartsWithoutAnyReferenceWithinReachGetNoValue) {
    openMap({{1500, 900, 4.0}});
    openDialog().pressOk();
    expectValues(alongChain("Depth"), std::vector<double>(10, kNaN));
}

TEST_F(IntAttributeDialog, SelectionIsTheChainAndValuesGoToEverySegmentOnBothStores) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        SCOPED_TRACE(format == StoreFormat::Shapefile ? "Shapefile" : "GeoPackage");
        openMap({{600, 5, 2.0}, {2400, -5, 8.0}}, format);
        auto* layer = host->featureLayer("CenterlineSegments");
        // The segment from 300 to 600 was stored ninth.
        auto cursor = layer->featureClass()->search(nullptr);
        long long ninth = 0;
        for (int i = 0; i < 9; ++i) ninth = cursor->nextFeature()->OID();
        layer->selectionSet().add(ninth);
        openDialog().pressOk();
        // The chain is the one selected segment, ending at the first reference point.
        expectValues(alongChain("Depth"), std::vector<double>(10, 2));
        std::vector<double> measures(10, kNaN);
        measures[1] = 150;
        expectValues(alongChain("Measure"), measures);
    }
}

TEST_F(IntAttributeDialog, WithoutMeasuresNoMeasureFieldIsAdded) {
    openMap({{600, 5, 2.0}});
    frmIntAttribute& form = openDialog();
    EXPECT_EQ(form.control("cmbLines").text, "CenterlineSegments");
    EXPECT_EQ(form.control("cmbPoints").text, "ReferencePoints");
    EXPECT_EQ(form.control("cmbAttribute").text, "Depth");
    EXPECT_TRUE(form.control("chkMeasure").checked);
    form.setChecked("chkMeasure", false);
    form.pressOk();
    EXPECT_EQ(host->featureLayer("CenterlineSegments")->featureClass()->findField("Measure"), -1);
    expectValues(alongChain("Depth"), std::vector<double>(10, 2));
}

TEST_F(IntAttributeDialog, FailuresAndMissingChoicesWriteNothingAndKeepTheDialogOpen) {
    openMap({{600, 5, 2.0}, {2400, 0, FieldValue{}}});
    const std::string before = test::fingerprint(store->storePath());
    host->app().editor().startEditing();
    frmIntAttribute& form = openDialog();
    form.pressOk();
    host->app().editor().stopEditing(false);
    EXPECT_EQ(ui.messageLines().back(),
              "[Error in interpolating attributes(Main)] 94: Invalid use of Null (Depth)");
    form.control("cmbPoints").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for points");
    form.control("cmbLines").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for lines");
    EXPECT_TRUE(form.isLoaded());
    EXPECT_EQ(test::fingerprint(store->storePath()), before);
}

TEST(IntAttributeCommandLine, InterpolatesBankElevationWithoutMeasures) {
    test::TempMap store({segments(), referencePoints({{0, 0, 2.0}, {3000, 0, 8.0}})});
    const std::string map = store.storePath().string();
    auto r = test::runCli({"run", "clsIntAttribute", "--map", map, "--set", "chkMeasure=0"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[Interpolate Attributes] Process completed successfully!\n");
    test::InstalledHost host(MapDocument::open(map));
    // The first segment stored is the last along the chain (midpoint 2850).
    EXPECT_EQ(test::storedValue(host.featureLayer("CenterlineSegments"), 1, "Depth"),
              FieldValue(7.7));
}

}  // namespace
}  // namespace ondu
