#include "apps/qgis/qgis_siblings.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <qgsvectorlayer.h>
#include <qgsvectorlayereditbuffer.h>

#include <set>

#include "apps/qgis/qgis_application.h"
#include "apps/qgis/qgis_features.h"
#include "apps/qgis/qgis_map.h"
#include "framework/host/ogr_workspace.h"

namespace ondu::qgis {

namespace {

/// The class as the command-line host opens it in its file, on a connection of its own.
std::shared_ptr<OgrFeatureClass> openInFile(const StoredClass& stored) {
    auto dataset = std::make_shared<OgrDataset>(stored.file.string());
    GDALDataset* handle = dataset->handle();
    OGRLayer* layer =
        stored.shapefile() ? handle->GetLayer(0) : handle->GetLayerByName(stored.table.c_str());
    if (!layer) throw HostError("no class " + stored.table + " in " + stored.file.string());
    return std::make_shared<OgrFeatureClass>(dataset, layer);
}

StoredClass storedClassOf(const QgisFeatureClass& cls) {
    auto stored = cls.storedIn();
    if (!stored) throw HostError("the class " + cls.name() + " is not stored in a file dataset");
    return *stored;
}

/// The classes beside the stored class, through the command-line host's own.
ISiblingClasses& besideInFile(OgrFeatureClass& cls) { return *cls.siblings(); }

void refuseUnsavedNewFeaturesOrFields(QgsVectorLayer& layer) {
    const QgsVectorLayerEditBuffer* buffer = layer.editBuffer();
    if (!buffer) return;
    if (!buffer->addedFeatures().isEmpty() || !buffer->addedAttributes().isEmpty() ||
        !buffer->deletedAttributeIds().isEmpty())
        throw HostError("The layer " + layer.name().toStdString() +
                        " has new features or changed fields that are not saved: save them, "
                        "then run the tool again.");
}

/// Makes the copy of the stored class what the layer shows: the features its filter or its
/// unsaved deletions leave out are dropped, its unsaved shapes and values are written.
void applyLayerView(QgisFeatureClass& shown, OgrFeatureClass& copy) {
    const std::vector<long long> visible = shown.matchingIds(nullptr);
    const std::set<long long> kept(visible.begin(), visible.end());
    std::vector<long long> dropped;
    FeatureCursorPtr all = copy.search(nullptr);
    while (FeaturePtr feature = all->nextFeature())
        if (!kept.count(feature->OID())) dropped.push_back(feature->OID());
    for (long long oid : dropped)
        if (copy.layer()->DeleteFeature(oid) != OGRERR_NONE)
            throw HostError("cannot leave feature " + std::to_string(oid) + " out of " +
                            copy.name());

    const QgsVectorLayerEditBuffer* buffer = shown.layer().editBuffer();
    if (!buffer) return;
    std::set<long long> changed;
    for (auto it = buffer->changedGeometries().keyBegin();
         it != buffer->changedGeometries().keyEnd(); ++it)
        changed.insert(*it);
    for (auto it = buffer->changedAttributeValues().keyBegin();
         it != buffer->changedAttributeValues().keyEnd(); ++it)
        changed.insert(*it);
    for (long long oid : changed) {
        if (!kept.count(oid)) continue;
        FeaturePtr from = shown.getFeature(oid);
        FeaturePtr to = copy.getFeature(oid);
        if (!from || !to)
            throw HostError("cannot copy feature " + std::to_string(oid) + " of " + shown.name());
        for (int i = copy.firstAttributeIndex(); i < copy.fieldCount(); ++i) {
            const int at = from->findField(copy.field(i).name);
            if (at >= 0) to->setValue(to->findField(copy.field(i).name), from->value(at));
        }
        to->setShape(from->shape());
        to->store();
    }
}

/// Renames the class `from` beside the stored class to `to`: a table of the GeoPackage, or every
/// file of the shapefile (GDAL's own renaming opens the files as a raster, which fails).
void renameBeside(const StoredClass& stored, const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    if (stored.shapefile()) {
        const fs::path folder = stored.file.parent_path();
        std::error_code failed;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.path().stem() != from) continue;
            fs::rename(entry.path(), folder / (to + entry.path().extension().string()), failed);
            if (failed)
                throw HostError("cannot rename the class " + from + " to " + to + ": " +
                                failed.message());
        }
        return;
    }
    CPLErrorReset();
    OgrDataset dataset(stored.file.string());
    OGRLayer* layer = dataset.handle()->GetLayerByName(from.c_str());
    if (!layer || layer->Rename(to.c_str()) != OGRERR_NONE)
        throw HostError("cannot rename the class " + from + " to " + to + ": " +
                        CPLGetLastErrorMsg());
}

