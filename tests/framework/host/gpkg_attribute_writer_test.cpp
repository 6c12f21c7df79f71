#include "framework/host/gpkg_attribute_writer.h"

#include <cpl_conv.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <functional>
#include <string>

#include "framework/host/ogr_workspace.h"
#include "support/gpkg_checks.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

constexpr const char* kStamp = "2031-01-02T03:04:05.678Z";

/// Five reaches with a short, a long, a real, a date and a twelve-character text field.
test::LayerSpec reaches() {
    test::LayerSpec spec{.name = "Reach",
                         .fields = {{"Code", FieldType::SmallInteger},
                                    {"FromLine", FieldType::Integer},
                                    {"Measure", FieldType::Double},
                                    {"Surveyed", FieldType::Date},
                                    {"Name", FieldType::String, 12}}};
    for (int i = 0; i < 5; ++i) {
        const std::string x0 = std::to_string(i * 10), x1 = std::to_string(i * 10 + 10);
        spec.features.push_back({"LINESTRING (" + x0 + " 0," + x1 + " " + x1 + ")",
                                 {1LL, -9999LL, 0.5, std::monostate{}, std::string("old")}});
    }
    return spec;
}

/// Sets OGR_CURRENT_DATE while it lives, so that stamps are known.
struct FixedClock {
    FixedClock() { CPLSetConfigOption("OGR_CURRENT_DATE", kStamp); }
    ~FixedClock() { CPLSetConfigOption("OGR_CURRENT_DATE", nullptr); }
};

/// What the fast path must leave as it was: the spatial index, the counts and the extent.
std::string untouchedParts(const std::filesystem::path& file) {
    return test::queryRows(file, "SELECT * FROM rtree_Reach_geom ORDER BY id") +
           test::queryRows(file, "SELECT feature_count FROM gpkg_ogr_contents") +
           test::queryRows(file, "SELECT min_x, min_y, max_x, max_y FROM gpkg_contents");
}

std::string lastChange(const std::filesystem::path& file) {
    return test::queryRows(file,
                           "SELECT last_change FROM gpkg_contents WHERE table_name = 'Reach'");
}

/// The store opened with an edit begun, and its Reach layer.
struct ReachEdit {
    explicit ReachEdit(const std::filesystem::path& file) : dataset(file.string()) {
        dataset.beginEdit();
    }
    std::unique_ptr<OGRFeature> feature(GIntBig id) {
        return std::unique_ptr<OGRFeature>(layer.GetFeature(id));
    }
    bool write(const OGRFeature& feature, std::vector<int> fields) {
        return dataset.updateAttributes(layer, feature, fields);
    }

    OgrDataset dataset;
    OGRLayer& layer = *dataset.handle()->GetLayerByName("Reach");
};

TEST(GpkgAttributeWriter, AttributeWritesKeepIndexCountsExtentAndPassTheValidator) {
    test::TempMap store({reaches()});
    const auto file = store.storePath();
    const std::string before = untouchedParts(file);
    {
        const FixedClock clock;
        ReachEdit edit(file);
        for (GIntBig id = 1; id <= 5; ++id) {
            std::unique_ptr<OGRFeature> feature = edit.feature(id);
            feature->SetField("Code", static_cast<int>(id * 100));
            feature->SetField("FromLine", static_cast<GIntBig>(id - 1));
            feature->SetField("Measure", id * 1.25);
            feature->SetField("Name", id == 5 ? "Ü-Bach 5" : "Reach");
            if (id == 3) feature->SetFieldNull(feature->GetFieldIndex("Measure"));
            ASSERT_TRUE(edit.write(*feature, {0, 1, 2, 4})) << "feature " << id;
        }
        edit.dataset.endEdit(true);
    }
    EXPECT_EQ(untouchedParts(file), before);
    EXPECT_EQ(lastChange(file), std::string(kStamp) + "\n");
    EXPECT_EQ(test::queryRows(file, "SELECT fid, Code, FromLine, Measure, Name FROM Reach"),
              "1|100|0|1.25|Reach\n2|200|1|2.5|Reach\n3|300|2|NULL|Reach\n"
              "4|400|3|5.0|Reach\n5|500|4|6.25|Ü-Bach 5\n");
    EXPECT_EQ(test::integrityFindings(file), "ok");
    EXPECT_EQ(test::validatorFindings(file), "");

    OgrDataset reopened(file.string());
    OGRLayer& layer = *reopened.handle()->GetLayerByName("Reach");
    OGREnvelope extent;
    ASSERT_EQ(layer.GetExtent(&extent, TRUE), OGRERR_NONE);
    EXPECT_EQ(layer.GetFeatureCount(TRUE), 5);
    EXPECT_EQ(extent.MaxX, 50.0);
    EXPECT_EQ(extent.MaxY, 50.0);
}

