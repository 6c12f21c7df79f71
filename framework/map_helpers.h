#pragma once
// maputil: the routines every dialog uses to reach the map: filling lists with layers and fields,
// turning a chosen name back into a layer, walking the features a tool processes, looking a
// feature up by value, adding fields, testing the edit state and giving a line measures.
//
// The routines keep no state. Those that trap their failures show one of two message boxes:
// - the map style (FillComboBox, SelectLayer, SelectSurfaceLayer, EditSession): title
//   "Error in <routine>, Error Number: <number>", text "Following error occured: <description>.";
// - FillSurfaceComboBox: the bare description, titled "Add surface layer to combobox".
// GetFeatureByValue shows its condition instead. The others let failures reach their caller.

#include <memory>
#include <string>
#include <vector>

#include "framework/channel_model.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu::maputil {

/// The host's error for a reference that holds nothing (number 91), as a missing document,
/// layer, class or feature reports itself.
HostError objectNotSet();

/// The class behind a feature layer; throws objectNotSet() for a missing layer and for a layer
/// whose data source is missing.
IFeatureClass& featureClassOf(IFeatureLayer* layer);

/// The shape field of a class: the field named by its shape-field name, else (stores name their
/// geometry column freely) its first geometry field; nullptr when it has neither.
const Field* shapeField(const IFeatureClass& cls);

/// Fills `list` with the display names of the first `layerCount` top-level layers of the focus
/// map that are feature layers of the given shape kind, in map order (duplicates kept), then
/// shows `defaultName` when listed (the first occurrence, compared exactly), else the first
/// entry, else empty text. Polyline layers are listed only when their class is present and, as
/// asked, carries Z and/or M values; a layer whose data source is missing fails the point and
/// polygon kinds. Unknown kinds list nothing. A failure shows the map-style message and leaves
/// the list as far as it was filled.
void FillComboBox(IDocument* document, int layerCount, Control& list, channel::ShapeKind kind,
                  bool needZ, bool needM, const std::string& defaultName);

/// Fills `list` with the names of every field of the layer's class in field order (identifier
/// and shape fields included) and shows the default as FillComboBox does. Failures pass on.
void FillFieldComboBox(IFeatureLayer* layer, Control& list, const std::string& defaultName);

/// As above for any table (a stand-alone table or a layer's class), listing only the fields of
/// the types the filter lets through.
void FillFieldComboBox(const ITable& table, Control& list, const std::string& defaultName,
                       FieldFilter filter = FieldFilter::Any);

/// Fills `list` with the names of the focus map's stand-alone tables and shows the first.
/// Failures pass on.
void FillTableComboBox(IDocument* document, Control& list);

/// Fills `list` with the names of the table's fields of the types the filter lets through, in
/// field order, and shows `proposedName` when listed, else the first real field (see
/// firstRealField): the dialogs' field lists, which never fall back to the identifier key while
/// the table has a field that holds data. Failures pass on.
void FillTableFieldComboBox(const ITable& table, Control& list,
                            const std::string& proposedName = {},
                            FieldFilter filter = FieldFilter::Any);

/// The first field of the table, in field order, that the filter lets through and that holds
/// data: neither the object-identifier key nor the shape. When no field but those passes, the
/// first that does; empty when none does.
std::string firstRealField(const ITable& table, FieldFilter filter = FieldFilter::Any);

/// The stand-alone table of that name; when none has it, shows "No Table found in the map"
/// titled "Warning" and answers nullptr. Failures pass on.
ITable* SelectTable(IDocument* document, const std::string& name);

/// Fills `list` with the names of the TIN and raster layers among the first `layerCount`
/// top-level layers, enables it when layerCount is positive, and shows the first entry. A
/// failure shows the description titled "Add surface layer to combobox".
void FillSurfaceComboBox(IDocument* document, int layerCount, Control& list);

/// Fills `list` with the names of the map's raster layers in map order, enabling it when the
/// map has layers, and shows the first entry. Failures pass on.
void FillRasterComboBox(IDocument* document, Control& list);

/// The first raster layer of the focus map named `name` exactly (other layers never match);
/// nullptr when none is. A failure shows the map-style message titled for "SelectRasterLayer"
/// and answers nullptr.
IRasterLayer* SelectRasterLayer(IDocument* document, const std::string& name);

/// The first top-level layer whose display name equals `name` exactly, as a feature layer;
/// nullptr when none has that name. When the first match is not a feature layer (even if a
/// feature layer of that name follows), or the map cannot be read, shows the map-style message
/// titled for "SelectLayer" and answers nullptr.
IFeatureLayer* SelectLayer(IDocument* document, const std::string& name);

/// As SelectLayer among the TIN and raster layers only (other layers never match); the message
/// is titled for "SelectRasterLayer".
ILayer* SelectSurfaceLayer(IDocument* document, const std::string& name);

/// The features a tool processes: the selected ones when the layer has a selection, else all of
/// them in identifier order. Each step yields a fresh feature that may be kept and edited.
/// Failures pass on.
FeatureCursorPtr GetFeatureCursor(IFeatureLayer* layer);

/// The number of selected features of the layer (0 when none). Failures pass on.
long GetSelectionCount(IFeatureLayer* layer);