/// Deletes the class of that name beside the stored class, if it is there.
void deleteBeside(const StoredClass& stored, const std::string& name) {
    auto cls = openInFile(stored);
    if (besideInFile(*cls).exists(name)) besideInFile(*cls).remove(name);
}

}  // namespace

CreatedLayer QgisSiblingClasses::sibling(const std::string& name) const {
    const StoredClass stored = storedClassOf(class_);
    if (stored.shapefile())
        return {LayerKind::Feature, name, (stored.file.parent_path() / (name + ".shp")).string(),
                ""};
    return {LayerKind::Feature, name, stored.file.string(), name};
}

bool QgisSiblingClasses::exists(const std::string& name) {
    auto cls = openInFile(storedClassOf(class_));
    return besideInFile(*cls).exists(name);
}

bool QgisSiblingClasses::hasField(const std::string& name, const std::string& field) {
    auto cls = openInFile(storedClassOf(class_));
    return besideInFile(*cls).hasField(name, field);
}

void QgisSiblingClasses::remove(const std::string& name) {
    // The layer's name need not be its table's: the table itself is never deleted.
    const StoredClass stored = storedClassOf(class_);
    if (name == (stored.shapefile() ? stored.file.stem().string() : stored.table))
        throw HostError("the class " + name + " may not delete itself");
    const auto shown = map_.layersOver(sibling(name));
    for (QgsMapLayer* layer : shown)
        if (auto* vector = qobject_cast<QgsVectorLayer*>(layer); vector && vector->isModified())
            throw HostError("The layer " + layer->name().toStdString() + " shows the class " +
                            name +
                            " and has unsaved edits: save or discard them, then run the "
                            "tool again.");
    for (QgsMapLayer* layer : shown) map_.remove(*layer);
    // Set aside until the run ends, so that a run that does not complete gets it back.
    const std::string setAside = name + "_replaced_by_ondu";
    deleteBeside(stored, setAside);  // left by a run that was killed
    renameBeside(stored, name, setAside);
    const CreatedLayer restored = sibling(name);
    QgisMap& map = map_;
    editor_.atRunEnd(
        [stored, name, setAside, restored, &map, wasShown = !shown.empty()](bool completed) {
            if (completed) return deleteBeside(stored, setAside);
            renameBeside(stored, setAside, name);
            if (wasShown) map.show(restored);
        });
}

std::unique_ptr<IFeatureLayer> QgisSiblingClasses::copy(const std::string& newName) {
    refuseUnsavedNewFeaturesOrFields(class_.layer());
    const StoredClass stored = storedClassOf(class_);
    {
        // One transaction where the store has them: a failure leaves no half-written copy.
        auto source = openInFile(stored);
        source->dataset().beginEdit();
        try {
            std::unique_ptr<IFeatureLayer> copied = besideInFile(*source).copy(newName);
            applyLayerView(class_, dynamic_cast<OgrFeatureClass&>(*copied->featureClass()));
            source->dataset().endEdit(true);
        } catch (...) {
            try {
                source->dataset().endEdit(false);
                deleteBeside(stored, newName);
            } catch (const std::exception&) {
                // The failure that stopped the copy is the one to report.
            }
            throw;
        }
    }  // the file is closed before QGIS opens the copy
    auto discard = [stored, newName] { deleteBeside(stored, newName); };
    QgsVectorLayer* layer = nullptr;
    try {
        layer = qobject_cast<QgsVectorLayer*>(&map_.show(sibling(newName)));
        if (!layer) throw HostError("QGIS shows the class " + newName + " as no vector layer");
    } catch (...) {
        discard();
        throw;
    }
    editor_.runCreated(*layer, discard);
    return std::make_unique<QgisFeatureLayer>(*layer, editor_, map_);
}

}  // namespace ondu::qgis
