#include "preprocessing/trapezoidal_sections.h"

#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

/// Centerline features along +X from x0 to x0 + 100, with elevation, width, depth and slope.
test::FeatureSpec channel(double x0, FieldValue elev, FieldValue width, FieldValue depth,
                          FieldValue slope) {
    return {"LINESTRING (" + std::to_string(x0) + " 0," + std::to_string(x0 + 100) + " 0)",
            {elev, width, depth, slope}};
}

test::LayerSpec centerline(std::vector<test::FeatureSpec> features) {
    return {.name = "Centerline",
            .fields = {{"BotElev", FieldType::Double},
                       {"BotWidth", FieldType::Double},
                       {"Depth", FieldType::Double},
                       {"Slope", FieldType::Double}},
            .features = std::move(features)};
}

const test::LayerSpec kSections{.name = "CrossSections", .hasZ = true};

class TrapezoidalDialog : public test::DialogTest<frmTrapezoidalCS> {
protected:
    std::vector<test::StoredFeature> runOn(std::vector<test::FeatureSpec> features,
                                           StoreFormat format = StoreFormat::GeoPackage,
                                           std::vector<long long> selected = {}) {
        store = std::make_unique<test::TempMap>(
            std::vector<test::LayerSpec>{centerline(std::move(features)), kSections}, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        for (long long id : selected) host->featureLayer("Centerline")->selectionSet().add(id);
        openDialog().pressOk();
        return test::storedFeatures(host->featureLayer("CrossSections"));
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(TrapezoidalDialog, VerticesLieAcrossTheMiddleFromLeftToRight) {
    struct Case {
        const char* name;
        double width;
        std::vector<Point> expected;
    };
    // Looking along +X, the left bank lies at +Y.
    const Case cases[] = {
        {"trapezoid", 20, {{50, 18, 104}, {50, 10, 100}, {50, -10, 100}, {50, -18, 104}}},
        {"triangle", 0, {{50, 8, 104}, {50, 0, 100}, {50, 0, 100}, {50, -8, 104}}},
    };
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            auto sections = runOn({channel(0, 100.0, c.width, 4.0, 0.5)}, format);
            ASSERT_EQ(sections.size(), 1u);
            const auto vertices = allVertices(sections[0].shape);
            ASSERT_EQ(vertices.size(), 4u);
            for (std::size_t i = 0; i < 4; ++i) {
                EXPECT_NEAR(vertices[i].x, c.expected[i].x, 1e-9);
                EXPECT_NEAR(vertices[i].y, c.expected[i].y, 1e-9);
                EXPECT_DOUBLE_EQ(vertices[i].z, c.expected[i].z);
            }
            EXPECT_EQ(ui.messageLines(),
                      std::vector<std::string>{"[Process complete] Trapezoidal cross-sections "
                                               "created successfully!\n1 cross-sections built."});
            host.reset();
            ui.messages.clear();
            Forms::reset();
        }
    }
}

TEST_F(TrapezoidalDialog, FeaturesThatMakeNoSectionAreSkippedByName) {
    auto sections = runOn({channel(0, 100.0, 20.0, 4.0, 0.0), channel(200, 100.0, 20.0, 4.0, 0.5),
                           channel(400, 100.0, FieldValue{}, 4.0, 0.5),
                           channel(600, 100.0, 20.0, 4.0, 1e-320)});
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_NEAR(allVertices(sections[0].shape)[0].x, 250, 1e-9);
    EXPECT_EQ(ui.messageLines(),
              (std::vector<std::string>{
                  "[Trapezoidal cross-sections] No cross-section for feature 1 of Centerline: the "
                  "side slope is 0",
                  "[Trapezoidal cross-sections] No cross-section for feature 3 of Centerline: "
                  "BotWidth holds no number",
                  "[Trapezoidal cross-sections] No cross-section for feature 4 of Centerline: its "
                  "values give coordinates that are no finite numbers",
                  "[Process complete] Trapezoidal cross-sections created successfully!\n1 "
                  "cross-sections built, 3 skipped."}));
}

TEST_F(TrapezoidalDialog, OnlySelectedFeaturesGetSections) {
    auto sections = runOn({channel(0, 100.0, 20.0, 4.0, 0.5), channel(200, 90.0, 20.0, 4.0, 0.5)},
                          StoreFormat::GeoPackage, {2});
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_DOUBLE_EQ(allVertices(sections[0].shape)[1].z, 90);
}

TEST_F(TrapezoidalDialog, ChoosingAnotherLayerRefillsTheFieldsWithTheSameDefaults) {
    store = std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{
        {.name = "Other", .fields = {{"Slope", FieldType::Double}, {"A", FieldType::Double}}},
        centerline({}),
        kSections});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    auto& form = openDialog();
    EXPECT_EQ(form.control("cmbInput").text, "Centerline");
    EXPECT_EQ(form.control("cmbBottomWidth").text, "BotWidth");
    form.choose("cmbInput", "Other");
    EXPECT_EQ(form.control("cmbSideSlope").text, "Slope");
    EXPECT_EQ(form.control("cmbBottomElev").text, "Slope");  // the first real field, not the key
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] No features to process in Other"});
    EXPECT_TRUE(form.isLoaded());
}

TEST(TrapezoidalCommandLine, BuildsSectionsIntoAShapefileFolder) {
    test::TempMap store({centerline({channel(0, 100.0, 20.0, 4.0, 0.5)}), kSections},
                        StoreFormat::Shapefile);
    auto r = test::runCli({"run", "clsTrapezoidalCS", "--map", store.storePath().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(store.openMap());
    EXPECT_EQ(test::storedFeatures(host.featureLayer("CrossSections")).size(), 1u);
}

}  // namespace
}  // namespace ondu
