#include "preprocessing/hecras_reach.h"

#include <gtest/gtest.h>

#include "framework/geometry/geometry.h"
#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

test::FeatureSpec segment(const std::string& wkt, const std::string& river,
                          const std::string& reach) {
    return {wkt, {river, reach}};
}

/// Segments listed out of chain order, so that only the links put them in order.
std::vector<test::FeatureSpec> threePairs(const std::string& riverA = "A",
                                          const std::string& reach1 = "1") {
    return {segment("LINESTRING Z (10 0 1,20 0 2)", riverA, reach1),
            segment("LINESTRING Z (0 10 1,10 10 2)", "B", "1"),
            segment("LINESTRING Z (0 0 0,10 0 1)", riverA, reach1),
            segment("LINESTRING Z (20 0 2,30 0 3)", riverA, "2")};
}

test::LayerSpec centerline(std::vector<test::FeatureSpec> features) {
    return {.name = "CenterLine",
            .hasZ = true,
            .fields = {{"RiverName", FieldType::String}, {"ReachName", FieldType::String}},
            .features = std::move(features)};
}

test::LayerSpec reachLayer(bool z = true) { return {.name = "Reach", .hasZ = z, .hasM = true}; }

std::vector<double> xs(const Geometry& shape) {
    std::vector<double> result;
    for (const Point& p : allVertices(shape)) result.push_back(p.x);
    return result;
}

class HecReachDialog : public test::DialogTest<frmCreateHECReach> {
protected:
    std::vector<test::StoredFeature> runOn(std::vector<test::LayerSpec> layers,
                                           StoreFormat format = StoreFormat::GeoPackage,
                                           const std::vector<long long>& selected = {}) {
        store = std::make_unique<test::TempMap>(layers, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        for (long long id : selected) host->featureLayer("CenterLine")->selectionSet().add(id);
        openDialog().pressOk();
        return test::storedFeatures(host->featureLayer("Reach"));
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(HecReachDialog, OneLinePerRiverAndReachJoinedInChainOrderInBothStores) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        SCOPED_TRACE(format == StoreFormat::GeoPackage ? "GeoPackage" : "Shapefile");
        auto reaches = runOn({centerline(threePairs()), reachLayer()}, format);
        ASSERT_EQ(reaches.size(), 3u);
        EXPECT_EQ(reaches[0]["RiverName"], FieldValue("A"));
        EXPECT_EQ(reaches[0]["ReachName"], FieldValue("1"));
        EXPECT_EQ(xs(reaches[0].shape), (std::vector<double>{0, 10, 10, 20}));
        EXPECT_EQ(allVertices(reaches[0].shape)[3].z, 2);
        EXPECT_EQ(reaches[1]["ReachName"], FieldValue("2"));
        EXPECT_EQ(reaches[2]["RiverName"], FieldValue("B"));
        EXPECT_EQ(ui.messageLines(),
                  std::vector<std::string>{"[] HEC-RAS reach created successfully!"});
        EXPECT_FALSE(Forms::anyLoaded());
        // The selection holds the last pair's segment.
        EXPECT_EQ(host->featureLayer("CenterLine")->selectionSet().count(), 1);
        host.reset();
        ui.messages.clear();
        Forms::reset();
    }
}

TEST_F(HecReachDialog, QuotesAndSqlInNamesNeitherBreakNorWidenTheSelection) {
    const std::string river = "O'Brien Creek", reach = "x' OR '1'='1";
    auto reaches = runOn({centerline(threePairs(river, reach)), reachLayer()});
    ASSERT_EQ(reaches.size(), 3u);
    EXPECT_EQ(reaches[0]["RiverName"], FieldValue(river));
    EXPECT_EQ(reaches[0]["ReachName"], FieldValue(reach));
    EXPECT_EQ(xs(reaches[0].shape), (std::vector<double>{0, 10, 10, 20}));
    EXPECT_EQ(xs(reaches[1].shape), (std::vector<double>{20, 30}));
}

TEST_F(HecReachDialog, SelectionChoosesRiversButEveryReachOfThemIsJoinedWhole) {
    // Segment 3 (river A, reach 1) alone is selected.
    auto reaches = runOn({centerline(threePairs()), reachLayer()}, StoreFormat::GeoPackage, {3});
    ASSERT_EQ(reaches.size(), 2u);
    EXPECT_EQ(xs(reaches[0].shape), (std::vector<double>{0, 10, 10, 20}));
    EXPECT_EQ(reaches[1]["ReachName"], FieldValue("2"));
}

TEST_F(HecReachDialog, ZIsKeptOnlyWhenBothLayersCarryIt) {
    auto reaches = runOn({centerline(threePairs()), reachLayer(false)});
    ASSERT_EQ(reaches.size(), 3u);
    EXPECT_FALSE(hasZ(reaches[0].shape));
    EXPECT_TRUE(hasM(reaches[0].shape));
}

TEST_F(HecReachDialog, RunningTwiceAppendsAndSegmentsWithoutNamesBelongToNoPair) {
    auto layers =
        std::vector<test::LayerSpec>{centerline({segment("LINESTRING Z (0 0 0,10 0 1)", "A", "1"),
                                                 {"LINESTRING Z (50 0 0,60 0 1)", {}}}),
                                     reachLayer()};
    runOn(layers);
    Forms::reset();
    openDialog().pressOk();
    auto reaches = test::storedFeatures(host->featureLayer("Reach"));
    ASSERT_EQ(reaches.size(), 2u);
    EXPECT_EQ(xs(reaches[1].shape), (std::vector<double>{0, 10}));
}

TEST_F(HecReachDialog, ABrokenChainNamesItsPairAndTheDialogStays) {
    auto reaches = runOn({centerline({segment("LINESTRING Z (0 0 0,10 0 1)", "A", "1"),
                                      segment("LINESTRING Z (50 0 0,60 0 1)", "A", "1")}),
                          reachLayer()});
    EXPECT_TRUE(reaches.empty());
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().title, "Error in CreateHECReach (Main)");
    EXPECT_NE(ui.messages.back().text.find("(river 'A', reach '1')"), std::string::npos);
    EXPECT_TRUE(Forms::anyLoaded());
}

TEST_F(HecReachDialog, ListsOfferMeasuredReachLayersAndWarnWhenNoneIs) {
    store = std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{
        centerline({}), {.name = "Other", .fields = {{"River", FieldType::String}}}});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    auto& form = openDialog();
    EXPECT_EQ(form.control("cmbRiver").text, "RiverName");
    EXPECT_TRUE(form.control("cmbOutput").items.empty());
    form.choose("cmbInput", "Other");
    EXPECT_EQ(form.control("cmbRiver").text, "River");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{"[Warning] No layer selected for reach"});
    EXPECT_TRUE(form.isLoaded());
}

TEST(HecReachCommandLine, WritesTheReachesIntoTheGeoPackage) {
    test::TempMap store({centerline(threePairs()), reachLayer()});
    auto r = test::runCli({"run", "clsCreateHECReach", "--map", store.storePath().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[] HEC-RAS reach created successfully!\n");
    test::InstalledHost host(store.openMap());
    EXPECT_EQ(test::storedFeatures(host.featureLayer("Reach")).size(), 3u);
}

}  // namespace
}  // namespace ondu