/// A value the fast path takes or leaves to OGR, and in either case must end up stored.
struct ValueCase {
    const char* edge;
    const char* field;
    std::function<void(OGRFeature&, int)> set;
    bool writtenDirectly;
    const char* stored;  ///< as SQLite gives it back
};

TEST(GpkgAttributeWriter, ValuesOgrShapesItselfAreLeftToOgrAndStillStored) {
    const std::vector<ValueCase> cases = {
        {"whole number", "FromLine", [](OGRFeature& f, int i) { f.SetField(i, 42); }, true, "42"},
        {"null", "FromLine", [](OGRFeature& f, int i) { f.SetFieldNull(i); }, true, "NULL"},
        {"text at the field's width", "Name",
         [](OGRFeature& f, int i) { f.SetField(i, "twelve chars"); }, true, "twelve chars"},
        {"text over the field's width", "Name",
         [](OGRFeature& f, int i) { f.SetField(i, "thirteen char"); }, false, "thirteen char"},
        {"text not in UTF-8", "Name", [](OGRFeature& f, int i) { f.SetField(i, "caf\xE9"); }, false,
         "caf\xE9"},
        {"date", "Surveyed", [](OGRFeature& f, int i) { f.SetField(i, 2024, 5, 17); }, false,
         "2024-05-17"},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.edge);
        test::TempMap store({reaches()});
        {
            ReachEdit edit(store.storePath());
            std::unique_ptr<OGRFeature> feature = edit.feature(2);
            const int field = feature->GetFieldIndex(c.field);
            c.set(*feature, field);
            CPLPushErrorHandler(CPLQuietErrorHandler);  // OGR warns about the odd values
            const bool direct = edit.write(*feature, {field});
            if (!direct) EXPECT_EQ(edit.layer.SetFeature(feature.get()), OGRERR_NONE);
            CPLPopErrorHandler();
            EXPECT_EQ(direct, c.writtenDirectly);
            edit.dataset.endEdit(true);
        }
        EXPECT_EQ(test::queryRows(store.storePath(), std::string("SELECT \"") + c.field +
                                                         "\" FROM Reach WHERE fid = 2"),
                  std::string(c.stored) + "\n");
    }
}

TEST(GpkgAttributeWriter, RolledBackWritesLeaveValuesAndLastChangeAsTheyWere) {
    test::TempMap store({reaches()});
    const auto file = store.storePath();
    const std::string stampBefore = lastChange(file);
    const FixedClock clock;
    {
        ReachEdit edit(file);
        std::unique_ptr<OGRFeature> feature = edit.feature(1);
        feature->SetField("FromLine", 7);
        ASSERT_TRUE(edit.write(*feature, {1}));
        edit.dataset.endEdit(false);
    }
    EXPECT_EQ(test::queryRows(file, "SELECT FromLine FROM Reach WHERE fid = 1"), "-9999\n");
    EXPECT_EQ(lastChange(file), stampBefore);
    {
        // One dataset, two edits: the second stamps the table again, the first stamp having
        // gone with its rollback.
        ReachEdit edit(file);
        std::unique_ptr<OGRFeature> feature = edit.feature(1);
        feature->SetField("FromLine", 7);
        ASSERT_TRUE(edit.write(*feature, {1}));
        edit.dataset.endEdit(false);
        edit.dataset.beginEdit();
        ASSERT_TRUE(edit.write(*feature, {1}));
        edit.dataset.endEdit(true);
    }
    EXPECT_EQ(test::queryRows(file, "SELECT FromLine FROM Reach WHERE fid = 1"), "7\n");
    EXPECT_EQ(lastChange(file), std::string(kStamp) + "\n");
}

TEST(GpkgAttributeWriter, FeatureNoLongerStoredIsReportedByIdentifier) {
    test::TempMap store({reaches()});
    ReachEdit edit(store.storePath());
    std::unique_ptr<OGRFeature> feature = edit.feature(4);
    ASSERT_EQ(edit.layer.DeleteFeature(4), OGRERR_NONE);
    feature->SetField("FromLine", 1);
    try {
        edit.write(*feature, {1});
        FAIL() << "a vanished feature was reported as written";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("feature 4 of Reach"), std::string::npos) << e.what();
    }
}

TEST(GpkgAttributeWriter, OtherStoresAndReadOnlyGeoPackagesHaveNoWriter) {
    test::TempMap shapefiles({reaches()}, test::StoreFormat::Shapefile);
    OgrDataset shapefile(shapefiles.sourceOf("Reach").string());
    EXPECT_FALSE(shapefile.updatesInPlace());

    test::TempMap store({reaches()});
    std::unique_ptr<GDALDataset> readOnly(
        GDALDataset::Open(store.storePath().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(GpkgAttributeWriter::forDataset(*readOnly), nullptr);
}

}  // namespace
}  // namespace ondu
