#include "framework/host/map_document.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <sstream>

#include "framework/host/map_document_text.h"
#include "framework/host/ogr_geometry.h"
#include "framework/host/sample_river.h"
#include "framework/map_helpers.h"
#include "framework/surface_helpers.h"
#include "support/cli_runner.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

test::LayerSpec reach() {
    return {
        .name = "Reach",
        .fields = {{"ReachName", FieldType::String}},
        .features = {{"LINESTRING (0 0,10 0)", {"Upper"}}, {"LINESTRING (10 0,20 0)", {"Lower"}}}};
}

TEST(MapDocument, JsonDocumentListsLayersTablesAndSelectionsRelativeToItself) {
    test::TempMap store(
        {reach(),
         {.name = "FTable", .shape = ShapeType::Null, .fields = {{"WSE", FieldType::Double}}}});
    const std::string gpkg = store.storePath().filename().string();
    test::writeFile((store.folder() / "map.json").string(), R"({
        "name": "Bald Eagle",
        "layers": [
            {"name": "Reaches", "source": ")" + gpkg + R"(", "table": "Reach"},
            {"name": "Terrain", "kind": "raster", "source": "dem.tif"},
            {"name": "Gone", "source": "missing.gpkg", "table": "Reach"},
            {"name": "Reaches", "source": ")" + gpkg + R"(", "table": "Reach"}
        ],
        "tables": [{"name": "FTable", "source": ")" + gpkg + R"(", "table": "FTable"}],
        "selections": {"Reaches": [2]}
    })");
    auto map = MapDocument::open((store.folder() / "map.json").string());
    EXPECT_EQ(map->name(), "Bald Eagle");
    ASSERT_EQ(map->layerCount(), 4);
    EXPECT_EQ(map->layer(1).kind(), LayerKind::Raster);
    EXPECT_EQ(map->layer(2).asFeatureLayer()->featureClass(), nullptr);  // broken, but listed
    EXPECT_EQ(map->findLayer("Reaches"), &map->layer(0));                // first of the name
    EXPECT_EQ(map->layer(0).asFeatureLayer()->selectionSet().ids(), std::vector<long long>{2});
    EXPECT_EQ(map->layer(3).asFeatureLayer()->selectionSet().count(), 0);
    ASSERT_EQ(map->tableCount(), 1);
    EXPECT_EQ(map->table(0).featureCount(nullptr), 0);
    EXPECT_EQ(map->datasets().size(), 1u);  // one dataset, one edit transaction
}

TEST(MapDocument, SelectionSearchKeepsOnlySelectedFeaturesMeetingTheFilter) {
    test::TempMap store({reach()});
    auto map = store.openMap();
    IFeatureLayer& layer = *map->layer(0).asFeatureLayer();
    layer.selectionSet().add(2);
    layer.selectionSet().add(1);
    QueryFilter upper{.whereClause = "ReachName = 'Upper'"};
    auto cursor = layer.selectionSet().search(&upper);
    auto first = cursor->nextFeature();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->OID(), 1);
    EXPECT_EQ(cursor->nextFeature(), nullptr);
}

/// Writes one measured 3D line through the host classes into a new dataset of that driver and
/// reads it back.
Geometry roundTrip(const std::string& driverName, const std::string& path, const Geometry& shape) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName.c_str());
    {
        std::unique_ptr<GDALDataset> ds(
            driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        ds->CreateLayer("Thalweg", nullptr, wkbLineStringZM, nullptr);
    }
    {
        auto map = MapDocument::open(path);
        auto feature = map->layer(0).asFeatureLayer()->featureClass()->createFeature();
        feature->setShape(shape);
        feature->store();
    }
    auto map = MapDocument::open(path);
    auto cursor = map->layer(0).asFeatureLayer()->featureClass()->search(nullptr);
    return cursor->nextFeature()->shape();
}

