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

class IFeatureLayer;

/// The classes stored beside a class (in its dataset of several classes, or as shapefiles of its
/// folder), as the host that keeps the class reaches them. Every operation throws HostError on
/// failure.
class ISiblingClasses {
public:
    virtual ~ISiblingClasses() = default;
    /// Whether a class of that name is stored beside.
    virtual bool exists(const std::string& name) = 0;
    /// Whether the class of that name beside has the field (false when there is no such class).
    virtual bool hasField(const std::string& name, const std::string& field) = 0;
    /// Deletes the class of that name beside (never the class itself).
    virtual void remove(const std::string& name) = 0;
    /// Copies the class, as its host shows it, into a new class `newName` beside it (none of that
    /// name exists), keeping the object identifiers, and answers a layer over the copy that the
    /// running command may write.
    virtual std::unique_ptr<IFeatureLayer> copy(const std::string& newName) = 0;
};

class IFeatureClass : public ITable {
public:
    virtual ShapeType shapeType() const = 0;
    virtual std::string shapeFieldName() const = 0;
    /// A new feature of the class; stored when its store() is called.
    virtual FeaturePtr createFeature() = 0;
    /// Where a class that a host keeps over a file dataset lies, in the form maputil::ClassPath
    /// answers ("<file>.gpkg/<class>", the .shp file of a shapefile); empty for a class not
    /// stored in a file. The command-line host's own classes are read by ClassPath directly.
    virtual std::string storagePath() const { return {}; }
    /// The classes beside this one; nullptr where the host keeps it in no file dataset.
    virtual ISiblingClasses* siblings() { return nullptr; }
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

// ---- surfaces ----------------------------------------------------------------------------

/// A rectangle in map units; empty (NaN corners) until something is added to it.
struct Envelope {
    double xMin = kNaN;
    double yMin = kNaN;
    double xMax = kNaN;
    double yMax = kNaN;

    bool isEmpty() const { return !(xMin <= xMax && yMin <= yMax); }
    double width() const { return xMax - xMin; }
    double height() const { return yMax - yMin; }
    /// Grows the rectangle to hold the point.
    void add(double x, double y);
};

/// Cell value types as the host numbers them (9 is 32-bit floating point).
enum class PixelType { UChar = 3, Short = 6, Long = 8, Float = 9, Double = 10 };

/// A regular grid of square cells whose lower-left corner is (xMin, yMin); column 0 is the
/// westmost, row 0 the northmost.
struct CellGrid {
    double xMin = 0;
    double yMin = 0;
    double cellSize = 1;
    int columns = 0;
    int rows = 0;

