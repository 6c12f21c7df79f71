#include "framework/map_helpers.h"

#include <gtest/gtest.h>

#include "framework/geometry/curve.h"
#include "framework/shared_state.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using channel::ShapeKind;
using test::InstalledHost;
using test::LayerSpec;
using test::TempMap;

const ControlDecl kListDecl{"cmbLayer", ControlKind::List};

std::vector<LayerSpec> sampleLayers() {
    return {
        {.name = "Centerline",
         .fields = {{"RiverName", FieldType::String}, {"Width", FieldType::Double}},
         .features = {{"LINESTRING (0 0,10 0)", {"Bald Eagle", 4.0}},
                      {"LINESTRING (10 0,20 0)", {"Spring", 2.0}},
                      {"LINESTRING (20 0,30 0)", {"Bald Eagle", 4.0}}}},
        {.name = "Thalweg", .hasZ = true},
        {.name = "Reach", .hasM = true},
        {.name = "CrossSections", .hasZ = true, .hasM = true},
        {.name = "Gauges", .shape = ShapeType::Point},
        {.name = "ChannelBoundary", .shape = ShapeType::Polygon},
        {.name = "Banks"},
        {.name = "Flows",
         .shape = ShapeType::Null,
         .fields = {{"ReachID", FieldType::String}},
         .features = {{"", {"B"}}, {"", {"A"}}, {"", {"B"}}, {"", {}}, {"", {"C"}}}},
    };
}

class MapHelpers : public ::testing::Test {
protected:
    /// The sample layers in their own order, or a map assembled by the test.
    InstalledHost& host(std::unique_ptr<MapDocument> map = nullptr) {
        host_.reset();  // uninstalls the earlier host before the new one installs itself
        host_ = std::make_unique<InstalledHost>(map ? std::move(map) : store_.openMap());
        return *host_;
    }
    std::unique_ptr<MapDocument> mapOf(
        const std::vector<std::pair<std::string, std::string>>& nameAndTable) const {
        auto map = std::make_unique<MapDocument>();
        for (const auto& [name, table] : nameAndTable)
            map->addFeatureLayer(name, store_.storePath().string(), table);
        return map;
    }
    std::vector<std::string> fill(ShapeKind kind, bool needZ, bool needM,
                                  const std::string& defaultName = "") {
        maputil::FillComboBox(g_pMxDoc, g_pMxDoc->focusMap().layerCount(), list_, kind, needZ,
                              needM, defaultName);
        return list_.items;
    }
    void expectOneMessage(const std::string& text, const std::string& title) const {
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].text, text);
        EXPECT_EQ(ui_.messages[0].title, title);
        EXPECT_EQ(ui_.messages[0].buttons, MsgButtons::OK);
    }

    test::RecordingUI ui_;
    TempMap store_{sampleLayers()};
    std::unique_ptr<InstalledHost> host_;
    Control list_{&kListDecl};
};

TEST_F(MapHelpers, FillComboBoxFiltersByShapeKindAndZM) {
    host();
    using V = std::vector<std::string>;
    EXPECT_EQ(fill(ShapeKind::Polyline, false, false),
              (V{"Centerline", "Thalweg", "Reach", "CrossSections", "Banks"}));
    EXPECT_EQ(fill(ShapeKind::Polyline, true, false), (V{"Thalweg", "CrossSections"}));
    EXPECT_EQ(fill(ShapeKind::Polyline, false, true), (V{"Reach", "CrossSections"}));
    EXPECT_EQ(fill(ShapeKind::Polyline, true, true), (V{"CrossSections"}));
    EXPECT_EQ(fill(ShapeKind::Point, false, false), (V{"Gauges"}));
    EXPECT_EQ(fill(ShapeKind::Polygon, false, false), (V{"ChannelBoundary"}));
    EXPECT_TRUE(fill(static_cast<ShapeKind>(7), false, false).empty());
    EXPECT_EQ(list_.text, "");
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MapHelpers, FillComboBoxProposesTheExactDefaultOnly) {
    host(mapOf({{"centerline", "centerline"}, {"Thalweg", "Thalweg"}, {"Thalweg", "Reach"}}));
    EXPECT_EQ(fill(ShapeKind::Polyline, false, false, "Centerline").size(), 3u);
    EXPECT_EQ(list_.text, "centerline");  // differs in case only: not the default
    fill(ShapeKind::Polyline, false, false, "Thalweg");
    EXPECT_EQ(list_.text, "Thalweg");
    fill(ShapeKind::Polyline, false, false, "");
    EXPECT_EQ(list_.text, "centerline");
}

