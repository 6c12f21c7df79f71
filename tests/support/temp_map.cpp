#include "support/temp_map.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "framework/file_helpers.h"
#include "framework/host/ogr_workspace.h"
#include "framework/shared_state.h"
#include "support/gpkg_validator.h"

namespace ondu::test {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + CPLGetLastErrorMsg());
}

fs::path freshFolder() {
    static std::atomic<int> counter{0};
    fs::path folder = fs::path(workFolder()) /
                      ("ondu_map_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

OGRwkbGeometryType geometryTypeOf(const LayerSpec& spec) {
    OGRwkbGeometryType flat = wkbNone;
    switch (spec.shape) {
        case ShapeType::Point:
            flat = wkbPoint;
            break;
        case ShapeType::Multipoint:
            flat = wkbMultiPoint;
            break;
        case ShapeType::Polyline:
            flat = wkbLineString;
            break;
        case ShapeType::Polygon:
            flat = wkbPolygon;
            break;
        case ShapeType::Null:
            return wkbNone;
    }
    return OGR_GT_SetModifier(flat, spec.hasZ, spec.hasM);
}

void setFieldValue(OGRFeature& feature, int index, const FieldValue& value) {
    if (const auto* whole = std::get_if<long long>(&value))
        feature.SetField(index, static_cast<GIntBig>(*whole));
    else if (const auto* real = std::get_if<double>(&value))
        feature.SetField(index, *real);
    else if (const auto* text = std::get_if<std::string>(&value))
        feature.SetField(index, text->c_str());
    else
        feature.SetFieldNull(index);
}

void writeFeature(OGRLayer& layer, const FeatureSpec& spec) {
    OGRFeature feature(layer.GetLayerDefn());
    if (!spec.wkt.empty()) {
        OGRGeometry* geometry = nullptr;
        if (OGRGeometryFactory::createFromWkt(spec.wkt.c_str(), nullptr, &geometry) != OGRERR_NONE)
            fail("bad WKT " + spec.wkt);
        feature.SetGeometryDirectly(geometry);
    }
    for (std::size_t i = 0; i < spec.values.size(); ++i)
        setFieldValue(feature, static_cast<int>(i), spec.values[i]);
    if (layer.CreateFeature(&feature) != OGRERR_NONE) fail("cannot write a feature");
}

void writeLayer(GDALDataset& dataset, const LayerSpec& spec) {
    OGRLayer* layer =
        dataset.CreateLayer(spec.name.c_str(), nullptr, geometryTypeOf(spec), nullptr);
    if (!layer) fail("cannot create layer " + spec.name);
    for (const Field& field : spec.fields) {
        if (layer->CreateField(ogrFieldOf(field).get()) != OGRERR_NONE)
            fail("cannot add field " + field.name);
    }
    for (const FeatureSpec& feature : spec.features) writeFeature(*layer, feature);
}

void writeStore(const fs::path& path, StoreFormat format, const std::vector<LayerSpec>& layers) {
    GDALAllRegister();
    const char* driverName = format == StoreFormat::GeoPackage ? "GPKG" : "ESRI Shapefile";
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
    if (!driver) fail(std::string("no OGR driver ") + driverName);
    std::unique_ptr<GDALDataset, void (*)(GDALDataset*)> dataset(
        driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr),
        [](GDALDataset* d) { GDALClose(d); });
    if (!dataset) fail("cannot create " + path.string());
    // One transaction: a GeoPackage writes many times faster inside one.
    const bool transaction = dataset->StartTransaction() == OGRERR_NONE;
    for (const LayerSpec& layer : layers) writeLayer(*dataset, layer);
    if (transaction && dataset->CommitTransaction() != OGRERR_NONE) fail("cannot commit");
}

}  // namespace

TempMap::TempMap(const std::vector<LayerSpec>& layers, StoreFormat format)
    : folder_(freshFolder()), format_(format) {
    for (const LayerSpec& layer : layers)
        layers_.emplace_back(layer.name, layer.shape == ShapeType::Null);
    try {
        writeStore(storePath(), format_, layers);
    } catch (...) {
        fs::remove_all(folder_);  // the destructor does not run for a half-built store
        throw;
    }
}

