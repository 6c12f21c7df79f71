#include "apps/qgis/qgis_features.h"

#include <ogr_geometry.h>
#include <qgsexpression.h>
#include <qgsfeature.h>
#include <qgsfeaturerequest.h>
#include <qgsgeometry.h>
#include <qgsproviderregistry.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

#include <algorithm>
#include <filesystem>

#include "apps/qgis/qgis_application.h"
#include "apps/qgis/qgis_siblings.h"
#include "framework/field_names.h"
#include "framework/host/ogr_geometry.h"
#include "framework/host/ogr_workspace.h"

namespace ondu::qgis {

namespace {

std::string text(const QString& s) { return s.toStdString(); }
QString qtext(const std::string& s) { return QString::fromStdString(s); }

FieldType fieldTypeOf(const QgsField& field) {
    switch (field.type()) {
        case QVariant::Int:
        case QVariant::UInt:
        case QVariant::LongLong:
        case QVariant::ULongLong:
        case QVariant::Bool:
            return FieldType::Integer;
        case QVariant::Double:
            return FieldType::Double;
        case QVariant::Date:
        case QVariant::DateTime:
            return FieldType::Date;
        case QVariant::ByteArray:
            return FieldType::Blob;
        default:
            return FieldType::String;
    }
}

QgsField qgsFieldOf(const Field& field) {
    const QString name = qtext(field.name);
    switch (field.type) {
        case FieldType::SmallInteger:
        case FieldType::Integer:
        case FieldType::OID:
            return QgsField(name, QVariant::Int, "integer");
        case FieldType::Single:
        case FieldType::Double:
            return QgsField(name, QVariant::Double, "double");
        case FieldType::Date:
            return QgsField(name, QVariant::Date, "date");
        case FieldType::Blob:
            return QgsField(name, QVariant::ByteArray, "binary");
        default:
            return QgsField(name, QVariant::String, "string",
                            field.length > 0 ? field.length : 254);
    }
}

FieldValue fieldValueOf(const QVariant& v) {
    if (v.isNull() || !v.isValid()) return std::monostate{};
    switch (v.type()) {
        case QVariant::Int:
        case QVariant::UInt:
        case QVariant::LongLong:
        case QVariant::ULongLong:
        case QVariant::Bool:
            return static_cast<long long>(v.toLongLong());
        case QVariant::Double:
            return v.toDouble();
        default:
            return text(v.toString());
    }
}

QVariant variantOf(const FieldValue& value, const QgsField& field) {
    QVariant v;
    if (const auto* i = std::get_if<long long>(&value)) v = QVariant(static_cast<qlonglong>(*i));
    if (const auto* d = std::get_if<double>(&value)) v = QVariant(*d);
    if (const auto* s = std::get_if<std::string>(&value)) v = QVariant(qtext(*s));
    if (!v.isValid()) return QVariant(field.type());  // a typed null
    QString error;
    if (!field.convertCompatible(v, &error))
        throw HostError("Type mismatch (field " + text(field.name()) + ")",
                        error_number::kTypeMismatch);
    return v;
}

/// The OGR geometry type of a QGIS WKB type (both number the flat types alike).
OGRwkbGeometryType ogrTypeOf(QgsWkbTypes::Type type) {
    return OGR_GT_SetModifier(static_cast<OGRwkbGeometryType>(QgsWkbTypes::flatType(type)),
                              QgsWkbTypes::hasZ(type), QgsWkbTypes::hasM(type));
}

class QgisFeature : public IFeature {
public:
    QgisFeature(QgisFeatureClass& cls, QgsFeature feature, bool isNew)
        : class_(cls), feature_(std::move(feature)), new_(isNew) {}

    long long OID() const override { return feature_.id(); }
    int fieldCount() const override { return class_.fieldCount(); }
    int findField(const std::string& name) const override { return class_.findField(name); }

    FieldValue value(int index) const override {
        if (index == 0) return static_cast<long long>(feature_.id());
        const int attribute = class_.attributeIndex(index);
        if (attribute < 0) return std::monostate{};
        if (auto changed = changes_.find(attribute); changed != changes_.end())
            return fieldValueOf(changed->second);
        return attribute < feature_.attributes().size()
                   ? fieldValueOf(feature_.attribute(attribute))
                   : FieldValue{};
    }

    void setValue(int index, const FieldValue& value) override {
        const int attribute = class_.attributeIndex(index);
        if (attribute < 0) throw HostError("Field is not editable: " + class_.field(index).name);
        changes_[attribute] = variantOf(value, class_.layer().fields().at(attribute));
    }

    Geometry shape() const override {
        if (shape_) return *shape_;
        return feature_.hasGeometry() ? fromQgs(feature_.geometry()) : Geometry{};
    }
    void setShape(const Geometry& geometry) override { shape_ = geometry; }

