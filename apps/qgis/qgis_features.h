#pragma once
// Feature classes, features and selections over QGIS vector layers. Reads see the layer as
// QGIS shows it (its edit buffer included); writes go into the layer's edit buffer, opened for
// the running command by the editor (see QgisEditor).

#include <QPointer>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/host_operations.h"

class QgsGeometry;
class QgsVectorLayer;

namespace ondu::qgis {

class QgisEditor;
class QgisMap;
class QgisSiblingClasses;

/// Where a layer over a file of OGR's keeps its class: the file, and the table in it (empty for
/// a shapefile, whose file is its one class).
struct StoredClass {
    std::filesystem::path file;
    std::string table;
    bool shapefile() const { return table.empty(); }
};

/// Our shape for a QGIS geometry (the null shape for a null one), through the same conversion
/// as OGR's stores; throws HostError for shapes that conversion refuses.
Geometry fromQgs(const QgsGeometry& geometry);
/// The QGIS geometry of our shape, made to fit a layer of that WKB type (its Z and M, single or
/// multi-part); a null geometry for the null shape.
QgsGeometry toQgs(const Geometry& shape, int layerWkbType);

/// A table or feature class over one vector layer. The first class fields are the object
/// identifier and, where the layer has geometry, the shape; the layer's attributes follow.
class QgisFeatureClass : public IFeatureClass {
public:
    QgisFeatureClass(QgsVectorLayer& layer, QgisEditor& editor, QgisMap& map);
    ~QgisFeatureClass() override;

    std::string name() const override;
    int fieldCount() const override;
    const Field& field(int index) const override;
    int findField(const std::string& name) const override;
    void addField(const Field& field) override;
    long featureCount(const QueryFilter* filter) override;
    FeatureCursorPtr search(const QueryFilter* filter) override;
    FeaturePtr getFeature(long long oid) override;

    ShapeType shapeType() const override;
    std::string shapeFieldName() const override;
    FeaturePtr createFeature() override;
    /// For a layer over a file of OGR's: "<file>/<table>" (the file of a shapefile); empty for
    /// any other layer.
    std::string storagePath() const override;
    /// For a layer over a GeoPackage table or a shapefile: the classes of its file or folder
    /// (see QgisSiblingClasses); nullptr for any other layer.
    ISiblingClasses* siblings() override;
    /// The file and table under a layer over a GeoPackage table or a shapefile (or any file of
    /// OGR's that holds named tables); nothing for any other layer.
    std::optional<StoredClass> storedIn() const;

    QgsVectorLayer& layer() const { return *layer_; }
    bool alive() const { return !layer_.isNull(); }
    /// The QGIS attribute index of a class field; -1 for the identifier and the shape.
    int attributeIndex(int index) const;
    /// The object ids that meet the filter, in id order.
    std::vector<long long> matchingIds(const QueryFilter* filter);
    /// Opens the layer for writing (see QgisEditor::aboutToWrite).
    void aboutToWrite();

private:
    void readSchema() const;

    QPointer<QgsVectorLayer> layer_;
    QgisEditor& editor_;
    QgisMap& map_;
    std::unique_ptr<QgisSiblingClasses> siblings_;
    mutable std::vector<Field> fields_;
    mutable std::vector<int> attributes_;  ///< QGIS attribute index per class field
    mutable int schemaVersion_ = -1;       ///< the field count the schema was read at
};

/// The layer's selection as QGIS holds it (made with the mouse or through QGIS), in id order:
/// QGIS keeps no selection order.
class QgisSelectionSet : public ISelectionSet {
public:
    explicit QgisSelectionSet(QgisFeatureClass& cls) : class_(cls) {}
    long count() const override;
    const std::vector<long long>& ids() const override;
    void add(long long oid) override;
    void clear() override;
    FeatureCursorPtr search(const QueryFilter* filter) override;

private:
    QgisFeatureClass& class_;
    mutable std::vector<long long> ids_;
};

/// A map layer over a vector layer with geometry.
class QgisFeatureLayer : public IFeatureLayer {
public:
    QgisFeatureLayer(QgsVectorLayer& layer, QgisEditor& editor, QgisMap& map)
        : class_(layer, editor, map), selection_(class_) {}
    std::string name() const override;
    /// nullptr once QGIS has deleted the layer.
    IFeatureClass* featureClass() override { return class_.alive() ? &class_ : nullptr; }
    ISelectionSet& selectionSet() override { return selection_; }
    QgisFeatureClass& qgisClass() { return class_; }

private:
    QgisFeatureClass class_;
    QgisSelectionSet selection_;
};

}  // namespace ondu::qgis
