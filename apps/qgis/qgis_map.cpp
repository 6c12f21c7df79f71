#include "apps/qgis/qgis_map.h"

#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsproviderregistry.h>
#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>

#include <filesystem>

#include "apps/qgis/qgis_features.h"
#include "framework/host/map_document.h"

namespace ondu::qgis {

namespace {

/// The table of a TIN's GeoPackage that holds its triangles: what the project shows of a TIN.
constexpr const char* kTinTriangles = "triangles";

std::string canonical(const QString& path) {
    return std::filesystem::weakly_canonical(path.toStdString()).string();
}

/// The QGIS data source and provider of a created layer.
std::pair<QString, QString> qgisSource(const CreatedLayer& created) {
    const QString path = QString::fromStdString(created.source);
    switch (created.kind) {
        case LayerKind::Raster:
            return {path, QStringLiteral("gdal")};
        case LayerKind::Tin:
            return {path + "|layername=" + kTinTriangles, QStringLiteral("ogr")};
        default:
            return {created.table.empty()
                        ? path
                        : path + "|layername=" + QString::fromStdString(created.table),
                    QStringLiteral("ogr")};
    }
}

}  // namespace

QgisMap::QgisMap(QgsProject& project, QgisEditor& editor) : project_(project), editor_(editor) {}

QgisMap::~QgisMap() = default;

std::unique_ptr<ILayer> QgisMap::wrap(QgsMapLayer& layer) {
    const std::string name = layer.name().toStdString();
    const QVariant tin = layer.customProperty(kTinProperty);
    if (tin.isValid()) return std::make_unique<TinLayer>(name, tin.toString().toStdString());
    if (auto* raster = qobject_cast<QgsRasterLayer*>(&layer))
        return newRasterLayer(name, raster->source().toStdString());
    if (auto* vector = qobject_cast<QgsVectorLayer*>(&layer); vector && vector->isSpatial())
        return std::make_unique<QgisFeatureLayer>(*vector, editor_, *this);
    return nullptr;
}

void QgisMap::sync() {
    std::map<QString, std::unique_ptr<ILayer>> layers;
    std::map<QString, std::unique_ptr<QgisFeatureLayer>> tables;
    layerOrder_.clear();
    tableOrder_.clear();
    for (QgsLayerTreeLayer* node : project_.layerTreeRoot()->findLayers()) {
        QgsMapLayer* layer = node->layer();
        if (!layer) continue;
        const QString id = layer->id();
        auto* vector = qobject_cast<QgsVectorLayer*>(layer);
        if (vector && !vector->isSpatial()) {
            auto known = tables_.find(id);
            auto& kept = tables[id] = known != tables_.end() ? std::move(known->second)
                                                             : std::make_unique<QgisFeatureLayer>(
                                                                   *vector, editor_, *this);
            tableOrder_.push_back(&kept->qgisClass());
            continue;
        }
        auto known = layers_.find(id);
        std::unique_ptr<ILayer> wrapper =
            known != layers_.end() ? std::move(known->second) : wrap(*layer);
        if (!wrapper) continue;
        layerOrder_.push_back(wrapper.get());
        layers[id] = std::move(wrapper);
    }
    layers_ = std::move(layers);
    tables_ = std::move(tables);
}

IMap& QgisMap::focusMap() {
    sync();
    return *this;
}

std::string QgisMap::name() const { return project_.baseName().toStdString(); }

int QgisMap::layerCount() const { return static_cast<int>(layerOrder_.size()); }

ILayer& QgisMap::layer(int index) {
    if (index < 0 || index >= layerCount()) throw HostError("layer index out of range");
    return *layerOrder_[static_cast<std::size_t>(index)];
}

int QgisMap::tableCount() const { return static_cast<int>(tableOrder_.size()); }

ITable& QgisMap::table(int index) {
    if (index < 0 || index >= tableCount()) throw HostError("table index out of range");
    return *tableOrder_[static_cast<std::size_t>(index)];
}

void QgisMap::refresh() {
    for (QgsMapLayer* layer : project_.mapLayers()) layer->triggerRepaint();
}

std::vector<QgsMapLayer*> QgisMap::layersOver(const CreatedLayer& created) const {
    std::vector<QgsMapLayer*> over;
    const std::string path = canonical(QString::fromStdString(created.source));
    for (QgsMapLayer* layer : project_.mapLayers()) {
        const QVariant tin = layer->customProperty(kTinProperty);
        if (created.kind == LayerKind::Tin || tin.isValid()) {
            if (created.kind == LayerKind::Tin && tin.isValid() &&
                canonical(tin.toString()) == path)
                over.push_back(layer);
            continue;
        }
        if (created.kind == LayerKind::Raster) {
            if (qobject_cast<QgsRasterLayer*>(layer) && canonical(layer->source()) == path)
                over.push_back(layer);
            continue;
        }
        if (!qobject_cast<QgsVectorLayer*>(layer) || layer->providerType() != "ogr") continue;
        const QVariantMap parts =
            QgsProviderRegistry::instance()->decodeUri(layer->providerType(), layer->source());
        // A dataset of one class (a shapefile) is that class whatever layer name the source has.
        if (canonical(parts.value("path").toString()) == path &&
            (created.table.empty() ||
             parts.value("layerName").toString() == QString::fromStdString(created.table)))
            over.push_back(layer);
    }
    return over;
}

void QgisMap::reread(QgsMapLayer& layer) {
    // A layer in editing mode keeps its edit buffer; QGIS reads its source again on saving.
    auto* vector = qobject_cast<QgsVectorLayer*>(&layer);
    if (!vector || !vector->isEditable()) layer.reload();
    if (auto known = layers_.find(layer.id()); known != layers_.end()) {
        if (auto* raster = dynamic_cast<RasterLayer*>(known->second.get())) raster->reload();
        if (auto* tin = dynamic_cast<TinLayer*>(known->second.get())) tin->reload();
    }
    layer.triggerRepaint();
}

void QgisMap::layerCreated(const CreatedLayer& created) { show(created); }

QgsMapLayer& QgisMap::show(const CreatedLayer& created) {
    if (const auto known = layersOver(created); !known.empty()) {
        reread(*known.front());
        return *known.front();
    }
    const auto [source, provider] = qgisSource(created);
    const QString name = QString::fromStdString(created.name);
    std::unique_ptr<QgsMapLayer> layer;
    if (created.kind == LayerKind::Raster)
        layer = std::make_unique<QgsRasterLayer>(source, name, provider);
    else
        layer = std::make_unique<QgsVectorLayer>(source, name, provider);
    if (!layer->isValid())
        throw HostError("QGIS cannot read the new layer " + created.name + " at " + created.source);
    if (created.kind == LayerKind::Tin)
        layer->setCustomProperty(kTinProperty, QString::fromStdString(created.source));
    QgsMapLayer* added = project_.addMapLayer(layer.release(), false);
    project_.layerTreeRoot()->insertLayer(0, added);
    sync();
    return *added;
}

void QgisMap::remove(QgsMapLayer& layer) {
    project_.removeMapLayer(&layer);
    sync();
}

}  // namespace ondu::qgis
