#pragma once
// Feature classes, tables, features and cursors on GDAL/OGR (GeoPackage by default; Shapefile,
// FlatGeobuf and the other vector drivers through the same code).

#include <memory>
#include <string>
#include <vector>

#include "framework/host_operations.h"

class GDALDataset;
class OGRFeature;
class OGRFieldDefn;
class OGRLayer;

namespace ondu {

class GpkgAttributeWriter;

/// The OGR definition of a field of ours: types and subtypes as close as the store allows, and
/// text fields 254 characters wide unless the field says otherwise.
std::unique_ptr<OGRFieldDefn> ogrFieldOf(const Field& field);

/// One open vector dataset and its edit transaction.
class OgrDataset {
public:
    /// Opens a dataset for update (falls back to read-only); throws HostError when it cannot.
    explicit OgrDataset(const std::string& path);
    ~OgrDataset();
    OgrDataset(const OgrDataset&) = delete;
    OgrDataset& operator=(const OgrDataset&) = delete;

    const std::string& path() const { return path_; }
    GDALDataset* handle() { return dataset_; }
    bool writable() const { return writable_; }

    /// Starts a transaction where the driver has them (a no-op elsewhere).
    void beginEdit();
    /// Commits (save) or rolls back the running transaction.
    void endEdit(bool save);
    bool editing() const { return inTransaction_; }

    /// Writes the given attribute fields of a stored feature, leaving its shape and spatial
    /// index alone (see GpkgAttributeWriter); false, having written nothing, where the store has
    /// no such path or the values need OGR's own handling: the caller then rewrites the whole
    /// feature through OGR.
    bool updateAttributes(OGRLayer& layer, const OGRFeature& feature,
                          const std::vector<int>& fields);
    /// Whether the store is an SQL database whose rows can be updated and scanned by identifier
    /// in place (a GeoPackage opened for update).
    bool updatesInPlace() const { return attributeWriter_ != nullptr; }

private:
    std::string path_;
    GDALDataset* dataset_ = nullptr;
    bool writable_ = false;
    bool inTransaction_ = false;
    std::unique_ptr<GpkgAttributeWriter> attributeWriter_;  ///< null for other stores
};

/// Fetches features of a table one by one by identifier, so that several cursors and lookups on
/// one layer never disturb each other's reading position. Identifiers no longer there are
/// passed over.
class IdListCursor : public IFeatureCursor {
public:
    IdListCursor(ITable& table, std::vector<long long> ids) : table_(table), ids_(std::move(ids)) {}
    FeaturePtr nextFeature() override;

private:
    ITable& table_;
    std::vector<long long> ids_;
    std::size_t next_ = 0;
};

/// A table or feature class: one OGR layer of a dataset.
class OgrFeatureClass : public IFeatureClass, private ISiblingClasses {
public:
    OgrFeatureClass(std::shared_ptr<OgrDataset> dataset, OGRLayer* layer);

    std::string name() const override;
    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const Field& field(int index) const override;
    int findField(const std::string& name) const override;
    void addField(const Field& field) override;
    long featureCount(const QueryFilter* filter) override;
    FeatureCursorPtr search(const QueryFilter* filter) override;
    FeaturePtr getFeature(long long oid) override;

    ShapeType shapeType() const override { return shapeType_; }
    /// The store's name of the geometry column ("SHAPE" for stores without one).
    std::string shapeFieldName() const override;
    FeaturePtr createFeature() override;
    /// The classes in its dataset, or the shapefiles of its folder (feature_class_copies.cpp).
    ISiblingClasses* siblings() override { return this; }

    bool hasGeometry() const { return hasGeometry_; }
    OGRLayer* layer() { return layer_; }
    OgrDataset& dataset() { return *dataset_; }
    /// The dataset, shared with a class created in it.
    const std::shared_ptr<OgrDataset>& sharedDataset() const { return dataset_; }

    /// Index of an OGR attribute field for a class field index (the first two class fields are
    /// the object identifier and, for feature classes, the shape).
    int ogrFieldIndex(int index) const;
    int firstAttributeIndex() const { return hasGeometry_ ? 2 : 1; }

    /// Applies the attribute and spatial conditions of a filter to the OGR layer.
    void applyFilter(const QueryFilter* filter);

private:
    void readSchema();

    bool exists(const std::string& name) override;
    bool hasField(const std::string& name, const std::string& field) override;
    void remove(const std::string& name) override;
    std::unique_ptr<IFeatureLayer> copy(const std::string& newName) override;

    std::shared_ptr<OgrDataset> dataset_;
    OGRLayer* layer_;
    std::vector<Field> fields_;
    ShapeType shapeType_ = ShapeType::Null;
    bool hasGeometry_ = false;
};

}  // namespace ondu