TEST(MapDocument, ZAndMValuesSurviveEveryStoreBitForBit) {
    const Geometry shape = fromWkt(
        "LINESTRING ZM (0.1 0.2 100.123456789012 0.333333333333333,"
        "1e6 -2.5e-7 -3.75 12345.678901234567)");
    test::TempDir dir;
    for (const auto& [driver, file] :
         {std::pair{"GPKG", "t.gpkg"}, {"ESRI Shapefile", "t.shp"}, {"FlatGeobuf", "t.fgb"}}) {
        SCOPED_TRACE(driver);
        Geometry back = roundTrip(driver, dir.file(file), shape);
        auto in = allVertices(shape), out = allVertices(back);
        ASSERT_EQ(out.size(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            EXPECT_EQ(out[i].x, in[i].x);
            EXPECT_EQ(out[i].y, in[i].y);
            EXPECT_EQ(out[i].z, in[i].z);
            EXPECT_EQ(out[i].m, in[i].m);
        }
        EXPECT_TRUE(hasZ(back));
        EXPECT_TRUE(hasM(back));
    }
}

// ---- layers a run created ---------------------------------------------------------------------

class CreatedLayers : public ::testing::TestWithParam<test::StoreFormat> {};

// A second run replaces the first run's outputs: the map keeps one layer of each, reading the new
// data (the class object of a deleted class is never touched again).
TEST_P(CreatedLayers, JoinAfterTheMapsLayersOnceAndReadTheirReplacedSources) {
    test::TempMap store({reach()}, GetParam());
    auto map = store.openMap();
    IFeatureClass& reachClass = *map->layer(0).asFeatureLayer()->featureClass();
    auto rasters = openRasterWorkspace(store.folder().string());
    const std::string dem = (store.folder() / "dem.tif").string();
    const std::string bed = (store.folder() / "bed.gpkg").string();
    std::vector<Point> points = {{0, 0, 1}, {10, 0, 2}, {0, 10, 3}};
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        if (version == 2) {
            auto added = reachClass.createFeature();
            added->setShape(fromWkt("LINESTRING (20 0,30 0)"));
            added->store();
            maputil::DeleteFeatureClass(reachClass, "Reach_new");
            rasters->remove("dem");
            points.push_back({10, 10, 4});
        }
        auto copy = maputil::CopyFeatureClass(reachClass, "Reach_new");
        maputil::ShowCreatedClass(map.get(), *copy->featureClass());
        RasterSpec spec{.name = "dem", .columns = version, .rows = 2};
        rasters->createDataset(spec)->save();
        surfaceUtil::ShowCreatedSurface(map.get(), dem);
        createTin(points, {}, nullptr, "")->saveAs(bed);
        surfaceUtil::ShowCreatedSurface(map.get(), bed);

        std::vector<std::string> names;
        for (int i = 0; i < map->layerCount(); ++i) names.push_back(map->layer(i).name());
        EXPECT_EQ(names, (std::vector<std::string>{"Reach", "Reach_new", "dem", "bed"}));
        EXPECT_EQ(map->layer(1).asFeatureLayer()->featureClass()->featureCount(nullptr),
                  1 + version);
        EXPECT_EQ(map->layer(2).asRasterLayer()->raster()->columns(), version);
        EXPECT_EQ(map->layer(3).asTinLayer()->tin()->triangleCount(),
                  static_cast<std::size_t>(version));
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, CreatedLayers,
                         ::testing::Values(test::StoreFormat::GeoPackage,
                                           test::StoreFormat::Shapefile),
                         [](const auto& info) {
                             return info.param == test::StoreFormat::GeoPackage ? "GeoPackage"
                                                                                : "Shapefile";
                         });

// ---- through the command-line host -----------------------------------------------------------

// A GeoPackage opened directly lists its tables in the store's order (by name here).
TEST(LayersCommandLine, ListsEveryLayerWithItsShapeCountsAndSelection) {
    test::TempMap store(
        {reach(),
         {.name = "Thalweg", .hasZ = true},
         {.name = "Gauges", .shape = ShapeType::Point, .features = {{"POINT (1 2)", {}}}}});
    auto r = test::runCli({"layers", "--map", store.storePath().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "name\tkind\tshape\tZ/M\tfeatures\tselected\n"
              "Reach\tfeature\tpolyline\t-\t2\t0\n"
              "Gauges\tfeature\tpoint\t-\t1\t0\n"
              "Thalweg\tfeature\tpolyline\tZ\t0\t0\n");
    auto missing = test::runCli({"layers", "--map", store.folder().string() + "/nope.gpkg"});
    EXPECT_EQ(missing.exitCode, 2);
}

TEST(LayersCommandLine, ListsRastersWithTheirSizeAndTinsWithTheirTriangles) {
    test::TempMap store({reach()});
    RasterSpec spec;
    spec.name = "dem";
    spec.columns = 30;
    spec.rows = 20;
    spec.cellWidth = spec.cellHeight = 2.5;
    openRasterWorkspace(store.folder().string())->createDataset(spec)->save();
    createTin({{0, 0, 1}, {10, 0, 2}, {0, 10, 3}}, {}, nullptr, "")
        ->saveAs((store.folder() / "bed.gpkg").string());
    test::writeFile((store.folder() / "map.json").string(), R"({"layers": [
        {"name": "Terrain", "kind": "raster", "source": "dem.tif"},
        {"name": "Bed", "kind": "tin", "source": "bed.gpkg"},
        {"name": "Lost", "kind": "raster", "source": "lost.tif"},
        {"name": "Reach", "source": "store.gpkg"}]})");
    auto map = MapDocument::open((store.folder() / "map.json").string());
    ASSERT_NE(map->layer(1).asTinLayer(), nullptr);
    EXPECT_NEAR(map->layer(1).asTinLayer()->tin()->elevation(2, 2), 1.6, 1e-12);
    EXPECT_THROW(map->layer(2).asRasterLayer()->raster(), HostError);

    auto r = test::runCli({"layers", "--map", (store.folder() / "map.json").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "name\tkind\tshape\tZ/M\tfeatures\tselected\n"
              "Terrain\traster\t30 x 20 cells\tcell 2.5\t\t\n"
              "Bed\ttin\t1 triangles\t\t\t\n"
              "Lost\traster\t(missing data source)\t\t\t\n"
              "Reach\tfeature\tpolyline\t-\t2\t0\n");
}

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The class a run created beside its input is listed with the GeoPackage's other layers; the JSON
// document that named the run's inputs lists what it did before.
TEST(LayersCommandLine, AClassARunCreatedIsListedWithTheOthers) {
    test::TempDir dir;
    const SampleRiverOptions river{.length = 1000,
                                   .wavelength = 500,
                                   .amplitude = 60,
                                   .surveyPointCount = 0,
                                   .crossSectionSpacing = 250};
    const std::string gpkg = dir.file("river.gpkg"), map = dir.file("map.json");
    writeSampleRiver(gpkg, river);
    writeSampleValley(dir.file("valley.tif"), dir.file("valley-tin.gpkg"), river, 25);
    test::writeFile(map, R"({"layers": [
        {"name": "Sections", "source": "river.gpkg", "table": "SurveyCrossSections"},
        {"name": "Terrain", "kind": "raster", "source": "valley.tif"}]})");
    const auto storeBefore = test::runCli({"layers", "--map", gpkg});
    const auto mapBefore = test::runCli({"layers", "--map", map});

    const auto r = test::runCli({"run", "clsIntegrateCSwithTerrain", "--map", map, "--set",
                                 "chkNewTerrain=1", "--set", "txtNoProfileLines=4"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::vector<std::string> expected = sortedLines(storeBefore.out);
    for (const std::string& line : sortedLines(storeBefore.out))
        if (line.rfind("SurveyCrossSections\t", 0) == 0)
            expected.push_back("SurveyCrossSections_new" + line.substr(line.find('\t')));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedLines(test::runCli({"layers", "--map", gpkg}).out), expected);
    EXPECT_EQ(test::runCli({"layers", "--map", map}).out, mapBefore.out);
}

