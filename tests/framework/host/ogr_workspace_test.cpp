#include "framework/host/ogr_workspace.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/gpkg_checks.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

// More features than three of the scan cursor's chunks (4,096 features), so that after the
// deletions below a scan, filtered or not, must still resume twice and end on a part-filled chunk.
constexpr int kFeatures = 3 * 4096 + 907;

/// Points numbered 1, 2, ... in their "Code" field.
test::LayerSpec numberedPoints() {
    test::LayerSpec spec{.name = "Gauges", .shape = ShapeType::Point};
    spec.fields = {{"Code", FieldType::Integer}};
    for (int i = 1; i <= kFeatures; ++i)
        spec.features.push_back(
            {"POINT (" + std::to_string(i) + " 0)", {static_cast<long long>(i)}});
    return spec;
}

/// Deletes every seventh point (by identifier), so that identifiers have gaps where a resumed
/// scan could slip.
void deleteEverySeventh(const std::filesystem::path& source) {
    std::unique_ptr<GDALDataset> dataset(
        GDALDataset::Open(source.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    OGRLayer& layer = *dataset->GetLayer(0);
    std::vector<GIntBig> gone;
    for (auto& feature : layer)
        if (feature->GetFID() % 7 == 3) gone.push_back(feature->GetFID());
    const bool transaction = dataset->StartTransaction() == OGRERR_NONE;
    for (GIntBig id : gone) EXPECT_EQ(layer.DeleteFeature(id), OGRERR_NONE);
    if (transaction) EXPECT_EQ(dataset->CommitTransaction(), OGRERR_NONE);
}

/// Identifiers a search hands out, in its order, each read with its Code.
std::vector<long long> searched(IFeatureClass& cls, const QueryFilter* filter,
                                std::vector<long long>* codes) {
    std::vector<long long> ids;
    auto cursor = cls.search(filter);
    const int code = cls.findField("Code");
    while (auto feature = cursor->nextFeature()) {
        ids.push_back(feature->OID());
        codes->push_back(std::get<long long>(feature->value(code)));
    }
    return ids;
}

/// The identifiers of the store's features meeting `where` (all for nullptr), ascending, found
/// through OGR alone.
std::vector<long long> storedIds(const std::filesystem::path& source, const char* where) {
    std::unique_ptr<GDALDataset> dataset(
        GDALDataset::Open(source.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGRLayer& layer = *dataset->GetLayer(0);
    EXPECT_EQ(layer.SetAttributeFilter(where), OGRERR_NONE);
    std::vector<long long> ids;
    for (auto& feature : layer) ids.push_back(feature->GetFID());
    std::sort(ids.begin(), ids.end());
    return ids;
}

TEST(OgrFeatureClass, SearchBeyondEveryScanChunkReturnsEachFeatureOnceInIdentifierOrder) {
    for (auto format : {test::StoreFormat::GeoPackage, test::StoreFormat::Shapefile}) {
        SCOPED_TRACE(format == test::StoreFormat::GeoPackage ? "GeoPackage" : "Shapefile");
        test::TempMap store({numberedPoints()}, format);
        const auto source = store.sourceOf("Gauges");
        deleteEverySeventh(source);
        test::InstalledHost host(store.openMap());
        IFeatureClass& cls = *host.featureLayer("Gauges")->featureClass();

        std::vector<long long> codes;
        const std::vector<long long> all = searched(cls, nullptr, &codes);
        EXPECT_GT(all.size(), 2u * 4096u);
        EXPECT_EQ(all, storedIds(source, nullptr)) << "whole scan";

        QueryFilter everyOtherFifth;
        everyOtherFifth.whereClause = "Code % 5 <> 0";  // all but every fifth
        std::vector<long long> filteredCodes;
        const std::vector<long long> filtered = searched(cls, &everyOtherFifth, &filteredCodes);
        EXPECT_GT(filtered.size(), 2u * 4096u);
        EXPECT_EQ(filtered, storedIds(source, everyOtherFifth.whereClause.c_str()))
            << "filtered scan";
        for (long long code : filteredCodes) ASSERT_NE(code % 5, 0);
    }
}


TEST(TableByPath, WrittenRowsReadBackByIdentifierAndReplaceTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("params.gpkg");
    const std::vector<Field> fields{{"LOCATION", FieldType::Double}, {"NAME", FieldType::String}};
    writeTable(path, "Para", fields, {{0.5, std::string("old")}});
    writeTable(path, "Para", fields, {{0.1, std::string("a")}, {0.9, std::string("b")}});
    EXPECT_EQ(test::validatorFindings(path), "");
    auto table = openTable(path, "Para");
    EXPECT_EQ(table->featureCount(nullptr), 2);
    EXPECT_EQ(toDouble(table->getFeature(2)->value(table->findField("LOCATION"))), 0.9);
    EXPECT_EQ(toText(table->getFeature(1)->value(table->findField("NAME"))), "a");
    EXPECT_EQ(table->getFeature(3), nullptr);
    try {
        openTable(path, "Other");
        FAIL() << "a missing table opened";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_THROW(openTable(dir.file("missing.gpkg"), "Para"), HostError);
}

}  // namespace
}  // namespace ondu
