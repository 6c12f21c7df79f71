#pragma once
// Map documents: ordered layers (feature, raster, TIN), stand-alone tables and a selection per
// feature layer. A document is a small JSON file whose paths are relative to it; a vector
// dataset (a GeoPackage, a Shapefile, ...) opened directly is a map of its layers in table order.
//
// JSON form:
//   { "name": "Bald Eagle",
//     "layers": [ {"name": "Centerline", "source": "river.gpkg", "table": "CenterLine"},
//                 {"name": "Terrain", "kind": "raster", "source": "dem.tif"},
//                 {"name": "Bed", "kind": "tin", "source": "bed.gpkg"} ],
//     "tables": [ {"name": "FTable", "source": "flows.gpkg", "table": "FTable"} ],
//     "selections": { "Centerline": [3, 4] } }
// "kind" is "feature" (default), "raster" or "tin"; "table" defaults to the only layer of the
// source. A raster is a GeoTIFF (or any raster GDAL reads), a TIN a GeoPackage written by
// createTin; both open when first used. A feature layer whose source cannot be opened stays in
// the map as a broken layer.

#include <memory>
#include <string>
#include <vector>

#include "framework/host/ogr_workspace.h"

namespace ondu {

class SelectionSet : public ISelectionSet {
public:
    explicit SelectionSet(IFeatureClass* cls) : class_(cls) {}
    long count() const override { return static_cast<long>(ids_.size()); }
    const std::vector<long long>& ids() const override { return ids_; }
    void add(long long oid) override;
    void clear() override { ids_.clear(); }
    FeatureCursorPtr search(const QueryFilter* filter) override;

private:
    IFeatureClass* class_;
    std::vector<long long> ids_;
};

class FeatureLayer : public IFeatureLayer {
public:
    FeatureLayer(std::string name, std::shared_ptr<OgrFeatureClass> cls)
        : name_(std::move(name)),
          table_(cls ? cls->name() : ""),
          class_(std::move(cls)),
          selection_(class_.get()) {}
    std::string name() const override { return name_; }
    IFeatureClass* featureClass() override { return class_.get(); }
    ISelectionSet& selectionSet() override { return selection_; }
    /// Whether the layer's class is the table `table` of the dataset at `path` (a canonical
    /// path); an empty table matches the dataset's only class.
    bool reads(const std::string& path, const std::string& table) const;
    /// Puts the layer over another class (the one that replaced its own); its selection is
    /// cleared.
    void rebind(std::shared_ptr<OgrFeatureClass> cls);

private:
    std::string name_;
    std::string table_;  ///< the class's name, kept: a deleted class cannot be asked for it
    std::shared_ptr<OgrFeatureClass> class_;
    SelectionSet selection_;
};

/// A raster layer: a name and the path of its raster (a GeoTIFF or any raster GDAL reads),
/// opened when first asked for.
class RasterLayer : public IRasterLayer {
public:
    RasterLayer(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {}
    std::string name() const override { return name_; }
    const std::string& path() const { return path_; }
    RasterDatasetPtr raster() override;
    /// The raster is opened again when next asked for (its file was replaced).
    void reload() { raster_.reset(); }

private:
    std::string name_;
    std::string path_;
    RasterDatasetPtr raster_;
};

/// A TIN layer: a name and the path of its TIN (a GeoPackage), opened when first asked for.
class TinLayer : public ITinLayer {
public:
    TinLayer(std::string name, std::string path) : name_(std::move(name)), path_(std::move(path)) {}
    std::string name() const override { return name_; }
    const std::string& path() const { return path_; }
    TinPtr tin() override;
    /// The TIN is opened again when next asked for (its file was replaced).
    void reload() { tin_.reset(); }

private:
    std::string name_;
    std::string path_;
    TinPtr tin_;
};

class MapDocument : public IDocument, public IMap {
public:
    /// Opens a JSON map document or a vector dataset; throws HostError when neither reads.
    static std::unique_ptr<MapDocument> open(const std::string& path);
    /// Appends the layers and tables of another map document or vector dataset.
    void add(const std::string& path);

    IMap& focusMap() override { return *this; }
    std::string name() const override { return name_; }
    int layerCount() const override { return static_cast<int>(layers_.size()); }
    ILayer& layer(int index) override;
    int tableCount() const override { return static_cast<int>(tables_.size()); }
    ITable& table(int index) override;
    /// A layer a run created joins the map after its layers for the rest of the run; a layer
    /// already over that source reads it afresh instead. The map document's file is left as it
    /// is: a new class of a GeoPackage map is listed when the map is next opened, a layer that a
    /// JSON document does not name is the user's to add.
    void layerCreated(const CreatedLayer& layer) override;

    /// The first layer of that exact name, or nullptr.
    ILayer* findLayer(const std::string& name);
    /// Every dataset the map reads, once each.
    const std::vector<std::shared_ptr<OgrDataset>>& datasets() const { return datasets_; }

    void addFeatureLayer(const std::string& name, const std::string& path,
                         const std::string& table);
    /// Adds a raster or TIN layer (LayerKind::Raster or LayerKind::Tin) over the file at `path`.
    void addSurfaceLayer(const std::string& name, LayerKind kind, const std::string& path);
    void addTable(const std::string& path, const std::string& table);

private:
    void openJson(const std::string& path);
    void openDataset(const std::string& path);
    std::shared_ptr<OgrDataset> dataset(const std::string& path);
    std::shared_ptr<OgrFeatureClass> featureClass(const std::string& path,
                                                  const std::string& table);

    std::string name_;
    std::vector<std::unique_ptr<ILayer>> layers_;
    std::vector<std::shared_ptr<OgrFeatureClass>> tables_;
    std::vector<std::shared_ptr<OgrDataset>> datasets_;
};

}  // namespace ondu
