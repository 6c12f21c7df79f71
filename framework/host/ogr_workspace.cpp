#include "framework/host/ogr_workspace.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <filesystem>

#include "framework/field_names.h"
#include "framework/file_commit.h"
#include "framework/host/gpkg_attribute_writer.h"
#include "framework/host/ogr_geometry.h"

namespace ondu {

namespace {

/// Every OGR failure reaches the tools as a HostError with GDAL's last message.
[[noreturn]] void fail(const std::string& what) {
    std::string detail = CPLGetLastErrorMsg();
    throw HostError(detail.empty() ? what : what + ": " + detail);
}

void check(OGRErr err, const std::string& what) {
    if (err != OGRERR_NONE) fail(what);
}

void ensureDriversRegistered() {
    static const bool registered = [] {
        // A tool edits rows all over a file inside one transaction; SQLite's default 2 MB page
        // cache then spills dirty pages to disk again and again. The cache only grows as pages
        // are touched.
        if (!CPLGetConfigOption("OGR_SQLITE_CACHE", nullptr))
            CPLSetConfigOption("OGR_SQLITE_CACHE", "256");
        GDALAllRegister();
        return true;
    }();
    (void)registered;
}

ShapeType shapeTypeOfOgr(OGRwkbGeometryType type) {
    switch (wkbFlatten(type)) {
        case wkbPoint:
            return ShapeType::Point;
        case wkbMultiPoint:
            return ShapeType::Multipoint;
        case wkbLineString:
        case wkbMultiLineString:
            return ShapeType::Polyline;
        case wkbPolygon:
        case wkbMultiPolygon:
            return ShapeType::Polygon;
        default:
            return ShapeType::Null;
    }
}

FieldType fieldTypeOfOgr(const OGRFieldDefn& defn) {
    switch (defn.GetType()) {
        case OFTInteger:
            return defn.GetSubType() == OFSTInt16 ? FieldType::SmallInteger : FieldType::Integer;
        case OFTInteger64:
            return FieldType::Integer;
        case OFTReal:
            return defn.GetSubType() == OFSTFloat32 ? FieldType::Single : FieldType::Double;
        case OFTDate:
        case OFTDateTime:
            return FieldType::Date;
        case OFTBinary:
            return FieldType::Blob;
        default:
            return FieldType::String;
    }
}

}  // namespace

std::unique_ptr<OGRFieldDefn> ogrFieldOf(const Field& field) {
    OGRFieldType type = OFTString;
    OGRFieldSubType subType = OFSTNone;
    switch (field.type) {
        case FieldType::SmallInteger:
            type = OFTInteger;
            subType = OFSTInt16;
            break;
        case FieldType::Integer:
            type = OFTInteger;
            break;
        case FieldType::Single:
            type = OFTReal;
            subType = OFSTFloat32;
            break;
        case FieldType::Double:
            type = OFTReal;
            break;
        case FieldType::Date:
            type = OFTDate;
            break;
        case FieldType::Blob:
            type = OFTBinary;
            break;
        default:
            type = OFTString;
    }
    auto defn = std::make_unique<OGRFieldDefn>(field.name.c_str(), type);
    defn->SetSubType(subType);
    // Text fields receive reach and river names: 254 fits every store, dBASE included.
    if (type == OFTString) defn->SetWidth(field.length > 0 ? field.length : 254);
    return defn;
}

// ---- dataset -----------------------------------------------------------------------------

OgrDataset::OgrDataset(const std::string& path) : path_(path) {
    ensureDriversRegistered();
    dataset_ = GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE);
    writable_ = dataset_ != nullptr;
    if (!dataset_) dataset_ = GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY);
    if (!dataset_) fail("cannot open " + path);
    attributeWriter_ = GpkgAttributeWriter::forDataset(*dataset_);
}

OgrDataset::~OgrDataset() {
    attributeWriter_.reset();  // its statements go before the connection
    if (inTransaction_) dataset_->RollbackTransaction();
    GDALClose(dataset_);
}