TempMap::~TempMap() {
    expectValidGeoPackages(folder_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

fs::path TempMap::storePath() const {
    return format_ == StoreFormat::GeoPackage ? folder_ / "store.gpkg" : folder_ / "shapes";
}

fs::path TempMap::sourceOf(const std::string& layerName) const {
    if (format_ == StoreFormat::GeoPackage) return storePath();
    return storePath() / (layerName + ".shp");
}

std::unique_ptr<MapDocument> TempMap::openMap() const {
    // Neither a GeoPackage nor a folder lists its layers in the order they were created.
    auto map = std::make_unique<MapDocument>();
    for (const auto& [name, isTable] : layers_) {
        const std::string source = sourceOf(name).string();
        const std::string tableName = format_ == StoreFormat::GeoPackage ? name : "";
        if (isTable)
            map->addTable(source, tableName);
        else
            map->addFeatureLayer(name, source, tableName);
    }
    return map;
}

InstalledHost::InstalledHost(std::unique_ptr<MapDocument> map) : app_(std::move(map)) {
    g_pApp = &app_;
    g_pMxDoc = &app_.document();
}

InstalledHost::~InstalledHost() {
    g_pApp = nullptr;
    g_pMxDoc = nullptr;
}

IFeatureLayer* InstalledHost::featureLayer(const std::string& name) {
    ILayer* layer = map().findLayer(name);
    IFeatureLayer* featureLayer = layer ? layer->asFeatureLayer() : nullptr;
    if (!featureLayer) throw std::runtime_error("no feature layer " + name + " in the test map");
    return featureLayer;
}

FieldValue storedValue(IFeatureLayer* layer, long long oid, const std::string& field) {
    IFeatureClass* cls = layer ? layer->featureClass() : nullptr;
    FeaturePtr feature = cls ? cls->getFeature(oid) : nullptr;
    if (!feature) throw std::runtime_error("no feature " + std::to_string(oid));
    const int index = feature->findField(field);
    if (index < 0) throw std::runtime_error("no field " + field);
    return feature->value(index);
}

const FieldValue& StoredFeature::operator[](const std::string& field) const {
    for (const auto& [name, value] : values)
        if (name == field) return value;
    throw std::runtime_error("no field " + field);
}

std::vector<StoredFeature> storedFeatures(IFeatureLayer* layer) {
    IFeatureClass* cls = layer ? layer->featureClass() : nullptr;
    if (!cls) throw std::runtime_error("no feature class");
    std::vector<StoredFeature> features;
    auto cursor = cls->search(nullptr);
    while (auto f = cursor->nextFeature()) {
        StoredFeature stored{f->OID(), f->shape(), {}};
        for (int i = 0; i < cls->fieldCount(); ++i)
            if (cls->field(i).type != FieldType::Geometry)
                stored.values.emplace_back(cls->field(i).name, f->value(i));
        features.push_back(std::move(stored));
    }
    return features;
}

std::string fingerprint(const fs::path& dataset) {
    GDALAllRegister();
    std::unique_ptr<GDALDataset, void (*)(GDALDataset*)> store(
        GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY),
        [](GDALDataset* d) { GDALClose(d); });
    if (!store) fail("cannot open " + dataset.string());
    std::string text;
    for (OGRLayer* layer : store->GetLayers()) {
        OGRFeatureDefn* definition = layer->GetLayerDefn();
        text += std::string("layer ") + layer->GetName() + " " +
                OGRGeometryTypeToName(layer->GetGeomType()) + "\n";
        for (int i = 0; i < definition->GetFieldCount(); ++i)
            text += std::string("  field ") + definition->GetFieldDefn(i)->GetNameRef() + "\n";
        layer->ResetReading();
        while (auto feature = std::unique_ptr<OGRFeature>(layer->GetNextFeature())) {
            text += "  " + std::to_string(feature->GetFID());
            for (int i = 0; i < definition->GetFieldCount(); ++i)
                text += std::string("|") + feature->GetFieldAsString(i);
            if (const OGRGeometry* shape = feature->GetGeometryRef())
                text += "|" + shape->exportToWkt(OGRWktOptions());
            text += "\n";
        }
    }
    return text;
}

}  // namespace ondu::test
