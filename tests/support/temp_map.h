#pragma once
// Small generated test data: a temporary vector store (a GeoPackage, or a folder of Shapefiles)
// with named layers of a given shape, Z/M flags, fields and features written from WKT, opened
// as a map the way the hosts open one.
//
//   TempMap store({{.name = "CenterLine",
//                   .fields = {{"RiverName", FieldType::String}},
//                   .features = {{"LINESTRING (0 0,10 0)", {"Bald Eagle"}}}}});
//   InstalledHost host(store.openMap());           // g_pApp and g_pMxDoc point at it
//   IFeatureLayer* centerline = host.featureLayer("CenterLine");
//
// The store is written straight through OGR, not through the host classes under test. It is
// removed with the TempMap, which must therefore outlive every map opened on it.

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/host/host_application.h"
#include "framework/host_operations.h"

namespace ondu::test {

/// A feature to write: its shape as ISO WKT ("" for no shape) and its attribute values in the
/// order of the layer's fields (missing trailing values stay null).
struct FeatureSpec {
    std::string wkt;
    std::vector<FieldValue> values;
};

/// A layer to create. ShapeType::Null makes a table without geometry (a stand-alone table of
/// the map). Features get identifiers in the order listed: 1, 2, ... in a GeoPackage, 0, 1, ...
/// in a Shapefile.
struct LayerSpec {
    std::string name;
    ShapeType shape = ShapeType::Polyline;
    bool hasZ = false;
    bool hasM = false;
    std::vector<Field>
        fields;  ///< attribute fields: name, type (Short, Long, Double, Text), length
    std::vector<FeatureSpec> features;
};

enum class StoreFormat { GeoPackage, Shapefile };

class TempMap {
public:
    /// Writes the layers, in order, into a new store in a fresh temporary folder. Throws
    /// std::runtime_error when OGR refuses anything (bad WKT, field, layer).
    explicit TempMap(const std::vector<LayerSpec>& layers,
                     StoreFormat format = StoreFormat::GeoPackage);
    ~TempMap();
    TempMap(const TempMap&) = delete;
    TempMap& operator=(const TempMap&) = delete;

    /// The temporary folder holding the store; a test may put further files there.
    const std::filesystem::path& folder() const { return folder_; }
    /// The GeoPackage file, or the folder of Shapefiles.
    std::filesystem::path storePath() const;
    /// Where the layer's data lives: the GeoPackage, or the layer's .shp file.
    std::filesystem::path sourceOf(const std::string& layerName) const;

    /// A map of every layer in creation order, named as created; tables without geometry
    /// become stand-alone tables (GeoPackage only). Each call opens the store afresh.
    std::unique_ptr<MapDocument> openMap() const;

private:
    std::filesystem::path folder_;
    StoreFormat format_;
    std::vector<std::pair<std::string, bool>> layers_;  ///< name, and whether it is a table
};

/// A host application over a map, installed as g_pApp (and its document as g_pMxDoc) while it
/// lives; both are reset to nullptr afterwards.
class InstalledHost {
public:
    explicit InstalledHost(std::unique_ptr<MapDocument> map = nullptr);
    ~InstalledHost();
    InstalledHost(const InstalledHost&) = delete;
    InstalledHost& operator=(const InstalledHost&) = delete;

    HostApplication& app() { return app_; }
    MapDocument& map() { return app_.map(); }
    /// The first layer of that name as a feature layer; throws std::runtime_error when there is
    /// none, so a mistyped name fails the test loudly.
    IFeatureLayer* featureLayer(const std::string& name);

private:
    HostApplication app_;
};

/// Everything a dataset holds, as text: each layer's name, geometry type and fields, and each
/// feature's identifier, values and shape. Two equal fingerprints mean an unchanged dataset.
std::string fingerprint(const std::filesystem::path& dataset);

/// The value of a field of one stored feature, read afresh from its class; throws
/// std::runtime_error when the feature or field is absent.
FieldValue storedValue(IFeatureLayer* layer, long long oid, const std::string& field);

/// One stored feature read back: its identifier, shape and named values.
struct StoredFeature {
    long long oid = 0;
    Geometry shape;
    std::vector<std::pair<std::string, FieldValue>> values;
    /// The value of that field; throws std::runtime_error when the class has no such field.
    const FieldValue& operator[](const std::string& field) const;
};

/// Every feature of the layer's class in identifier order, read afresh.
std::vector<StoredFeature> storedFeatures(IFeatureLayer* layer);

}  // namespace ondu::test
