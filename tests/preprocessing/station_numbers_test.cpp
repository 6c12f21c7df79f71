#include "preprocessing/station_numbers.h"

#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

/// Two reaches meeting at (1000 0); measures grow upstream, against the digitised direction.
test::LayerSpec reaches(FieldType idType = FieldType::String) {
    const bool text = idType == FieldType::String;
    return {
        .name = "Reach",
        .hasM = true,
        .fields = {{"ReachName", idType}},
        .features = {{"LINESTRING M (0 0 2000,1000 0 1000)", {text ? FieldValue("Upper") : 7LL}},
                     {"LINESTRING M (1000 0 1000,2000 0 0)", {text ? FieldValue("Lower") : 8LL}}}};
}

test::FeatureSpec section(double x) {
    const std::string xs = std::to_string(x);
    return {"LINESTRING Z (" + xs + " 50 10," + xs + " -50 10)", {}};
}

test::LayerSpec sections(std::vector<test::FeatureSpec> features) {
    return {.name = "CrossSections", .hasZ = true, .features = std::move(features)};
}

class StationDialog : public test::DialogTest<frmAssignStnNotoCS> {
protected:
    std::vector<test::StoredFeature> runOn(std::vector<test::LayerSpec> layers,
                                           StoreFormat format = StoreFormat::GeoPackage,
                                           std::vector<long long> selected = {}) {
        store = std::make_unique<test::TempMap>(layers, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        for (long long id : selected) host->featureLayer("CrossSections")->selectionSet().add(id);
        openDialog().pressOk();
        return test::storedFeatures(host->featureLayer("CrossSections"));
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(StationDialog, StationIsTheReachMeasureWhereTheSectionCrossesIt) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        // The section at the junction meets both reaches: the first reach by id wins.
        auto result = runOn(
            {reaches(), sections({section(250), section(1000), section(1999.99995)})}, format);
        ASSERT_EQ(result.size(), 3u);
        EXPECT_EQ(result[0]["StationNo"], FieldValue(1750.0));
        EXPECT_EQ(result[0]["ReachName"], FieldValue("Upper"));
        EXPECT_EQ(result[1]["StationNo"], FieldValue(1000.0));
        EXPECT_EQ(result[1]["ReachName"], FieldValue("Upper"));
        // Rounded to four decimals as measures are read.
        EXPECT_EQ(result[2]["StationNo"], FieldValue(0.0001));
        EXPECT_EQ(result[2]["ReachName"], FieldValue("Lower"));
        EXPECT_EQ(ui.messageLines(),
                  std::vector<std::string>{"[Assign station numbers] Station numbers assigned "
                                           "successfully!"});
        EXPECT_EQ(ui.progress.steps, 3);
        host.reset();
        ui.messages.clear();
        ui.progress.steps = 0;
        Forms::reset();
    }
}

TEST_F(StationDialog, TheReachFieldIsCopiedWithItsTypeOnceAndRunsRepeatTheSameValues) {
    auto first = runOn({reaches(FieldType::Integer), sections({section(1500)})});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0]["ReachName"], FieldValue(8LL));
    Forms::reset();
    openDialog().pressOk();
    auto second = test::storedFeatures(host->featureLayer("CrossSections"));
    EXPECT_EQ(second[0].values, first[0].values);
}

TEST_F(StationDialog, OnlySelectedSectionsAreUpdated) {
    auto result = runOn({reaches(), sections({section(100), section(200), section(300)})},
                        StoreFormat::GeoPackage, {1, 3});
    EXPECT_EQ(ui.progress.maximum, 2);
    EXPECT_FALSE(isNull(result[0]["StationNo"]));
    EXPECT_TRUE(isNull(result[1]["StationNo"]));
}

TEST_F(StationDialog, ASectionCrossingNoReachEndsTheRunByName) {
    runOn({reaches(), sections({section(100), section(5000)})});
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().title, "Error in assiging station numbers (Main)");
    EXPECT_EQ(ui.messages.back().text,
              "91: Cross-section 2 of CrossSections crosses no reach of Reach");
    EXPECT_TRUE(Forms::anyLoaded());
}

TEST_F(StationDialog, EmptyChoicesWarnInOrder) {
    store = std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{
        {.name = "Flat", .fields = {{"HydroCode", FieldType::String}}}});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    auto& form = openDialog();
    EXPECT_TRUE(form.control("cmbCrossSection").items.empty());  // 3D layers only
    form.choose("cmbReach", "Flat");
    EXPECT_EQ(form.control("cmbField").text, "HydroCode");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] No layer selected for cross-sections"});
}

TEST(StationCommandLine, AFailedRunLeavesTheMapAsItWas) {
    test::TempMap store({reaches(), sections({section(100), section(5000)})});
    const std::string before = test::fingerprint(store.storePath());
    auto r = test::runCli({"run", "clsAssignStnNotoCS", "--map", store.storePath().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("crosses no reach"), std::string::npos) << r.err;
    EXPECT_EQ(test::fingerprint(store.storePath()), before);
}

}  // namespace
}  // namespace ondu