bool OgrDataset::updateAttributes(OGRLayer& layer, const OGRFeature& feature,
                                  const std::vector<int>& fields) {
    return attributeWriter_ && attributeWriter_->write(layer, feature, fields);
}

void OgrDataset::beginEdit() {
    if (inTransaction_ || !writable_) return;
    inTransaction_ = dataset_->StartTransaction(FALSE) == OGRERR_NONE;
    if (attributeWriter_) attributeWriter_->editBoundary();
}

void OgrDataset::endEdit(bool save) {
    if (!inTransaction_) return;
    inTransaction_ = false;
    if (attributeWriter_) attributeWriter_->editBoundary();
    if (save)
        check(dataset_->CommitTransaction(), "cannot save the edits of " + path_);
    else
        check(dataset_->RollbackTransaction(), "cannot discard the edits of " + path_);
}

// ---- features ----------------------------------------------------------------------------

namespace {

class OgrFeature : public IFeature {
public:
    OgrFeature(OgrFeatureClass& cls, std::unique_ptr<OGRFeature> feature)
        : class_(cls), feature_(std::move(feature)) {}

    long long OID() const override { return feature_->GetFID(); }
    int fieldCount() const override { return class_.fieldCount(); }
    int findField(const std::string& name) const override { return class_.findField(name); }

    FieldValue value(int index) const override {
        if (index == 0) return static_cast<long long>(feature_->GetFID());
        int ogr = class_.ogrFieldIndex(index);
        if (ogr < 0 || !feature_->IsFieldSetAndNotNull(ogr)) return std::monostate{};
        switch (feature_->GetFieldDefnRef(ogr)->GetType()) {
            case OFTInteger:
            case OFTInteger64:
                return static_cast<long long>(feature_->GetFieldAsInteger64(ogr));
            case OFTReal:
                return feature_->GetFieldAsDouble(ogr);
            default:
                return std::string(feature_->GetFieldAsString(ogr));
        }
    }

    void setValue(int index, const FieldValue& value) override {
        int ogr = class_.ogrFieldIndex(index);
        if (ogr < 0) throw HostError("field " + std::to_string(index) + " cannot be written");
        if (std::find(changedFields_.begin(), changedFields_.end(), ogr) == changedFields_.end())
            changedFields_.push_back(ogr);
        if (isNull(value)) return feature_->SetFieldNull(ogr);
        switch (feature_->GetFieldDefnRef(ogr)->GetType()) {
            case OFTInteger:
            case OFTInteger64:
            case OFTReal: {
                auto number = toDouble(value);
                if (!number) throw HostError("Type mismatch", 13);
                if (feature_->GetFieldDefnRef(ogr)->GetType() == OFTReal)
                    feature_->SetField(ogr, *number);
                else
                    feature_->SetField(ogr, static_cast<GIntBig>(std::nearbyint(*number)));
                return;
            }
            default:
                feature_->SetField(ogr, toText(value).c_str());
        }
    }

    Geometry shape() const override { return fromOgr(feature_->GetGeometryRef()); }

    void setShape(const Geometry& geometry) override {
        check(
            feature_->SetGeometryDirectly(toOgr(geometry, class_.layer()->GetGeomType()).release()),
            "cannot set the shape");
        shapeChanged_ = true;
    }

