#include "framework/map_helpers.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <set>

#include "framework/edit_state.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/shared_state.h"
#include "framework/ui.h"

namespace ondu::maputil {

namespace {

constexpr long kObjectNotSetNumber = 91;
constexpr long kTypeMismatchNumber = 13;

IMap& focusMapOf(IDocument* document) {
    if (!document) throw objectNotSet();
    return document->focusMap();
}

IFeatureLayer& layerOf(IFeatureLayer* layer) {
    if (!layer) throw objectNotSet();
    return *layer;
}

bool isSurfaceLayer(const ILayer& layer) {
    return layer.kind() == LayerKind::Tin || layer.kind() == LayerKind::Raster;
}

bool isPolylineLayerWith(IFeatureLayer& layer, bool needZ, bool needM) {
    IFeatureClass* cls = layer.featureClass();
    if (!cls || cls->shapeType() != ShapeType::Polyline) return false;
    const Field* shape = shapeField(*cls);
    if (!shape || shape->type != FieldType::Geometry) return false;
    return (!needZ || shape->hasZ) && (!needM || shape->hasM);
}

/// Only polyline lists pass over a layer without a class; the point and polygon lists ask the
/// missing class for its shape type and fail, as the host does.
bool isListed(IFeatureLayer& layer, channel::ShapeKind kind, bool needZ, bool needM) {
    switch (kind) {
        case channel::ShapeKind::Polyline:
            return isPolylineLayerWith(layer, needZ, needM);
        case channel::ShapeKind::Point:
            return featureClassOf(&layer).shapeType() == ShapeType::Point;
        case channel::ShapeKind::Polygon:
            return featureClassOf(&layer).shapeType() == ShapeType::Polygon;
    }
    return false;
}

/// Shows the first entry equal to the default, else the first entry, else empty text.
void showDefault(Control& list, const std::string& defaultName) {
    auto shown = list.items.end();
    if (!defaultName.empty()) shown = std::find(list.items.begin(), list.items.end(), defaultName);
    if (shown == list.items.end()) shown = list.items.begin();
    list.text = shown == list.items.end() ? std::string() : *shown;
}

/// The first top-level layer named exactly `name` among those that take part; nullptr when none.
ILayer* firstLayerNamed(IDocument* document, const std::string& name,
                        const std::function<bool(const ILayer&)>& takesPart) {
    IMap& map = focusMapOf(document);
    for (int i = 0; i < map.layerCount(); ++i) {
        ILayer& layer = map.layer(i);
        if (takesPart(layer) && layer.name() == name) return &layer;
    }
    return nullptr;
}

/// The processing set: the selection when there is one, else the whole class.
FeatureCursorPtr searchProcessingSet(IFeatureLayer& layer, const QueryFilter* filter) {
    if (layer.selectionSet().count() > 0) return layer.selectionSet().search(filter);
    return featureClassOf(&layer).search(filter);
}

}  // namespace

HostError objectNotSet() {
    return HostError("Object variable or With block variable not set", kObjectNotSetNumber);
}

IFeatureClass& featureClassOf(IFeatureLayer* layer) {
    IFeatureClass* cls = layerOf(layer).featureClass();
    if (!cls) throw objectNotSet();
    return *cls;
}

const Field* shapeField(const IFeatureClass& cls) {
    const int named = cls.findField(cls.shapeFieldName());
    if (named >= 0) return &cls.field(named);
    for (int i = 0; i < cls.fieldCount(); ++i)
        if (cls.field(i).type == FieldType::Geometry) return &cls.field(i);
    return nullptr;
}

void FillComboBox(IDocument* document, int layerCount, Control& list, channel::ShapeKind kind,
                  bool needZ, bool needM, const std::string& defaultName) {
    try {
        list.clear();
        IMap& map = focusMapOf(document);
        for (int i = 0; i < layerCount; ++i) {
            IFeatureLayer* layer = map.layer(i).asFeatureLayer();
            if (layer && isListed(*layer, kind, needZ, needM)) list.addItem(layer->name());
        }
        showDefault(list, defaultName);
    } catch (const std::exception& e) {
        reportMapError("FillComboBox", e);
    }
}

void FillFieldComboBox(IFeatureLayer* layer, Control& list, const std::string& defaultName) {
    FillFieldComboBox(featureClassOf(layer), list, defaultName);
}

namespace {
bool passes(FieldType type, FieldFilter filter) {
    switch (filter) {
        case FieldFilter::Numeric:
            return type == FieldType::SmallInteger || type == FieldType::Integer ||
                   type == FieldType::Single || type == FieldType::Double || type == FieldType::OID;
        case FieldFilter::Text:
            return type == FieldType::String;
        default:
            return true;
    }
}
}  // namespace

void FillFieldComboBox(const ITable& table, Control& list, const std::string& defaultName,
                       FieldFilter filter) {
    list.clear();
    for (int i = 0; i < table.fieldCount(); ++i)
        if (passes(table.field(i).type, filter)) list.addItem(table.field(i).name);
    showDefault(list, defaultName);
}

void FillTableComboBox(IDocument* document, Control& list) {
    list.clear();
    IMap& map = focusMapOf(document);
    for (int i = 0; i < map.tableCount(); ++i) list.addItem(map.table(i).name());
    showDefault(list, "");
}

namespace {
constexpr const char* kNoTable = "No Table found in the map";

ITable* tableNamed(IDocument* document, const std::string& name) {
    IMap& map = focusMapOf(document);
    for (int i = 0; i < map.tableCount(); ++i)
        if (map.table(i).name() == name) return &map.table(i);
    return nullptr;
}
}  // namespace

std::string firstRealField(const ITable& table, FieldFilter filter) {
    std::string fallback;
    for (int i = 0; i < table.fieldCount(); ++i) {
        const Field& field = table.field(i);
        if (!passes(field.type, filter)) continue;
        if (field.type != FieldType::OID && field.type != FieldType::Geometry) return field.name;
        if (fallback.empty()) fallback = field.name;
    }
    return fallback;
}

void FillTableFieldComboBox(const ITable& table, Control& list, const std::string& proposedName,
                            FieldFilter filter) {
    FillFieldComboBox(table, list, proposedName, filter);
    if (list.text != proposedName) list.text = firstRealField(table, filter);
}

ITable* SelectTable(IDocument* document, const std::string& name) {
    if (ITable* table = tableNamed(document, name)) return table;
    MsgBox(kNoTable, MsgButtons::OK, "Warning");
    return nullptr;
}

ITable& RequireTable(IDocument* document, const std::string& name) {
    if (ITable* table = tableNamed(document, name)) return *table;
    throw RunRefused(kNoTable);
}

void FillSurfaceComboBox(IDocument* document, int layerCount, Control& list) {
    try {
        list.clear();
        if (layerCount > 0) {
            list.enabled = true;
            IMap& map = focusMapOf(document);
            for (int i = 0; i < layerCount; ++i) {
                const ILayer& layer = map.layer(i);
                if (isSurfaceLayer(layer)) list.addItem(layer.name());
            }
        }
        showDefault(list, "");
    } catch (const std::exception& e) {
        MsgBox(describe(e).description, MsgButtons::OK, "Add surface layer to combobox");
    }
}

void FillRasterComboBox(IDocument* document, Control& list) {
    list.clear();
    IMap& map = focusMapOf(document);
    if (map.layerCount() > 0) list.enabled = true;
    for (int i = 0; i < map.layerCount(); ++i) {
        const ILayer& layer = map.layer(i);
        if (layer.kind() == LayerKind::Raster) list.addItem(layer.name());
    }
    showDefault(list, "");
}

IRasterLayer* SelectRasterLayer(IDocument* document, const std::string& name) {
    try {
        ILayer* layer = firstLayerNamed(
            document, name, [](const ILayer& l) { return l.kind() == LayerKind::Raster; });
        return layer ? layer->asRasterLayer() : nullptr;
    } catch (const std::exception& e) {
        reportMapError("SelectRasterLayer", e);
        return nullptr;
    }
}

IFeatureLayer* SelectLayer(IDocument* document, const std::string& name) {
    try {
        ILayer* layer = firstLayerNamed(document, name, [](const ILayer&) { return true; });
        if (!layer) return nullptr;
        IFeatureLayer* featureLayer = layer->asFeatureLayer();
        if (!featureLayer) throw HostError("Type mismatch", kTypeMismatchNumber);
        return featureLayer;
    } catch (const std::exception& e) {
        reportMapError("SelectLayer", e);
        return nullptr;
    }
}

ILayer* SelectSurfaceLayer(IDocument* document, const std::string& name) {
    try {
        return firstLayerNamed(document, name, isSurfaceLayer);
    } catch (const std::exception& e) {
        reportMapError("SelectRasterLayer", e);
        return nullptr;
    }
}

FeatureCursorPtr GetFeatureCursor(IFeatureLayer* layer) {
    return searchProcessingSet(layerOf(layer), nullptr);
}

long GetSelectionCount(IFeatureLayer* layer) { return layerOf(layer).selectionSet().count(); }

FeaturePtr GetFeatureByValue(IFeatureLayer* layer, const std::string& fieldName,
                             const FieldValue& value) {
    QueryFilter filter;
    filter.whereClause = fieldName + " = " + toText(value);
    try {
        return searchProcessingSet(layerOf(layer), &filter)->nextFeature();
    } catch (const std::exception&) {
        MsgBox(filter.whereClause);
        return nullptr;
    }
}

void GetUniqueValues(ITable* table, const std::string& fieldName, std::vector<FieldValue>& values) {
    if (!table) throw objectNotSet();
    const int index = table->findField(fieldName);
    if (index < 0) throw HostError("Field " + fieldName + " not found in " + table->name());
    std::vector<FieldValue> distinct;
    std::set<FieldValue> seen;
    auto cursor = table->search(nullptr);
    while (auto row = cursor->nextFeature()) {
        FieldValue value = row->value(index);
        if (!isNull(value) && seen.insert(value).second) distinct.push_back(std::move(value));
    }
    if (!distinct.empty()) values = std::move(distinct);
}

void AddField(IFeatureLayer* layer, const std::string& name, FieldType type) {
    Field field;
    field.name = name;
    field.type = type;
    featureClassOf(layer).addField(field);
}

bool HasZValues(IFeatureLayer* layer) {
    const Field* shape = shapeField(featureClassOf(layer));
    return shape && shape->type == FieldType::Geometry && shape->hasZ;
}

bool EditSession() { return editSessionOpen(); }

IFeatureLayer* RequireLayer(IDocument* document, const std::string& name, const std::string& role) {
    if (name.empty())
        throw HostError("No " + role + " layer chosen: the map '" + focusMapOf(document).name() +
                            "' offers none",
                        error_number::kObjectNotSet);
    IFeatureLayer* layer = SelectLayer(document, name);
    if (!layer)
        throw HostError("No " + role + " layer '" + name + "' in the map",
                        error_number::kObjectNotSet);
    if (!layer->featureClass())
        throw HostError("The data source of the " + role + " layer '" + name + "' is missing",
                        error_number::kObjectNotSet);
    return layer;
}

long RequireFeaturesToProcess(IFeatureLayer* layer) {
    long count = 0;
    if (GetSelectionCount(layer) > 0) {
        auto cursor = GetFeatureCursor(layer);
        while (cursor->nextFeature()) ++count;
    } else {
        count = featureClassOf(layer).featureCount(nullptr);
    }
    if (count == 0) throw RunRefused("No features to process in " + layer->name());
    return count;
}

void RefuseSameLayer(IFeatureLayer* output, const std::string& outputRole, IFeatureLayer* input,
                     const std::string& inputRole) {
    if (output != input && output->featureClass() != input->featureClass()) return;
    throw RunRefused("The " + outputRole + " layer '" + output->name() + "' is the " + inputRole +
                     " layer '" + input->name() + "': choose another layer for the results");
}

Geometry CheckedShape(const IFeature& feature, const std::string& layerName) {
    Geometry shape = feature.shape();
    const std::string which =
        "Feature " + std::to_string(feature.OID()) + " of " + layerName + " has ";
    if (isEmpty(shape)) throw HostError(which + "no shape", error_number::kObjectNotSet);
    for (const Point& p : allVertices(shape)) {
        // An unset Z or M is NaN by design; an infinite one, or a NaN X or Y, is bad data.
        const bool finite =
            std::isfinite(p.x) && std::isfinite(p.y) && !std::isinf(p.z) && !std::isinf(p.m);
        if (!finite)
            throw HostError(which + "a coordinate that is not a finite number",
                            error_number::kInvalidArgument);
    }
    return shape;
}

namespace {
template <class Shape>
Shape checkedShapeOf(const IFeature& feature, const std::string& layerName, const char* kind) {
    Geometry shape = CheckedShape(feature, layerName);
    if (auto* typed = std::get_if<Shape>(&shape)) return std::move(*typed);
    throw HostError("Type mismatch: feature " + std::to_string(feature.OID()) + " of " + layerName +
                        " is not a " + kind,
                    error_number::kTypeMismatch);
}
}  // namespace

Polyline CheckedPolyline(const IFeature& feature, const std::string& layerName) {
    return checkedShapeOf<Polyline>(feature, layerName, "line");
}

Point CheckedPoint(const IFeature& feature, const std::string& layerName) {
    return checkedShapeOf<Point>(feature, layerName, "point");
}

int RequireField(const ITable& cls, const std::string& name) {
    const int index = cls.findField(name);
    if (index < 0)
        throw HostError("Item not found in this collection (field " + name + ")",
                        error_number::kItemNotFound);
    return index;
}

double RequireNumber(const IFeature& feature, int index, const ITable& table) {
    if (auto value = toDouble(feature.value(index))) return *value;
    throw HostError("Invalid use of Null (" + table.field(index).name + ")",
                    error_number::kInvalidUseOfNull);
}

void SetLineMs(Polyline& line, double startM, double endM) {
    line = setMeasuresByDistance(line, startM, endM);
}

void ShowCreatedLayer(IDocument* document, const CreatedLayer& layer) {
    if (document) document->focusMap().layerCreated(layer);
}

void ShowCreatedClass(IDocument* document, IFeatureClass& cls) {
    const std::filesystem::path path = ClassPath(cls);
    if (path.empty()) return;
    // A shapefile is its own dataset; any other file holds the class as one of its tables.
    if (path.extension() == ".shp")
        ShowCreatedLayer(document, {LayerKind::Feature, cls.name(), path.string(), ""});
    else
        ShowCreatedLayer(document, {LayerKind::Feature, cls.name(), path.parent_path().string(),
                                    path.filename().string()});
}

}  // namespace ondu::maputil