    void store() override {
        class_.aboutToWrite();
        QgsVectorLayer& layer = class_.layer();
        if (new_) {
            storeNew(layer);
            return;
        }
        if (shape_) {
            QgsGeometry g = toQgs(*shape_, layer.wkbType());
            if (!layer.changeGeometry(feature_.id(), g))
                throw HostError("Cannot store the shape of feature " +
                                std::to_string(feature_.id()) + " of " + class_.name());
        }
        QgsAttributeMap changed;
        for (const auto& [attribute, v] : changes_) changed.insert(attribute, v);
        if (!changed.isEmpty() && !layer.changeAttributeValues(feature_.id(), changed))
            throw HostError("Cannot store feature " + std::to_string(feature_.id()) + " of " +
                            class_.name());
    }

private:
    void storeNew(QgsVectorLayer& layer) {
        QgsFeature f(layer.fields());
        for (const auto& [attribute, v] : changes_) f.setAttribute(attribute, v);
        if (shape_) f.setGeometry(toQgs(*shape_, layer.wkbType()));
        if (!layer.addFeature(f)) throw HostError("Cannot add a feature to " + class_.name());
        feature_ = f;
        new_ = false;
        changes_.clear();
        shape_.reset();
    }

    QgisFeatureClass& class_;
    QgsFeature feature_;
    bool new_;
    std::map<int, QVariant> changes_;  ///< attribute index -> value, until stored
    std::optional<Geometry> shape_;
};

}  // namespace

Geometry fromQgs(const QgsGeometry& geometry) {
    if (geometry.isNull()) return {};
    const QByteArray wkb = geometry.asWkb();
    OGRGeometry* ogr = nullptr;
    if (OGRGeometryFactory::createFromWkb(wkb.constData(), nullptr, &ogr, wkb.size(),
                                          wkbVariantIso) != OGRERR_NONE)
        throw HostError("Unreadable shape: " + text(geometry.asWkt()));
    std::unique_ptr<OGRGeometry> owned(ogr);
    try {
        return fromOgr(owned.get());
    } catch (const std::invalid_argument& e) {
        throw HostError(e.what());
    }
}

QgsGeometry toQgs(const Geometry& shape, int layerWkbType) {
    auto ogr = toOgr(shape, ogrTypeOf(static_cast<QgsWkbTypes::Type>(layerWkbType)));
    if (!ogr) return QgsGeometry();
    QByteArray wkb(static_cast<int>(ogr->WkbSize()), '\0');
    if (ogr->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(wkb.data()), wkbVariantIso) !=
        OGRERR_NONE)
        throw HostError("Cannot convert a shape for QGIS");
    QgsGeometry g;
    g.fromWkb(wkb);
    return g;
}

// ---- feature class -------------------------------------------------------------------------

QgisFeatureClass::QgisFeatureClass(QgsVectorLayer& layer, QgisEditor& editor, QgisMap& map)
    : layer_(&layer), editor_(editor), map_(map) {}

QgisFeatureClass::~QgisFeatureClass() = default;

void QgisFeatureClass::readSchema() const {
    const QgsFields fields = layer_->fields();
    if (schemaVersion_ == fields.count()) return;
    fields_.clear();
    attributes_.clear();
    // A GeoPackage's "fid" is an attribute in QGIS; it is the object identifier here.
    const QgsAttributeList keys =
        layer_->dataProvider() ? layer_->dataProvider()->pkAttributeIndexes() : QgsAttributeList();
    const int key = keys.size() == 1 ? keys.front() : -1;
    fields_.push_back({key >= 0 ? text(fields.at(key).name()) : "FID", FieldType::OID});
    attributes_.push_back(-1);
    if (layer_->isSpatial()) {
        Field shape{"SHAPE", FieldType::Geometry};
        shape.hasZ = QgsWkbTypes::hasZ(layer_->wkbType());
        shape.hasM = QgsWkbTypes::hasM(layer_->wkbType());
        fields_.push_back(shape);
        attributes_.push_back(-1);
    }
    for (int i = 0; i < fields.count(); ++i) {
        if (i == key) continue;
        fields_.push_back(
            {text(fields.at(i).name()), fieldTypeOf(fields.at(i)), fields.at(i).length()});
        attributes_.push_back(i);
    }
    schemaVersion_ = fields.count();
}

std::string QgisFeatureClass::name() const { return text(layer_->name()); }

std::optional<StoredClass> QgisFeatureClass::storedIn() const {
    if (!layer_ || layer_->providerType() != "ogr") return std::nullopt;
    const QVariantMap parts =
        QgsProviderRegistry::instance()->decodeUri(layer_->providerType(), layer_->source());
    const std::filesystem::path file = text(parts.value("path").toString());
    if (!std::filesystem::is_regular_file(file)) return std::nullopt;
    if (file.extension() == ".shp") return StoredClass{file, {}};
    const std::string table = text(parts.value("layerName").toString());
    if (table.empty()) return std::nullopt;
    return StoredClass{file, table};
}