    double centreX(int column) const { return xMin + (column + 0.5) * cellSize; }
    double centreY(int row) const { return yMin + (rows - row - 0.5) * cellSize; }
    std::size_t cellCount() const { return static_cast<std::size_t>(columns) * rows; }
};

/// The rectangle around every shape of the class (empty when it holds none).
Envelope extentOf(IFeatureClass& cls);
/// Well-known text of the class's spatial reference; empty when it has none.
std::string spatialReferenceOf(IFeatureClass& cls);

/// Anything that answers an elevation at a point: a raster or a TIN.
class ISurface {
public:
    virtual ~ISurface() = default;
    /// The elevation at (x, y); NaN where the surface has none.
    virtual double elevation(double x, double y) const = 0;
    /// The line densified so that no segment is longer than `step`, every vertex given the
    /// surface's elevation. Vertices where the surface has none are left out, and the line is
    /// broken into separate paths there; empty where the line never meets the surface. Throws
    /// std::invalid_argument for a step that is not a positive number.
    Polyline profile(const Polyline& line, double step) const;
};

/// Cell access to one band of a raster: blocks of cells as real numbers, row by row from the
/// block's top row. Cells without data read as the band's no-data value (NaN when it has none).
class IRasterBand {
public:
    virtual ~IRasterBand() = default;
    virtual std::vector<double> readBlock(int column, int row, int columns, int rows) = 0;
    /// Writes `values` (columns x rows of them, converted to the band's pixel type).
    virtual void writeBlock(int column, int row, int columns, int rows,
                            const std::vector<double>& values) = 0;
    virtual std::optional<double> noData() const = 0;
    virtual void setNoData(double value) = 0;
};

/// A raster dataset with one or more bands, in a folder, found again by its name.
class IRasterDataset {
public:
    virtual ~IRasterDataset() = default;
    virtual std::string name() const = 0;
    virtual std::string folder() const = 0;
    /// The grid of the raster (its cells are square when cellWidth() equals cellHeight()).
    virtual int columns() const = 0;
    virtual int rows() const = 0;
    virtual double cellWidth() const = 0;
    virtual double cellHeight() const = 0;
    /// The lower-left corner.
    virtual Point origin() const = 0;
    Envelope extent() const;
    virtual PixelType pixelType() const = 0;
    /// Well-known text of the spatial reference; empty when it has none.
    virtual std::string spatialReference() const = 0;
    virtual int bandCount() const = 0;
    /// Band `index` (from 0); throws HostError when there is no such band.
    virtual IRasterBand& band(int index) = 0;
    /// Writes every cell to disk and closes the dataset; a new dataset, written under a
    /// temporary name so that a failed or killed run leaves nothing half-written behind, is
    /// moved under its own name only now. Any later use throws HostError.
    virtual void save() = 0;
};
using RasterDatasetPtr = std::shared_ptr<IRasterDataset>;

/// What a new raster dataset is made of.
struct RasterSpec {
    std::string name;
    std::string format = "GRID";  ///< "GRID" and "GTiff" both give a GeoTIFF
    Point origin;                 ///< lower-left corner
    int columns = 0;
    int rows = 0;
    double cellWidth = 1;
    double cellHeight = 1;
    PixelType pixelType = PixelType::Float;
    std::string spatialReference;  ///< well-known text; empty for none
    /// A dataset that is not permanent is deleted when the process ends.
    bool permanent = true;
};

/// A folder of raster datasets.
class IRasterWorkspace {
public:
    virtual ~IRasterWorkspace() = default;
    virtual std::string folder() const = 0;
    virtual bool exists(const std::string& name) const = 0;
    /// The dataset of that name; throws HostError when there is none.
    virtual RasterDatasetPtr openDataset(const std::string& name) = 0;
    /// A new one-band dataset; throws HostError when one of that name exists or it cannot be
    /// written.
    virtual RasterDatasetPtr createDataset(const RasterSpec& spec) = 0;
    /// Deletes the named dataset; throws HostError when there is none.
    virtual void remove(const std::string& name) = 0;
};

/// The folder as a raster workspace; throws HostError when it is not an existing folder.
std::unique_ptr<IRasterWorkspace> openRasterWorkspace(const std::string& folder);

/// A raster dataset as a surface over one of its bands: elevations bilinear between the four
/// nearest cell centres (nearest-cell at the outer half cells), NaN where a cell of those has no
/// data or the point lies off the raster.
std::shared_ptr<ISurface> rasterSurface(RasterDatasetPtr dataset, int band = 0);

/// A triangulated irregular network: a surface linear inside each triangle, built from mass
/// points and hard lines (breaklines that triangle edges follow), clipped to a polygon.
class ITin : public ISurface {
public:
    /// Where it is stored; empty for a TIN that was never saved.
    virtual std::string path() const = 0;
    virtual Envelope extent() const = 0;
    virtual double lowestElevation() const = 0;
    virtual double highestElevation() const = 0;
    virtual std::string spatialReference() const = 0;
    virtual std::size_t triangleCount() const = 0;
    /// The elevations at the centres of a grid's cells, row by row from the top; `noData` where
    /// no triangle holds the centre.
    virtual std::vector<double> sampleCells(const CellGrid& grid, double noData) const = 0;
    /// Adds hard lines (with Z on every vertex) and updates the triangulation. Written to disk
    /// only by save().
    virtual void addLines(const std::vector<Polyline>& lines) = 0;
    /// Writes the TIN to its path (see saveAs); throws HostError when it has none.
    virtual void save() = 0;
    /// Writes a copy to `path` (a GeoPackage, replaced when it exists; ".gpkg" is added to a
    /// path without an extension) and answers the copy, which is saved there from then on.
    virtual std::shared_ptr<ITin> saveAs(const std::string& path) const = 0;
};
using TinPtr = std::shared_ptr<ITin>;

/// A new TIN from mass points (Z = elevation), hard lines (Z on every vertex) and an optional
/// clip polygon (triangles outside it are dropped). Points of equal X and Y keep the last Z.
/// Throws HostError when fewer than three points with distinct positions are given.
TinPtr createTin(const std::vector<Point>& massPoints, const std::vector<Polyline>& hardLines,
                 const Polygon* clip, const std::string& spatialReference);
/// The TIN stored at `path` (".gpkg" added to a path without an extension); throws HostError
/// when it cannot be read.
TinPtr openTin(const std::string& path);

/// Inverse distance weighting of the samples' Z values onto the cell centres of the grid: each
/// cell takes the `neighbours` nearest samples weighted by 1 / distance^power (a sample on the
/// centre gives its own value). Cells whose centre lies outside every polygon of `mask` (when
/// given) get `noData`. Row by row from the top. Throws HostError without samples.
std::vector<double> interpolateInverseDistance(const std::vector<Point>& samples,
                                               const CellGrid& grid, double power, int neighbours,
                                               const std::vector<Polygon>* mask, double noData);

/// The table `tableName` of the vector dataset at `path` (a GeoPackage, ...), opened on its own,
/// apart from any map: the host's workspace for the parameter tables tools read. Throws HostError
/// naming the path when the dataset cannot be opened or holds no such table.
std::unique_ptr<ITable> openTable(const std::string& path, const std::string& tableName);

/// Writes a new GeoPackage at `path` (replaced when it exists) holding one attribute table of
/// those fields, one row per entry of `rows` (values in field order) with identifiers 1, 2, ...
/// The file is written under a temporary name and renamed into place, so a failure leaves what
/// was there. Throws HostError naming the path when it cannot be written.
void writeTable(const std::string& path, const std::string& tableName,
                const std::vector<Field>& fields, const std::vector<std::vector<FieldValue>>& rows);

class IRasterLayer;
class ITinLayer;

class ILayer {
public:
    virtual ~ILayer() = default;
    virtual std::string name() const = 0;
    virtual LayerKind kind() const = 0;
    virtual IFeatureLayer* asFeatureLayer() { return nullptr; }
    virtual IRasterLayer* asRasterLayer() { return nullptr; }
    virtual ITinLayer* asTinLayer() { return nullptr; }
};

class IRasterLayer : public ILayer {
public:
    LayerKind kind() const override { return LayerKind::Raster; }
    IRasterLayer* asRasterLayer() override { return this; }
    /// The layer's raster; throws HostError when its data source cannot be opened.
    virtual RasterDatasetPtr raster() = 0;
};

/// A raster layer named `name` over the raster at `path` (a file, or a folder and a dataset
/// name), opened when first used.
std::unique_ptr<IRasterLayer> newRasterLayer(const std::string& name, const std::string& path);

class ITinLayer : public ILayer {
public:
    LayerKind kind() const override { return LayerKind::Tin; }
    ITinLayer* asTinLayer() override { return this; }
    /// The layer's TIN; throws HostError when its data source cannot be opened.
    virtual TinPtr tin() = 0;
};

/// A TIN layer named `name` over the TIN stored at `path`, opened when first used.
std::unique_ptr<ITinLayer> newTinLayer(const std::string& name, const std::string& path);

class IFeatureLayer : public ILayer {
public:
    LayerKind kind() const override { return LayerKind::Feature; }
    IFeatureLayer* asFeatureLayer() override { return this; }
    /// The layer's class; nullptr when its data source is missing (a broken layer).
    virtual IFeatureClass* featureClass() = 0;
    virtual ISelectionSet& selectionSet() = 0;
};

/// A layer a tool created, or whose data source it replaced: its kind and name, and where its
/// data lies: a feature class's dataset (a GeoPackage, a shapefile) and its table in it; a raster's
/// file; a TIN's GeoPackage.
struct CreatedLayer {
    LayerKind kind = LayerKind::Feature;
    std::string name;
    std::string source;
    std::string table;  ///< feature classes of a dataset of several classes; empty otherwise
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
    /// A tool created the layer (or replaced its data source): the map shows it on top of its
    /// layers, once (a layer already over that source is kept, reading the new data). By default
    /// nothing happens.
    virtual void layerCreated(const CreatedLayer& layer) { (void)layer; }
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
