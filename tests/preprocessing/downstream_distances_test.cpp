#include "preprocessing/downstream_distances.h"

#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

test::LayerSpec sections(FieldType reachType, std::vector<std::pair<FieldValue, FieldValue>> rows) {
    test::LayerSpec layer{.name = "CrossSections",
                          .hasZ = true,
                          .fields = {{"ReachName", reachType}, {"StationNo", FieldType::Double}}};
    for (auto& [reach, station] : rows)
        layer.features.push_back({"LINESTRING Z (0 0 1,1 1 1)", {reach, station}});
    return layer;
}

class DistanceDialog : public test::DialogTest<frmAssignDnDs> {
protected:
    std::vector<FieldValue> runOn(test::LayerSpec layer,
                                  StoreFormat format = StoreFormat::GeoPackage) {
        store = std::make_unique<test::TempMap>(std::vector{layer}, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        openDialog().pressOk();
        std::vector<FieldValue> distances;
        for (const auto& f : test::storedFeatures(host->featureLayer("CrossSections")))
            distances.push_back(f["DistanceDS"]);
        return distances;
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(DistanceDialog, EachSectionTakesTheGapToTheNextLowerStationOfItsReach) {
    using V = std::vector<FieldValue>;
    struct Case {
        const char* name;
        FieldType reachType;
        std::vector<std::pair<FieldValue, FieldValue>> rows;
        V expected;
    };
    const Case cases[] = {
        {"0, 150, 400 listed out of order",
         FieldType::String,
         {{"A", 400.0}, {"A", 0.0}, {"A", 150.0}},
         V{250.0, 0.0, 150.0}},
        {"one section", FieldType::String, {{"A", 75.0}}, V{0.0}},
        {"reaches sharing stations",
         FieldType::String,
         {{"A", 0.0}, {"B", 0.0}, {"A", 10.0}, {"B", 30.0}},
         V{0.0, 0.0, 10.0, 30.0}},
        {"equal stations",
         FieldType::String,
         {{"A", 0.0}, {"A", 5.0}, {"A", 5.0}},
         V{0.0, 5.0, 0.0}},
        {"numeric reaches 10 and 9 apart from text order",
         FieldType::Integer,
         {{10LL, 0.0}, {9LL, 4.0}, {10LL, 3.0}, {9LL, 1.0}},
         V{0.0, 3.0, 3.0, 0.0}},
        {"a section without reach is left alone",
         FieldType::String,
         {{FieldValue{}, 5.0}, {"A", 1.0}},
         V{FieldValue{}, 0.0}},
    };
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(runOn(sections(c.reachType, c.rows), format), c.expected);
            EXPECT_EQ(ui.messageLines().back(),
                      "[Assign downstream distances to cross-sections] Downstream distances "
                      "assigned to all cross-sections successfully!");
            host.reset();
            Forms::reset();
        }
    }
}

TEST_F(DistanceDialog, ASectionWithoutStationStopsTheRunByName) {
    runOn(sections(FieldType::String, {{"A", 1.0}, {"A", FieldValue{}}}));
    EXPECT_EQ(ui.messages.back().title, "Error in assigning d/s distance (Main)");
    EXPECT_EQ(ui.messages.back().text, "94: Invalid use of Null (StationNo)");
    EXPECT_TRUE(Forms::anyLoaded());
}

TEST_F(DistanceDialog, FieldListsProposeTheFirstRealFieldForAnotherLayer) {
    store = std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{
        sections(FieldType::String, {}),
        {.name = "Other", .hasZ = true, .fields = {{"StationNo", FieldType::Double}}}});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    auto& form = openDialog();
    EXPECT_EQ(form.control("cmbRchField").text, "ReachName");
    EXPECT_EQ(form.control("cmbMsField").text, "StationNo");
    form.choose("cmbCrossSections", "Other");
    EXPECT_EQ(form.control("cmbMsField").text, "StationNo");  // the first real field, not the key
}

TEST(DistanceCommandLine, DistancesFromTheCommandLine) {
    test::TempMap store({sections(FieldType::String, {{"A", 400.0}, {"A", 0.0}, {"A", 150.0}})});
    auto r = test::runCli({"run", "clsAssignDnDs", "--map", store.storePath().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(store.openMap());
    EXPECT_EQ(test::storedValue(host.featureLayer("CrossSections"), 1, "DistanceDS"),
              FieldValue(250.0));
}

}  // namespace
}  // namespace ondu
