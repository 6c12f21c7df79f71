#include "framework/host/map_document.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "framework/host/map_document_text.h"

namespace ondu {

namespace fs = std::filesystem;

// ---- selection ---------------------------------------------------------------------------

void SelectionSet::add(long long oid) {
    if (std::find(ids_.begin(), ids_.end(), oid) == ids_.end()) ids_.push_back(oid);
}

FeatureCursorPtr SelectionSet::search(const QueryFilter* filter) {
    if (!class_) throw HostError("the layer's data source is missing");
    std::vector<long long> ids = ids_;
    if (filter && (!filter->whereClause.empty() || filter->geometry)) {
        std::vector<long long> matching;
        auto cursor = class_->search(filter);
        while (auto f = cursor->nextFeature()) matching.push_back(f->OID());
        std::sort(matching.begin(), matching.end());
        std::erase_if(ids, [&](long long id) {
            return !std::binary_search(matching.begin(), matching.end(), id);
        });
    }
    return std::make_unique<IdListCursor>(*class_, std::move(ids));
}

// ---- feature layers ----------------------------------------------------------------------

bool FeatureLayer::reads(const std::string& path, const std::string& table) const {
    if (!class_ || class_->dataset().path() != path) return false;
    return table.empty() ? class_->dataset().handle()->GetLayerCount() == 1 : table_ == table;
}

void FeatureLayer::rebind(std::shared_ptr<OgrFeatureClass> cls) {
    table_ = cls->name();
    class_ = std::move(cls);
    selection_ = SelectionSet(class_.get());
}

// ---- surface layers ----------------------------------------------------------------------

RasterDatasetPtr RasterLayer::raster() {
    if (!raster_) {
        const fs::path file(path_);
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        raster_ = openRasterWorkspace(folder.string())->openDataset(file.filename().string());
    }
    return raster_;
}

std::unique_ptr<IRasterLayer> newRasterLayer(const std::string& name, const std::string& path) {
    return std::make_unique<RasterLayer>(name, path);
}

std::unique_ptr<ITinLayer> newTinLayer(const std::string& name, const std::string& path) {
    return std::make_unique<TinLayer>(name, path);
}

TinPtr TinLayer::tin() {
    if (!tin_) tin_ = openTin(path_);
    return tin_;
}

// ---- map document ------------------------------------------------------------------------

ILayer& MapDocument::layer(int index) {
    if (index < 0 || index >= layerCount()) throw HostError("layer index out of range");
    return *layers_[static_cast<std::size_t>(index)];
}

ITable& MapDocument::table(int index) {
    if (index < 0 || index >= tableCount()) throw HostError("table index out of range");
    return *tables_[static_cast<std::size_t>(index)];
}

ILayer* MapDocument::findLayer(const std::string& layerName) {
    for (auto& l : layers_)
        if (l->name() == layerName) return l.get();
    return nullptr;
}

std::shared_ptr<OgrDataset> MapDocument::dataset(const std::string& path) {
    const std::string key = fs::weakly_canonical(path).string();
    for (auto& d : datasets_)
        if (d->path() == key) return d;
    auto d = std::make_shared<OgrDataset>(key);
    datasets_.push_back(d);
    return d;
}

std::shared_ptr<OgrFeatureClass> MapDocument::featureClass(const std::string& path,
                                                           const std::string& tableName) {
    auto ds = dataset(path);
    GDALDataset* h = ds->handle();
    OGRLayer* layer = nullptr;
    if (tableName.empty()) {
        if (h->GetLayerCount() != 1)
            throw HostError(path + " holds " + std::to_string(h->GetLayerCount()) +
                            " layers: name the table");
        layer = h->GetLayer(0);
    } else {
        layer = h->GetLayerByName(tableName.c_str());
    }
    if (!layer) throw HostError("no table " + tableName + " in " + path);
    return std::make_shared<OgrFeatureClass>(ds, layer);
}

void MapDocument::addFeatureLayer(const std::string& layerName, const std::string& path,
                                  const std::string& tableName) {
    std::shared_ptr<OgrFeatureClass> cls;
    try {
        cls = featureClass(path, tableName);
    } catch (const HostError&) {
        cls = nullptr;  // a broken layer: listed, but without a class
    }
    layers_.push_back(std::make_unique<FeatureLayer>(layerName, std::move(cls)));
}

void MapDocument::addSurfaceLayer(const std::string& layerName, LayerKind kind,
                                  const std::string& path) {
    if (kind == LayerKind::Raster)
        layers_.push_back(std::make_unique<RasterLayer>(layerName, path));
    else if (kind == LayerKind::Tin)
        layers_.push_back(std::make_unique<TinLayer>(layerName, path));
    else
        throw HostError("a surface layer is a raster or a TIN");
}

void MapDocument::addTable(const std::string& path, const std::string& tableName) {
    tables_.push_back(featureClass(path, tableName));
}

namespace {
std::string canonical(const std::string& path) { return fs::weakly_canonical(path).string(); }
}  // namespace

void MapDocument::layerCreated(const CreatedLayer& created) {
    const std::string source = canonical(created.source);
    for (auto& l : layers_) {
        if (auto* raster = dynamic_cast<RasterLayer*>(l.get());
            raster && created.kind == LayerKind::Raster && canonical(raster->path()) == source)
            return raster->reload();
        if (auto* tin = dynamic_cast<TinLayer*>(l.get());
            tin && created.kind == LayerKind::Tin && canonical(tin->path()) == source)
            return tin->reload();
        // The class object the layer holds was deleted with the class it replaced; a class that
        // is a file of its own (a shapefile) was written anew, so its file is opened again.
        if (auto* feature = dynamic_cast<FeatureLayer*>(l.get());
            feature && created.kind == LayerKind::Feature &&
            feature->reads(source, created.table)) {
            if (created.table.empty())
                std::erase_if(datasets_, [&](const auto& d) { return d->path() == source; });
            return feature->rebind(featureClass(source, created.table));
        }
    }
    if (created.kind == LayerKind::Feature)
        addFeatureLayer(created.name, source, created.table);
    else
        addSurfaceLayer(created.name, created.kind, created.source);
}

void MapDocument::openDataset(const std::string& path) {
    auto ds = dataset(path);
    GDALDataset* h = ds->handle();
    for (int i = 0; i < h->GetLayerCount(); ++i) {
        auto cls = std::make_shared<OgrFeatureClass>(ds, h->GetLayer(i));
        if (cls->hasGeometry())
            layers_.push_back(std::make_unique<FeatureLayer>(cls->name(), cls));
        else
            tables_.push_back(cls);
    }
}

void MapDocument::openJson(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    const MapDocumentText text = readMapDocumentText(content, fs::path(path).parent_path(), path);
    if (!text.name.empty()) name_ = text.name;
    for (const auto& l : text.layers) {
        if (l.kind == LayerKind::Feature)
            addFeatureLayer(l.name, l.source, l.table);
        else
            addSurfaceLayer(l.name, l.kind, l.source);
    }
    for (const auto& t : text.tables) addTable(t.source, t.table);
    for (const auto& [layerName, ids] : text.selections) {
        ILayer* l = findLayer(layerName);
        IFeatureLayer* fl = l ? l->asFeatureLayer() : nullptr;
        if (!fl) throw HostError("selection for unknown feature layer " + layerName);
        for (long long id : ids) fl->selectionSet().add(id);
    }
}

void MapDocument::add(const std::string& path) {
    if (!fs::exists(path)) throw HostError("no map " + path);
    if (name_.empty()) name_ = fs::path(path).stem().string();
    if (fs::path(path).extension() == ".json")
        openJson(path);
    else
        openDataset(path);
}

std::unique_ptr<MapDocument> MapDocument::open(const std::string& path) {
    auto doc = std::make_unique<MapDocument>();
    doc->add(path);
    return doc;
}

}  // namespace ondu