TEST_F(MapHelpers, FillComboBoxOnAnEmptyMapShowsEmptyText) {
    host(std::make_unique<MapDocument>());
    list_.text = "stale";
    EXPECT_TRUE(fill(ShapeKind::Polyline, false, false, "Centerline").empty());
    EXPECT_EQ(list_.text, "");
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MapHelpers, BrokenLayerIsSkippedForLinesButFailsPointAndPolygonLists) {
    auto map = mapOf({{"Gauges", "Gauges"}, {"Centerline", "Centerline"}});
    map->addFeatureLayer("Lost", (store_.folder() / "missing.gpkg").string(), "Lost");
    map->addFeatureLayer("Boundary", store_.storePath().string(), "ChannelBoundary");
    host(std::move(map));
    EXPECT_EQ(fill(ShapeKind::Polyline, false, false), std::vector<std::string>{"Centerline"});
    EXPECT_TRUE(ui_.messages.empty());
    using Expected = std::pair<ShapeKind, std::vector<std::string>>;
    for (const auto& [kind, filledSoFar] :
         {Expected{ShapeKind::Point, {"Gauges"}}, Expected{ShapeKind::Polygon, {}}}) {
        ui_.messages.clear();
        EXPECT_EQ(fill(kind, false, false, "Gauges"), filledSoFar);
        expectOneMessage("Following error occured: Object variable or With block variable not set.",
                         "Error in FillComboBox, Error Number: 91");
        EXPECT_EQ(list_.text, "");  // the failure comes before an entry is shown
    }
}

TEST_F(MapHelpers, FillFieldComboBoxListsEveryFieldInOrder) {
    IFeatureLayer* centerline = host().featureLayer("Centerline");
    maputil::FillFieldComboBox(centerline, list_, "Width");
    EXPECT_EQ(list_.items, (std::vector<std::string>{"fid", "geom", "RiverName", "Width"}));
    EXPECT_EQ(list_.text, "Width");
    maputil::FillFieldComboBox(centerline, list_, "width");
    EXPECT_EQ(list_.text, "fid");
}

TEST_F(MapHelpers, SurfaceListsAndLookups) {
    auto map = mapOf({{"Terrain", "Centerline"}});
    map->addSurfaceLayer("Terrain", LayerKind::Raster, "/data/dem.tif");
    map->addSurfaceLayer("Bed", LayerKind::Tin, "/data/bed.gpkg");
    host(std::move(map));
    maputil::FillSurfaceComboBox(g_pMxDoc, 3, list_);
    EXPECT_EQ(list_.items, (std::vector<std::string>{"Terrain", "Bed"}));
    EXPECT_EQ(list_.text, "Terrain");
    // Feature layers take no part in the surface lookup, even ahead of the surface.
    ILayer* terrain = maputil::SelectSurfaceLayer(g_pMxDoc, "Terrain");
    ASSERT_NE(terrain, nullptr);
    EXPECT_EQ(terrain->kind(), LayerKind::Raster);
    EXPECT_EQ(maputil::SelectSurfaceLayer(g_pMxDoc, "Nowhere"), nullptr);
    EXPECT_TRUE(ui_.messages.empty());

    maputil::FillSurfaceComboBox(nullptr, 1, list_);
    expectOneMessage("Object variable or With block variable not set",
                     "Add surface layer to combobox");
    ui_.messages.clear();
    EXPECT_EQ(maputil::SelectSurfaceLayer(nullptr, "Terrain"), nullptr);
    expectOneMessage("Following error occured: Object variable or With block variable not set.",
                     "Error in SelectRasterLayer, Error Number: 91");
}

TEST_F(MapHelpers, RasterListsAndLookupsPassOverOtherLayers) {
    auto map = mapOf({{"Terrain", "Centerline"}});
    map->addSurfaceLayer("Bed", LayerKind::Tin, "/data/bed.gpkg");
    map->addSurfaceLayer("Terrain", LayerKind::Raster, "/data/dem.tif");
    map->addSurfaceLayer("Depth", LayerKind::Raster, "/data/depth.tif");
    host(std::move(map));
    list_.enabled = false;
    maputil::FillRasterComboBox(g_pMxDoc, list_);
    EXPECT_EQ(list_.items, (std::vector<std::string>{"Terrain", "Depth"}));
    EXPECT_EQ(list_.text, "Terrain");
    EXPECT_TRUE(list_.enabled);
    EXPECT_EQ(maputil::SelectRasterLayer(g_pMxDoc, "Terrain"), &g_pMxDoc->focusMap().layer(2));
    EXPECT_EQ(maputil::SelectRasterLayer(g_pMxDoc, "Bed"), nullptr);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(maputil::SelectRasterLayer(nullptr, "Terrain"), nullptr);
    expectOneMessage("Following error occured: Object variable or With block variable not set.",
                     "Error in SelectRasterLayer, Error Number: 91");

    host(std::make_unique<MapDocument>());
    list_.enabled = false;
    maputil::FillRasterComboBox(g_pMxDoc, list_);
    EXPECT_FALSE(list_.enabled);  // an empty map leaves the list as it was
    EXPECT_EQ(list_.text, "");
}

TEST_F(MapHelpers, SelectLayerTakesTheFirstOfTheExactName) {
    auto map = mapOf({{"Centerline", "Centerline"}, {"Centerline", "Thalweg"}});
    map->addSurfaceLayer("Terrain", LayerKind::Raster, "/data/dem.tif");
    map->addFeatureLayer("Terrain", store_.storePath().string(), "Reach");
    host(std::move(map));
    EXPECT_EQ(maputil::SelectLayer(g_pMxDoc, "Centerline"), &g_pMxDoc->focusMap().layer(0));
    EXPECT_EQ(maputil::SelectLayer(g_pMxDoc, "centerline"), nullptr);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(maputil::SelectLayer(g_pMxDoc, "Terrain"), nullptr);
    expectOneMessage("Following error occured: Type mismatch.",
                     "Error in SelectLayer, Error Number: 13");
}