std::string QgisFeatureClass::storagePath() const {
    const auto stored = storedIn();
    if (!stored) return {};
    return stored->shapefile() ? stored->file.string() : (stored->file / stored->table).string();
}

ISiblingClasses* QgisFeatureClass::siblings() {
    if (!storedIn()) return nullptr;
    if (!siblings_) siblings_ = std::make_unique<QgisSiblingClasses>(*this, editor_, map_);
    return siblings_.get();
}

int QgisFeatureClass::fieldCount() const {
    readSchema();
    return static_cast<int>(fields_.size());
}

const Field& QgisFeatureClass::field(int index) const {
    if (index < 0 || index >= fieldCount()) throw HostError("field index out of range");
    return fields_[static_cast<std::size_t>(index)];
}

int QgisFeatureClass::findField(const std::string& fieldName) const {
    readSchema();
    return findFieldByName(fields_, fieldName);
}

int QgisFeatureClass::attributeIndex(int index) const {
    if (index < 0 || index >= fieldCount()) throw HostError("field index out of range");
    return attributes_[static_cast<std::size_t>(index)];
}

void QgisFeatureClass::aboutToWrite() { editor_.aboutToWrite(*layer_); }

void QgisFeatureClass::addField(const Field& field) {
    aboutToWrite();
    if (!layer_->addAttribute(qgsFieldOf(field)))
        throw HostError("Cannot add field " + field.name + " to " + name());
}

std::vector<long long> QgisFeatureClass::matchingIds(const QueryFilter* filter) {
    QgsFeatureRequest request;
    request.setNoAttributes();
    if (filter && !filter->whereClause.empty()) {
        QgsExpression expression(qtext(filter->whereClause));
        if (expression.hasParserError())
            throw HostError("invalid condition \"" + filter->whereClause + "\" on " + name());
        request.setFilterExpression(expression.expression());
    }
    if (filter && filter->geometry)
        request.setFilterRect(toQgs(*filter->geometry, QgsWkbTypes::Unknown).boundingBox());
    else
        request.setFlags(request.flags() | QgsFeatureRequest::NoGeometry);
    std::vector<long long> ids;
    QgsFeatureIterator it = layer_->getFeatures(request);
    QgsFeature f;
    while (it.nextFeature(f)) ids.push_back(f.id());
    std::sort(ids.begin(), ids.end());
    return ids;
}

long QgisFeatureClass::featureCount(const QueryFilter* filter) {
    return static_cast<long>(matchingIds(filter).size());
}

FeatureCursorPtr QgisFeatureClass::search(const QueryFilter* filter) {
    return std::make_unique<IdListCursor>(*this, matchingIds(filter));
}

FeaturePtr QgisFeatureClass::getFeature(long long oid) {
    QgsFeature f = layer_->getFeature(oid);
    if (!f.isValid()) return nullptr;
    return std::make_unique<QgisFeature>(*this, f, false);
}

ShapeType QgisFeatureClass::shapeType() const {
    const QgsWkbTypes::Type type = layer_->wkbType();
    switch (QgsWkbTypes::geometryType(type)) {
        case QgsWkbTypes::PointGeometry:
            return QgsWkbTypes::isMultiType(type) ? ShapeType::Multipoint : ShapeType::Point;
        case QgsWkbTypes::LineGeometry:
            return ShapeType::Polyline;
        case QgsWkbTypes::PolygonGeometry:
            return ShapeType::Polygon;
        default:
            return ShapeType::Null;
    }
}

std::string QgisFeatureClass::shapeFieldName() const {
    return layer_->isSpatial() ? field(1).name : "SHAPE";
}

FeaturePtr QgisFeatureClass::createFeature() {
    return std::make_unique<QgisFeature>(*this, QgsFeature(layer_->fields()), true);
}

// ---- selection -----------------------------------------------------------------------------

long QgisSelectionSet::count() const { return class_.layer().selectedFeatureCount(); }

const std::vector<long long>& QgisSelectionSet::ids() const {
    const QgsFeatureIds selected = class_.layer().selectedFeatureIds();
    ids_.assign(selected.begin(), selected.end());
    std::sort(ids_.begin(), ids_.end());
    return ids_;
}

void QgisSelectionSet::add(long long oid) { class_.layer().select(oid); }

void QgisSelectionSet::clear() { class_.layer().removeSelection(); }

FeatureCursorPtr QgisSelectionSet::search(const QueryFilter* filter) {
    std::vector<long long> chosen = ids();
    if (filter) {
        const std::vector<long long> matching = class_.matchingIds(filter);
        std::erase_if(chosen, [&](long long id) {
            return !std::binary_search(matching.begin(), matching.end(), id);
        });
    }
    return std::make_unique<IdListCursor>(class_, std::move(chosen));
}

std::string QgisFeatureLayer::name() const {
    return class_.alive() ? text(class_.layer().name()) : std::string();
}

}  // namespace ondu::qgis