/// The first feature meeting "<fieldName> = <value>" (the value's plain text, unquoted: meant
/// for numeric fields), searched within the selection when the layer has one, else within the
/// whole layer; nullptr when none does. A failure shows the condition text (untitled) and
/// answers nullptr.
FeaturePtr GetFeatureByValue(IFeatureLayer* layer, const std::string& fieldName,
                             const FieldValue& value);

/// Replaces `values` with the distinct non-null values of the field over the whole table
/// (selections play no part), in the order they first occur by identifier; leaves `values` as it
/// was when the field holds no value. Callers sort them as they need. Failures pass on.
void GetUniqueValues(ITable* table, const std::string& fieldName, std::vector<FieldValue>& values);

/// Adds a field of that name and host field-type code to the layer's class (text fields get the
/// store's width of 254). Callers add only fields the class lacks. Failures pass on.
void AddField(IFeatureLayer* layer, const std::string& name, FieldType type);

/// Whether the layer's class carries Z values on its shape field; false when its shape field is
/// not a geometry field. Failures pass on.
bool HasZValues(IFeatureLayer* layer);

/// True while the host editor ("ESRI Object Editor") is editing. A failure (no application, no
/// editor) shows the map-style message for "EditSession" and answers false.
bool EditSession();

// ---- checks every run makes before it changes anything --------------------------------------

/// The feature layer of that name for a run. Throws HostError (91) naming the role and the name
/// when the map has no such layer or its data source is missing ("No thalweg layer 'Thalweg' in
/// the map").
IFeatureLayer* RequireLayer(IDocument* document, const std::string& name, const std::string& role);

/// The stand-alone table of that name for a run. Throws RunRefused "No Table found in the map"
/// when the focus map has none of that name.
ITable& RequireTable(IDocument* document, const std::string& name);

/// The number of features the run will process (the selected ones that still exist, else all).
/// Throws RunRefused "No features to process in <layer>" when there are none.
long RequireFeaturesToProcess(IFeatureLayer* layer);

/// Throws RunRefused naming both roles when the output layer is the input layer (the same layer
/// or the same class): a run never writes its results into what it reads.
void RefuseSameLayer(IFeatureLayer* output, const std::string& outputRole, IFeatureLayer* input,
                     const std::string& inputRole);

/// The feature's shape. Throws HostError naming the feature's object id and the layer when the
/// shape is null or empty, or has a coordinate that is not a finite number.
Geometry CheckedShape(const IFeature& feature, const std::string& layerName);

/// CheckedShape for line layers: the feature's shape as a polyline. Throws HostError "Type
/// mismatch" (13) naming the feature and layer for any other shape.
Polyline CheckedPolyline(const IFeature& feature, const std::string& layerName);
/// CheckedShape for point layers, likewise.
Point CheckedPoint(const IFeature& feature, const std::string& layerName);

/// The index of the class's field of that name. Throws HostError "Item not found in this
/// collection (field <name>)" (3265) when the class lacks it.
int RequireField(const ITable& cls, const std::string& name);

/// The number a field of the feature holds (a text that reads as a number counts). Throws
/// HostError "Invalid use of Null (<field>)" (94) when it holds none; the run's error title names
/// the feature.
double RequireNumber(const IFeature& feature, int index, const ITable& table);

/// Replaces the line by its measured copy: `startM` at the first vertex, `endM` at the last,
/// linear by distance along the line between (decreasing when startM > endM). Failures pass on.
void SetLineMs(Polyline& line, double startM, double endM);

// ---- classes stored beside a class: in its GeoPackage, or as shapefiles in its folder -------

/// Where the class is stored, as GetFolderFromPath reads it: "<file>.gpkg/<class>" for a class
/// of a GeoPackage (or any other file dataset of several classes), the .shp file of a
/// shapefile; empty for a class not stored in a file.
std::string ClassPath(IFeatureClass& cls);

/// Whether a class named `name` is stored beside `cls`. Failures pass on.
bool FeatureClassExists(IFeatureClass& cls, const std::string& name);

/// Whether the class named `name` beside `cls` has a field named `field` (false when there is no
/// such class). Failures pass on.
bool FeatureClassHasField(IFeatureClass& cls, const std::string& name, const std::string& field);

/// Deletes the class named `name` beside `cls` (never `cls` itself). A map layer over the
/// deleted class is broken from then on. Throws HostError when there is no such class or it
/// cannot be deleted.
void DeleteFeatureClass(IFeatureClass& cls, const std::string& name);

/// Copies the class (its fields, geometry type, spatial reference, shapes, values and, where the
/// store keeps them, object identifiers) into a new class `newName` beside it, and answers a
/// layer of that name over the copy. In a GeoPackage the copy belongs to the running edit
/// session; a shapefile copy is a new file. Throws HostError when a class of that name exists
/// or the copy cannot be written.
std::unique_ptr<IFeatureLayer> CopyFeatureClass(IFeatureClass& cls, const std::string& newName);

// ---- what a run created ------------------------------------------------------------------

/// Hands a layer the run created (or whose data source it replaced) to the map, which shows it
/// (IMap::layerCreated). Called once the outputs are complete, so a failed run shows nothing.
void ShowCreatedLayer(IDocument* document, const CreatedLayer& layer);

/// ShowCreatedLayer for a class the run created beside another: a feature layer named as the
/// class over its dataset and table (as ClassPath gives them). Nothing happens for a class that
/// is not stored in a file.
void ShowCreatedClass(IDocument* document, IFeatureClass& cls);

}  // namespace ondu::maputil