TEST(LayersCommandLine, SelectTakesAConditionOrIdentifiersForOneRun) {
    test::TempMap store({reach()});
    const std::string map = store.storePath().string();
    auto byCondition = test::runCli({"run", "clsExportSDFtoXML", "--map", map, "--select",
                                     "Reach=ReachName = 'Lower'", "--cancel"});
    EXPECT_EQ(byCondition.exitCode, 0) << byCondition.err;
    auto badLayer =
        test::runCli({"run", "clsExportSDFtoXML", "--map", map, "--select", "Nope=1", "--cancel"});
    EXPECT_EQ(badLayer.exitCode, 2);
    EXPECT_NE(badLayer.err.find("no feature layer Nope"), std::string::npos);
    auto badCondition = test::runCli(
        {"run", "clsExportSDFtoXML", "--map", map, "--select", "Reach=NoField = 1", "--cancel"});
    EXPECT_EQ(badCondition.exitCode, 2);
}

TEST(CatalogueCommandLine, PrintsCommandsAndToolbarInTheirFormats) {
    auto commands = test::runCli({"commands"});
    EXPECT_EQ(commands.exitCode, 0);
    EXPECT_EQ(std::count(commands.out.begin(), commands.out.end(), '\n'), 21);
    EXPECT_EQ(commands.out.substr(0, commands.out.find('\n')),
              "RUDAvuZIR.clsRUDAvuZIR\tCrossSectionsToXML_Tool\tCross-Sections to "
              "XML\tCross-Sections to XML\t"
              "Creates beta sections using thalweg location");
    auto toolbar = test::runCli({"toolbar"});
    EXPECT_EQ(toolbar.out.substr(0, toolbar.out.find("\n    -\n    Boundary")),
              "ONDU Toolbar\tRUDAvuZIR.clsONDU_XML_Toolbar\n"
              "  Basic ONDU\tRUDAvuZIR.clsONDU_Menu\n"
              "    -\n"
              "    Interpolate Attributes\tRUDAvuZIR.clsIntAttribute");
    EXPECT_NE(toolbar.out.find("    Assign (s,n) Coordinates to Points\tRUDAvuZIR.clsAssignSN\n"
                               "    -\n"
                               "    Assign Station Numbers\tRUDAvuZIR.clsAssignStnNotoCS\n"),
              std::string::npos);
}