    void store() override {
        OGRLayer* layer = class_.layer();
        if (feature_->GetFID() == OGRNullFID) {
            check(layer->CreateFeature(feature_.get()),
                  "cannot store a new feature in " + class_.name());
        } else if (!shapeChanged_ && changedFields_.empty()) {
            // Nothing to write.
        } else if (shapeChanged_ ||
                   !class_.dataset().updateAttributes(*layer, *feature_, changedFields_)) {
            // Rewriting the whole row also rewrites its shape and spatial index entry: only
            // worth it when the shape changed or the store has no narrower way.
            check(layer->SetFeature(feature_.get()), "cannot store feature " +
                                                         std::to_string(feature_->GetFID()) +
                                                         " of " + class_.name());
        }
        changedFields_.clear();
        shapeChanged_ = false;
    }

private:
    OgrFeatureClass& class_;
    std::unique_ptr<OGRFeature> feature_;
    std::vector<int> changedFields_;  ///< OGR indices set since the last store
    bool shapeChanged_ = false;
};

/// A full scan read in chunks in identifier order. Each chunk is read at once and the layer's
/// reading position is restored before the cursor hands out anything, so several cursors and
/// lookups on one layer still never disturb each other.
class ScanCursor : public IFeatureCursor {
public:
    explicit ScanCursor(OgrFeatureClass& cls) : class_(cls) {}

    /// Whether the store can resume a scan after a given feature cheaply.
    static bool suits(OgrFeatureClass& cls) {
        return cls.dataset().updatesInPlace() || cls.layer()->TestCapability(OLCFastSetNextByIndex);
    }

    FeaturePtr nextFeature() override {
        if (next_ == chunk_.size()) {
            if (finished_) return nullptr;
            readChunk();
            if (chunk_.empty()) return nullptr;
        }
        return std::make_unique<OgrFeature>(class_, std::move(chunk_[next_++]));
    }

private:
    static constexpr std::size_t kChunkSize = 4096;

    void readChunk() {
        chunk_.clear();
        next_ = 0;
        OGRLayer* layer = class_.layer();
        positionAfterLastRead();
        CPLErrorReset();
        while (chunk_.size() < kChunkSize) {
            std::unique_ptr<OGRFeature> f(layer->GetNextFeature());
            if (!f) break;
            chunk_.push_back(std::move(f));
        }
        const bool failed = CPLGetLastErrorType() == CE_Failure;
        class_.applyFilter(nullptr);
        if (failed) fail("cannot read " + class_.name());
        finished_ = chunk_.size() < kChunkSize;
        read_ += chunk_.size();
        if (!chunk_.empty()) lastId_ = chunk_.back()->GetFID();
    }

    void positionAfterLastRead() {
        OGRLayer* layer = class_.layer();
        if (read_ == 0 || !class_.dataset().updatesInPlace()) {
            class_.applyFilter(nullptr);
            layer->ResetReading();
            if (read_ > 0) layer->SetNextByIndex(static_cast<GIntBig>(read_));
            return;
        }
        QueryFilter after;
        after.whereClause = std::string(layer->GetFIDColumn()) + " > " + std::to_string(lastId_);
        class_.applyFilter(&after);
        layer->ResetReading();
    }

    OgrFeatureClass& class_;
    std::vector<std::unique_ptr<OGRFeature>> chunk_;
    std::size_t next_ = 0;
    std::size_t read_ = 0;
    long long lastId_ = 0;
    bool finished_ = false;
};

}  // namespace

// ---- feature class -----------------------------------------------------------------------

FeaturePtr IdListCursor::nextFeature() {
    while (next_ < ids_.size())
        if (auto f = table_.getFeature(ids_[next_++])) return f;
    return nullptr;
}

OgrFeatureClass::OgrFeatureClass(std::shared_ptr<OgrDataset> dataset, OGRLayer* layer)
    : dataset_(std::move(dataset)), layer_(layer) {
    readSchema();
}