TEST_F(MapHelpers, CursorAndLookupKeepToTheSelection) {
    IFeatureLayer* centerline = host().featureLayer("Centerline");
    std::vector<FeaturePtr> all;
    for (auto cursor = maputil::GetFeatureCursor(centerline); auto f = cursor->nextFeature();)
        all.push_back(std::move(f));
    ASSERT_EQ(all.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(all[i]->OID(), i + 1);  // kept, not recycled

    const FieldValue four = 4.0;
    EXPECT_EQ(maputil::GetFeatureByValue(centerline, "Width", four)->OID(), 1);
    centerline->selectionSet().add(2);
    EXPECT_EQ(maputil::GetSelectionCount(centerline), 1);
    auto cursor = maputil::GetFeatureCursor(centerline);
    EXPECT_EQ(cursor->nextFeature()->OID(), 2);
    EXPECT_EQ(cursor->nextFeature(), nullptr);
    EXPECT_EQ(maputil::GetFeatureByValue(centerline, "Width", four), nullptr);
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MapHelpers, LookupFailureShowsItsCondition) {
    auto map = std::make_unique<MapDocument>();
    map->addFeatureLayer("Lost", (store_.folder() / "missing.gpkg").string(), "Lost");
    IFeatureLayer* lost = host(std::move(map)).featureLayer("Lost");
    EXPECT_EQ(maputil::GetFeatureByValue(lost, "FromLine", channel::kNoLink), nullptr);
    expectOneMessage("FromLine = -9999", "");
}

TEST_F(MapHelpers, UniqueValuesInFirstOccurrenceAndNullsLeftOut) {
    host();
    ITable& flows = g_pMxDoc->focusMap().table(0);
    std::vector<FieldValue> values{FieldValue{"earlier"}};
    maputil::GetUniqueValues(&flows, "ReachID", values);
    EXPECT_EQ(values, (std::vector<FieldValue>{"B", "A", "C"}));

    IFeatureLayer* thalweg = host_->featureLayer("Thalweg");
    maputil::AddField(thalweg, "Station", FieldType::Double);
    values = {FieldValue{"earlier"}};
    maputil::GetUniqueValues(thalweg->featureClass(), "Station", values);  // no rows at all
    EXPECT_EQ(values, std::vector<FieldValue>{"earlier"});
    EXPECT_THROW(maputil::GetUniqueValues(&flows, "Nothing", values), HostError);
}

TEST_F(MapHelpers, AddFieldAndZFlags) {
    host();
    IFeatureLayer* centerline = host_->featureLayer("Centerline");
    maputil::AddField(centerline, "FromLine", FieldType::Integer);
    maputil::AddField(centerline, "ReachName", FieldType::String);
    IFeatureClass& cls = *centerline->featureClass();
    EXPECT_EQ(cls.field(cls.findField("FromLine")).type, FieldType::Integer);
    EXPECT_EQ(cls.field(cls.findField("ReachName")).type, FieldType::String);
    EXPECT_FALSE(maputil::HasZValues(centerline));
    EXPECT_TRUE(maputil::HasZValues(host_->featureLayer("Thalweg")));
    EXPECT_TRUE(maputil::HasZValues(host_->featureLayer("CrossSections")));
    EXPECT_FALSE(maputil::HasZValues(host_->featureLayer("Reach")));
}

TEST_F(MapHelpers, EditSessionFollowsTheEditor) {
    EXPECT_FALSE(maputil::EditSession());
    expectOneMessage("Following error occured: Object variable or With block variable not set.",
                     "Error in EditSession, Error Number: 91");
    host();
    EXPECT_FALSE(maputil::EditSession());
    host_->app().editor().startEditing();
    EXPECT_TRUE(maputil::EditSession());
    host_->app().editor().stopEditing(false);
    EXPECT_EQ(ui_.messages.size(), 1u);
}

TEST(SetLineMs, InterpolatesByDistanceEitherWay) {
    // Uneven vertex spacing: the vertex halfway along the length is the third one.
    Polyline line(Path{{0, 0}, {10, 0}, {50, 0}, {50, 50}});
    maputil::SetLineMs(line, 0, 100);
    ASSERT_TRUE(line.mAware);
    const Path& path = line.paths[0];
    EXPECT_DOUBLE_EQ(path[0].m, 0);
    EXPECT_DOUBLE_EQ(path[1].m, 10);
    EXPECT_DOUBLE_EQ(path[2].m, 50);
    EXPECT_DOUBLE_EQ(path[3].m, 100);
    maputil::SetLineMs(line, 250, 0);
    EXPECT_DOUBLE_EQ(line.paths[0][2].m, 125);
    EXPECT_DOUBLE_EQ(line.paths[0][3].m, 0);
}

}  // namespace
}  // namespace ondu