TEST(MapDocumentText, BadDocumentsAreRefusedNamingTheDocument) {
    struct Case {
        const char* text;
        const char* says;
    };
    const Case cases[] = {
        {"not json", "parse error"},
        {"[1, 2]", "not a JSON object"},
        {R"({"layers": 5})", "type_error"},
        {R"({"layers": [{"source": "a.gpkg"}]})", "out_of_range"},
        {R"({"layers": [{"name": 3, "source": "a.gpkg"}]})", "type_error"},
        {R"({"layers": [{"name": "A", "source": "a.tif", "kind": "grid"}]})",
         "unknown layer kind \"grid\""},
        {R"({"selections": {"A": [1.5]}})", "holds 1.5, which is no object id"},
        {R"({"selections": {"A": ["x"]}})", "holds \"x\", which is no object id"},
        {R"({"selections": {"A": 7}})", "type_error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            readMapDocumentText(c.text, "maps", "m.json");
            ADD_FAILURE() << "accepted";
        } catch (const HostError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("cannot read map document m.json: ", 0), 0u) << what;
            EXPECT_NE(what.find(c.says), std::string::npos) << what;
        }
    }
}

TEST(MapDocumentText, SourcesAreResolvedAgainstTheDocumentsFolder) {
    const auto text = readMapDocumentText(
        R"({"name": "N", "layers": [{"name": "A", "source": "../data/a.gpkg", "table": "T"},
            {"name": "B", "source": "b.tif", "kind": "raster"}],
            "tables": [{"source": "a.gpkg"}], "selections": {"A": [3, 1]}})",
        "/maps/river", "m.json");
    EXPECT_EQ(text.name, "N");
    ASSERT_EQ(text.layers.size(), 2u);
    EXPECT_EQ(text.layers[0].source, "/maps/data/a.gpkg");
    EXPECT_EQ(text.layers[0].table, "T");
    EXPECT_EQ(text.layers[1].kind, LayerKind::Raster);
    ASSERT_EQ(text.tables.size(), 1u);
    EXPECT_EQ(text.tables[0].source, "/maps/river/a.gpkg");
    ASSERT_EQ(text.selections.size(), 1u);
    EXPECT_EQ(text.selections[0].second, (std::vector<long long>{3, 1}));
}

}  // namespace
}  // namespace ondu
