#pragma once
// The host operations the tools rely on: application, documents and maps, layers, feature
// classes, cursors, selections, features and filters. `framework/host/` implements them on
// GDAL/OGR; geometry operations live in `framework/geometry/`.
//
// Every operation reports failure by throwing HostError, which the calling routine's handler
// turns into its message box.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "framework/error.h"
#include "framework/geometry/geometry.h"

namespace ondu {

/// A field value as a variant would hold it: null, whole number, real number or text.
using FieldValue = std::variant<std::monostate, long long, double, std::string>;

bool isNull(const FieldValue& v);
/// The numeric value of a number or of a text that reads as one; nothing otherwise.
std::optional<double> toDouble(const FieldValue& v);
/// The text form: plain numbers, texts as they are, null as "".
std::string toText(const FieldValue& v);

/// Field-type codes as the host numbers them (0 Short, 1 Long, 3 Double, 4 Text, ...).
enum class FieldType {
    SmallInteger = 0,
    Integer = 1,
    Single = 2,
    Double = 3,
    String = 4,
    Date = 5,
    OID = 6,
    Geometry = 7,
    Blob = 8,
};

struct Field {
    std::string name;
    FieldType type = FieldType::Double;
    int length = 0;     ///< text fields; 0 = store's default
    bool hasZ = false;  ///< geometry field: the class carries Z values
    bool hasM = false;  ///< geometry field: the class carries M values
};

class IFeature {
public:
    virtual ~IFeature() = default;
    virtual long long OID() const = 0;
    virtual int fieldCount() const = 0;
    virtual int findField(const std::string& name) const = 0;  ///< index or -1
    virtual FieldValue value(int index) const = 0;
    virtual void setValue(int index, const FieldValue& value) = 0;
    /// A copy of the shape; changing it changes nothing until setShape.
    virtual Geometry shape() const = 0;
    /// Stores a copy of the geometry in the feature (written by store()).
    virtual void setShape(const Geometry& geometry) = 0;
    /// Writes the row to its class.
    virtual void store() = 0;
};
using FeaturePtr = std::unique_ptr<IFeature>;

/// Forward cursor: a fresh feature object per step, nullptr when none is left.
class IFeatureCursor {
public:
    virtual ~IFeatureCursor() = default;
    virtual FeaturePtr nextFeature() = 0;
};
using FeatureCursorPtr = std::unique_ptr<IFeatureCursor>;

enum class SpatialRel {
    Intersects,
    Contains,
    Within,
    Touches,
    Crosses,
    Overlaps,
    EnvelopeIntersects
};

/// Attribute condition (SQL-like: "FromLine = -9999") and optional spatial condition on the
/// geometry field (named "SHAPE" whatever the store calls it).
struct QueryFilter {
    std::string whereClause;
    std::optional<Geometry> geometry;
    SpatialRel spatialRel = SpatialRel::Intersects;
    std::string geometryField = "SHAPE";
};

/// A table of rows with fields (a stand-alone table or a feature class).
class ITable {
public:
    virtual ~ITable() = default;
    virtual std::string name() const = 0;
    virtual int fieldCount() const = 0;
    virtual const Field& field(int index) const = 0;
    virtual int findField(const std::string& name) const = 0;  ///< index or -1
    virtual void addField(const Field& field) = 0;
    virtual long featureCount(const QueryFilter* filter) = 0;
    /// Rows in object-identifier order; a filter restricts them.
    virtual FeatureCursorPtr search(const QueryFilter* filter) = 0;
    virtual FeaturePtr getFeature(long long oid) = 0;  ///< nullptr when absent
};

class IFeatureClass : public ITable {
public:
    virtual ShapeType shapeType() const = 0;
    virtual std::string shapeFieldName() const = 0;
    /// A new feature of the class; stored when its store() is called.
    virtual FeaturePtr createFeature() = 0;
};

/// The selected features of a layer, by object identifier in selection order.
class ISelectionSet {
public:
    virtual ~ISelectionSet() = default;
    virtual long count() const = 0;
    virtual const std::vector<long long>& ids() const = 0;
    virtual void add(long long oid) = 0;
    virtual void clear() = 0;
    /// The selected features that meet the filter, in selection order.
    virtual FeatureCursorPtr search(const QueryFilter* filter) = 0;
};

enum class LayerKind { Feature, Raster, Tin, Other };

class IFeatureLayer;

class ILayer {
public:
    virtual ~ILayer() = default;
    virtual std::string name() const = 0;
    virtual LayerKind kind() const = 0;
    virtual IFeatureLayer* asFeatureLayer() { return nullptr; }
};

class IFeatureLayer : public ILayer {
public:
    LayerKind kind() const override { return LayerKind::Feature; }
    IFeatureLayer* asFeatureLayer() override { return this; }
    /// The layer's class; nullptr when its data source is missing (a broken layer).
    virtual IFeatureClass* featureClass() = 0;
    virtual ISelectionSet& selectionSet() = 0;
};

class IMap {
public:
    virtual ~IMap() = default;
    virtual std::string name() const = 0;
    virtual int layerCount() const = 0;
    virtual ILayer& layer(int index) = 0;  ///< top-level layers in display order
    virtual int tableCount() const = 0;
    virtual ITable& table(int index) = 0;  ///< stand-alone tables
    virtual void refresh() {}
};

class IDocument {
public:
    virtual ~IDocument() = default;
    virtual IMap& focusMap() = 0;
};

class IExtension {
public:
    virtual ~IExtension() = default;
    virtual std::string name() const = 0;
};

/// The editor extension, named "ESRI Object Editor": 0 = not editing, above 0 = editing.
class IEditor : public IExtension {
public:
    static constexpr const char* kName = "ESRI Object Editor";
    std::string name() const override { return kName; }
    virtual int editState() const = 0;
};

class IUserInterface;

class IApplication {
public:
    virtual ~IApplication() = default;
    virtual IDocument& document() = 0;
    /// The extension of that name, or nullptr.
    virtual IExtension* findExtension(const std::string& name) = 0;
};

}  // namespace ondu