void OgrFeatureClass::readSchema() {
    fields_.clear();
    OGRFeatureDefn* defn = layer_->GetLayerDefn();
    const char* fid = layer_->GetFIDColumn();
    fields_.push_back({fid && *fid ? fid : "FID", FieldType::OID});
    hasGeometry_ = defn->GetGeomFieldCount() > 0 && layer_->GetGeomType() != wkbNone;
    if (hasGeometry_) {
        OGRwkbGeometryType type = layer_->GetGeomType();
        shapeType_ = shapeTypeOfOgr(type);
        const char* geomName = layer_->GetGeometryColumn();
        Field shape{geomName && *geomName ? geomName : "SHAPE", FieldType::Geometry};
        shape.hasZ = OGR_GT_HasZ(type);
        shape.hasM = OGR_GT_HasM(type);
        fields_.push_back(shape);
    }
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
        const OGRFieldDefn* f = defn->GetFieldDefn(i);
        fields_.push_back({f->GetNameRef(), fieldTypeOfOgr(*f), f->GetWidth()});
    }
}

std::string OgrFeatureClass::name() const { return layer_->GetName(); }

std::string OgrFeatureClass::shapeFieldName() const {
    return hasGeometry_ ? fields_[1].name : "SHAPE";
}

const Field& OgrFeatureClass::field(int index) const {
    if (index < 0 || index >= fieldCount()) throw HostError("field index out of range");
    return fields_[static_cast<std::size_t>(index)];
}

int OgrFeatureClass::findField(const std::string& fieldName) const {
    return findFieldByName(fields_, fieldName);
}

int OgrFeatureClass::ogrFieldIndex(int index) const {
    return index < firstAttributeIndex() ? -1 : index - firstAttributeIndex();
}

void OgrFeatureClass::addField(const Field& field) {
    auto defn = ogrFieldOf(field);
    check(layer_->CreateField(defn.get()), "cannot add field " + field.name + " to " + name());
    readSchema();
}

void OgrFeatureClass::applyFilter(const QueryFilter* filter) {
    CPLErrorReset();
    const std::string where = filter ? filter->whereClause : std::string();
    check(layer_->SetAttributeFilter(where.empty() ? nullptr : where.c_str()),
          "invalid condition \"" + where + "\" on " + name());
    if (filter && filter->geometry) {
        auto g = toOgr(*filter->geometry);
        layer_->SetSpatialFilter(g.get());
    } else {
        layer_->SetSpatialFilter(nullptr);
    }
}

