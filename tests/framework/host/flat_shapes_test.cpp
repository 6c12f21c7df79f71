// The lean shape reader against the ordinary cursor: the same vertices, paths and features in
// both store formats, whatever the shape's kind and dimensions; edits of a running session seen.

#include "framework/host/flat_shapes.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include "framework/error.h"
#include "framework/host/host_application.h"
#include "framework/host/ogr_geometry.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

/// What the cursor gives, flattened: the reference the lean reader must match.
FlatShapes throughCursor(IFeatureClass& cls) {
    FlatShapes shapes;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature()) shapes.add(feature->OID(), feature->shape());
    return shapes;
}

void expectSame(const FlatShapes& lean, const FlatShapes& reference, const std::string& what) {
    ASSERT_EQ(lean.features.size(), reference.features.size()) << what;
    for (std::size_t i = 0; i < lean.features.size(); ++i) {
        EXPECT_EQ(lean.features[i].oid, reference.features[i].oid) << what;
        EXPECT_EQ(lean.features[i].kind, reference.features[i].kind) << what;
        EXPECT_EQ(lean.features[i].firstPath, reference.features[i].firstPath) << what;
    }
    EXPECT_EQ(lean.pathStarts, reference.pathStarts) << what;
    EXPECT_EQ(lean.x, reference.x) << what;
    EXPECT_EQ(lean.y, reference.y) << what;
}

struct ShapeCase {
    ShapeType shape;
    bool hasZ, hasM;
    std::vector<std::string> wkts;  ///< "" for a feature without a shape
};

const ShapeCase kCases[] = {
    {ShapeType::Point, false, false, {"POINT (1 2)", "", "POINT (3.25 -4)"}},
    {ShapeType::Multipoint,
     true,
     false,
     {"MULTIPOINT Z ((1 2 3),(4 5 6))", "MULTIPOINT Z ((7 8 9))"}},
    {ShapeType::Polyline,
     true,
     true,
     {"LINESTRING ZM (0 0 1 2,10 0.1 3 4,20 5 5 6)", "", "LINESTRING ZM (1 1 0 0,2 2 0 0)"}},
    {ShapeType::Polyline, false, true, {"LINESTRING M (5 5 3,6 7 4,8 9 5)", ""}},
    {ShapeType::Polygon,
     false,
     false,
     {"POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,3 2,3 3,2 2))", "POLYGON ((5 5,6 5,6 6,5 5))"}},
};

TEST(FlatShapes, MatchTheCursorForEveryKindAndStore) {
    for (const ShapeCase& c : kCases)
        for (auto format : {test::StoreFormat::GeoPackage, test::StoreFormat::Shapefile}) {
            test::LayerSpec layer{.name = "L", .shape = c.shape, .hasZ = c.hasZ, .hasM = c.hasM};
            for (const auto& wkt : c.wkts) layer.features.push_back({wkt});
            test::TempMap store({layer}, format);
            auto map = store.openMap();
            IFeatureClass& cls = *map->layer(0).asFeatureLayer()->featureClass();
            const FlatShapes lean = readFlatShapes(cls);
            expectSame(lean, throughCursor(cls), c.wkts.front());
            EXPECT_GT(lean.vertexCount(), 0u);
        }
}

TEST(FlatShapes, SeeTheEditsOfARunningSession) {
    test::TempMap store({{.name = "Reach", .features = {{"LINESTRING (0 0,10 0)"}}}});
    HostApplication app(store.openMap());
    app.editor().startEditing();
    IFeatureClass& cls = *app.map().layer(0).asFeatureLayer()->featureClass();
    auto added = cls.createFeature();
    added->setShape(fromWkt("LINESTRING (20 0,30 5)"));
    added->store();
    const FlatShapes lean = readFlatShapes(cls);
    ASSERT_EQ(lean.features.size(), 2u);
    EXPECT_EQ(lean.x.back(), 30);
    EXPECT_EQ(lean.y.back(), 5);
    app.editor().stopEditing(false);
    EXPECT_EQ(readFlatShapes(cls).features.size(), 1u);
}

/// Runs an SQL statement on the GeoPackage through GDAL, whose SQL functions its triggers call.
void runSql(const std::filesystem::path& gpkg, const std::string& sql) {
    GDALDatasetUniquePtr dataset(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    ASSERT_TRUE(dataset);
    dataset->ExecuteSQL(sql.c_str(), nullptr, nullptr);
}

TEST(FlatShapes, ACutShortShapeIsRefusedNamingItsFeature) {
    test::TempMap store(
        {{.name = "L", .features = {{"LINESTRING (0 0,1 1)"}, {"LINESTRING (2 2,3 3)"}}}});
    // The second line's last Y (3.0) cut off: its WKB promises two vertices and holds one and a
    // half, and the reader must not read past it.
    runSql(store.storePath(),
           "UPDATE L SET geom = substr(geom, 1, length(geom) - 8) WHERE fid = 2");
    {
        auto map = store.openMap();
        try {
            readFlatShapes(*map->layer(0).asFeatureLayer()->featureClass());
            ADD_FAILURE() << "a cut-short shape was read";
        } catch (const HostError& e) {
            EXPECT_STREQ(e.what(), "cannot read the shape of feature 2 in L");
            EXPECT_EQ(e.where(), "2");
        }
    }
    runSql(store.storePath(),
           "UPDATE L SET geom = CAST(geom || X'0000000000000840' AS BLOB) WHERE fid = 2");
}

TEST(FlatShapes, AddLeavesOutEmptyShapesAndEmptyPoints) {
    FlatShapes shapes;
    shapes.add(1, std::monostate{});
    shapes.add(2, Polyline{});
    shapes.add(3, Multipoint{{Point(), Point(1, 2)}});
    ASSERT_EQ(shapes.features.size(), 1u);
    EXPECT_EQ(shapes.features[0].oid, 3);
    EXPECT_EQ(shapes.pathStarts, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(shapes.firstPathOf(1), 1u);
}

}  // namespace
}  // namespace ondu
