#include "apps/qgis/qgis_map.h"

#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>

#include "apps/qgis/qgis_features.h"
#include "framework/host/map_document.h"

namespace ondu::qgis {

QgisMap::QgisMap(QgsProject& project, QgisEditor& editor) : project_(project), editor_(editor) {}

QgisMap::~QgisMap() = default;

std::unique_ptr<ILayer> QgisMap::wrap(QgsMapLayer& layer) {
    const std::string name = layer.name().toStdString();
    const QVariant tin = layer.customProperty(kTinProperty);
    if (tin.isValid()) return std::make_unique<TinLayer>(name, tin.toString().toStdString());
    if (auto* raster = qobject_cast<QgsRasterLayer*>(&layer))
        return newRasterLayer(name, raster->source().toStdString());
    if (auto* vector = qobject_cast<QgsVectorLayer*>(&layer); vector && vector->isSpatial())
        return std::make_unique<QgisFeatureLayer>(*vector, editor_);
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
            auto& kept = tables[id] = known != tables_.end()
                                          ? std::move(known->second)
                                          : std::make_unique<QgisFeatureLayer>(*vector, editor_);
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

}  // namespace ondu::qgis
