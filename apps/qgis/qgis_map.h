#pragma once
// The QGIS project as the map: its layers in layer-tree order under their names (vector layers
// with geometry as feature layers, raster layers, TINs), its vector layers without geometry as
// stand-alone tables, and each layer's selection as QGIS holds it. Layers a tool creates join the
// project on top of the layer tree. A TIN is shown as a vector layer of its triangles that
// carries the TIN's path in a custom property.

#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "framework/host_operations.h"

class QgsMapLayer;
class QgsProject;

namespace ondu::qgis {

class QgisEditor;
class QgisFeatureLayer;
class QgisFeatureClass;

/// The custom property that marks a layer as one of our TINs; its value is the TIN's path.
inline constexpr const char* kTinProperty = "ondu/tin";

class QgisMap : public IDocument, public IMap {
public:
    QgisMap(QgsProject& project, QgisEditor& editor);
    ~QgisMap() override;

    /// The map as the project holds it now; layer objects handed out earlier stay valid while
    /// their QGIS layer is in the project.
    IMap& focusMap() override;
    std::string name() const override;
    int layerCount() const override;
    ILayer& layer(int index) override;
    int tableCount() const override;
    ITable& table(int index) override;
    /// Redraws every layer of the project on the canvas.
    void refresh() override;
    /// Adds a layer over the created source on top of the layer tree; a project layer already
    /// over that source reads it afresh instead (its wrapper too). Throws HostError when QGIS
    /// cannot read the source.
    void layerCreated(const CreatedLayer& layer) override;

    /// Brings the layer and table lists up to date with the project.
    void sync();

    /// layerCreated, answering the project layer that shows the created source.
    QgsMapLayer& show(const CreatedLayer& layer);
    /// The project layers over the created source, in no particular order.
    std::vector<QgsMapLayer*> layersOver(const CreatedLayer& created) const;
    /// Takes the layer out of the project (which deletes it).
    void remove(QgsMapLayer& layer);

private:
    std::unique_ptr<ILayer> wrap(QgsMapLayer& layer);
    /// Opens the layer's source again, keeping the layer and its wrapper.
    void reread(QgsMapLayer& layer);

    QgsProject& project_;
    QgisEditor& editor_;
    std::map<QString, std::unique_ptr<ILayer>> layers_;            ///< by QGIS layer id
    std::map<QString, std::unique_ptr<QgisFeatureLayer>> tables_;  ///< by QGIS layer id
    std::vector<ILayer*> layerOrder_;
    std::vector<ITable*> tableOrder_;
};

}  // namespace ondu::qgis