namespace {

bool meetsSpatialRelation(const OGRGeometry& candidate, const OGRGeometry& query, SpatialRel rel) {
    switch (rel) {
        case SpatialRel::Contains:
            return candidate.Contains(&query);
        case SpatialRel::Within:
            return candidate.Within(&query);
        case SpatialRel::Touches:
            return candidate.Touches(&query);
        case SpatialRel::Crosses:
            return candidate.Crosses(&query);
        case SpatialRel::Overlaps:
            return candidate.Overlaps(&query);
        case SpatialRel::EnvelopeIntersects:
            return true;
        default:
            return candidate.Intersects(&query);
    }
}

/// Identifiers of the features meeting the filter, ascending: index and R-tree searches return
/// them in their own order, and "the first feature found" must not depend on that.
std::vector<long long> matchingIds(OgrFeatureClass& cls, const QueryFilter* filter) {
    cls.applyFilter(filter);
    OGRLayer* layer = cls.layer();
    std::unique_ptr<OGRGeometry> query;
    const bool refine =
        filter && filter->geometry && filter->spatialRel != SpatialRel::EnvelopeIntersects;
    if (refine) query = toOgr(*filter->geometry);
    std::vector<long long> ids;
    layer->ResetReading();
    CPLErrorReset();
    while (auto f = std::unique_ptr<OGRFeature>(layer->GetNextFeature())) {
        if (refine) {
            const OGRGeometry* g = f->GetGeometryRef();
            if (!g || !meetsSpatialRelation(*g, *query, filter->spatialRel)) continue;
        }
        ids.push_back(f->GetFID());
    }
    // Some stores only find out while reading that a condition names no column.
    const bool readFailed = CPLGetLastErrorType() == CE_Failure;
    const std::string condition = filter ? filter->whereClause : std::string();
    if (readFailed) fail("cannot search " + cls.name() + " for \"" + condition + "\"");
    cls.applyFilter(nullptr);
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace

long OgrFeatureClass::featureCount(const QueryFilter* filter) {
    if (!filter || (filter->whereClause.empty() && !filter->geometry)) {
        applyFilter(nullptr);
        return static_cast<long>(layer_->GetFeatureCount(TRUE));
    }
    return static_cast<long>(matchingIds(*this, filter).size());
}

FeatureCursorPtr OgrFeatureClass::search(const QueryFilter* filter) {
    const bool wholeClass = !filter || (filter->whereClause.empty() && !filter->geometry);
    if (wholeClass && ScanCursor::suits(*this)) return std::make_unique<ScanCursor>(*this);
    return std::make_unique<IdListCursor>(*this, matchingIds(*this, filter));
}

FeaturePtr OgrFeatureClass::getFeature(long long oid) {
    std::unique_ptr<OGRFeature> f(layer_->GetFeature(oid));
    if (!f) return nullptr;
    return std::make_unique<OgrFeature>(*this, std::move(f));
}

FeaturePtr OgrFeatureClass::createFeature() {
    auto f = std::make_unique<OGRFeature>(layer_->GetLayerDefn());
    // Unset fields make GeoPackage updates skip them, and its cached update statement then
    // fails on the next feature: a new row holds nulls, as a fetched one does.
    for (int i = 0; i < f->GetFieldCount(); ++i) f->SetFieldNull(i);
    check(layer_->CreateFeature(f.get()), "cannot create a feature in " + name());
    return std::make_unique<OgrFeature>(*this, std::move(f));
}

std::unique_ptr<ITable> openTable(const std::string& path, const std::string& tableName) {
    auto dataset = std::make_shared<OgrDataset>(path);
    OGRLayer* layer = dataset->handle()->GetLayerByName(tableName.c_str());
    if (!layer) throw HostError("no table " + tableName + " in " + path);
    return std::make_unique<OgrFeatureClass>(dataset, layer);
}

namespace {

void createEmptyTable(const std::string& path, const std::string& tableName,
                      const std::vector<Field>& fields) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (!driver) fail("the GeoPackage driver is not available");
    GDALDatasetUniquePtr created(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!created) fail("cannot create " + path);
    OGRLayer* layer = created->CreateLayer(tableName.c_str(), nullptr, wkbNone, nullptr);
    if (!layer) fail("cannot create the table " + tableName + " in " + path);
    for (const Field& field : fields)
        check(layer->CreateField(ogrFieldOf(field).get()), "cannot add the field " + field.name);
}

void removeWithSidecars(const std::string& path) {
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(path + suffix, ignored);
}

}  // namespace

void writeTable(const std::string& path, const std::string& tableName,
                const std::vector<Field>& fields,
                const std::vector<std::vector<FieldValue>>& rows) {
    ensureDriversRegistered();
    CPLErrorReset();
    PendingFiles files;
    const std::string temporary = files.add(path);
    removeWithSidecars(temporary);
    try {
        createEmptyTable(temporary, tableName, fields);
        {
            auto dataset = std::make_shared<OgrDataset>(temporary);
            OgrFeatureClass table(dataset, dataset->handle()->GetLayerByName(tableName.c_str()));
            dataset->beginEdit();
            for (const auto& row : rows) {
                FeaturePtr feature = table.createFeature();
                for (std::size_t i = 0; i < fields.size() && i < row.size(); ++i)
                    feature->setValue(table.findField(fields[i].name), row[i]);
                feature->store();
            }
            dataset->endEdit(true);
        }
        // A journal left beside the replaced file must not be played back into the new one.
        for (const char* suffix : {"-journal", "-wal", "-shm"}) {
            std::error_code ignored;
            std::filesystem::remove(path + suffix, ignored);
        }
        files.commit();
    } catch (...) {
        removeWithSidecars(temporary);
        throw;
    }
}

}  // namespace ondu
