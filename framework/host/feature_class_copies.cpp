// Feature classes stored beside another: in the same GeoPackage (or other dataset that holds
// several classes), or as shapefiles in the same folder.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <memory>

#include "framework/host/map_document.h"
#include "framework/host/ogr_workspace.h"
#include "framework/map_helpers.h"

namespace ondu::maputil {

namespace fs = std::filesystem;

namespace {

OgrFeatureClass& ogrClassOf(IFeatureClass& cls) {
    auto* ogr = dynamic_cast<OgrFeatureClass*>(&cls);
    if (!ogr) throw HostError("the class " + cls.name() + " is not stored in a file dataset");
    return *ogr;
}

/// Shapefiles are one class per file: their siblings are files of the same folder.
bool isShapefile(OgrFeatureClass& cls) {
    GDALDriver* driver = cls.dataset().handle()->GetDriver();
    return driver && std::string(driver->GetDescription()) == "ESRI Shapefile";
}

/// The .shp file of the class named `name` in the folder of the shapefile `cls`.
fs::path siblingShapefile(OgrFeatureClass& cls, const std::string& name) {
    fs::path path(cls.dataset().path());
    const fs::path folder = fs::is_directory(path) ? path : path.parent_path();
    return folder / (name + ".shp");
}

[[noreturn]] void failWithOgr(const std::string& what) {
    const std::string detail = CPLGetLastErrorMsg();
    throw HostError(detail.empty() ? what : what + ": " + detail);
}

/// An empty class `name` with the fields, geometry type and spatial reference of `source`, in
/// `target`.
OGRLayer* createLayerLike(GDALDataset& target, OGRLayer& source, const std::string& name) {
    CPLErrorReset();
    const char* options[] = {"SPATIAL_INDEX=YES", nullptr};
    OGRLayer* layer = target.CreateLayer(name.c_str(), source.GetSpatialRef(), source.GetGeomType(),
                                         const_cast<char**>(options));
    if (!layer) failWithOgr("cannot create the class " + name);
    OGRFeatureDefn* defn = source.GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i)
        if (layer->CreateField(defn->GetFieldDefn(i)) != OGRERR_NONE)
            failWithOgr("cannot add the field " + std::string(defn->GetFieldDefn(i)->GetNameRef()) +
                        " to " + name);
    return layer;
}

/// Every feature of `source` into `target`, keeping the identifiers where the store lets it.
void copyFeatures(OgrFeatureClass& source, OGRLayer& target) {
    OGRLayer& from = *source.layer();
    source.applyFilter(nullptr);
    from.ResetReading();
    OGRFeatureDefn* defn = target.GetLayerDefn();
    while (std::unique_ptr<OGRFeature> feature{from.GetNextFeature()}) {
        OGRFeature copy(defn);
        if (copy.SetFrom(feature.get(), TRUE) != OGRERR_NONE)
            failWithOgr("cannot copy feature " + std::to_string(feature->GetFID()));
        copy.SetFID(feature->GetFID());
        if (target.CreateFeature(&copy) != OGRERR_NONE)
            failWithOgr("cannot copy feature " + std::to_string(feature->GetFID()) + " to " +
                        target.GetName());
    }
    from.ResetReading();
}

}  // namespace

std::string ClassPath(IFeatureClass& cls) {
    auto* ogr = dynamic_cast<OgrFeatureClass*>(&cls);
    if (!ogr) return cls.storagePath();
    if (isShapefile(*ogr)) return siblingShapefile(*ogr, ogr->name()).string();
    const fs::path dataset(ogr->dataset().path());
    if (!fs::is_regular_file(dataset)) return {};  // a database, not a file
    return (dataset / ogr->name()).string();
}

bool FeatureClassExists(IFeatureClass& cls, const std::string& name) {
    OgrFeatureClass& ogr = ogrClassOf(cls);
    if (isShapefile(ogr)) return fs::is_regular_file(siblingShapefile(ogr, name));
    CPLErrorReset();
    return ogr.dataset().handle()->GetLayerByName(name.c_str()) != nullptr;
}

bool FeatureClassHasField(IFeatureClass& cls, const std::string& name, const std::string& field) {
    OgrFeatureClass& ogr = ogrClassOf(cls);
    if (isShapefile(ogr)) {
        OgrDataset dataset(siblingShapefile(ogr, name).string());
        OGRLayer* layer = dataset.handle()->GetLayer(0);
        return layer && layer->GetLayerDefn()->GetFieldIndex(field.c_str()) >= 0;
    }
    OGRLayer* layer = ogr.dataset().handle()->GetLayerByName(name.c_str());
    return layer && layer->GetLayerDefn()->GetFieldIndex(field.c_str()) >= 0;
}

void DeleteFeatureClass(IFeatureClass& cls, const std::string& name) {
    OgrFeatureClass& ogr = ogrClassOf(cls);
    if (name == cls.name()) throw HostError("the class " + name + " may not delete itself");
    CPLErrorReset();
    if (isShapefile(ogr)) {
        const fs::path path = siblingShapefile(ogr, name);
        if (!fs::is_regular_file(path)) throw HostError("no class " + name + " to delete");
        if (ogr.dataset().handle()->GetDriver()->Delete(path.c_str()) != CE_None)
            failWithOgr("cannot delete the class " + name);
        return;
    }
    GDALDataset* dataset = ogr.dataset().handle();
    for (int i = 0; i < dataset->GetLayerCount(); ++i)
        if (name == dataset->GetLayer(i)->GetName()) {
            if (dataset->DeleteLayer(i) != OGRERR_NONE)
                failWithOgr("cannot delete the class " + name);
            return;
        }
    throw HostError("no class " + name + " to delete");
}

std::unique_ptr<IFeatureLayer> CopyFeatureClass(IFeatureClass& cls, const std::string& newName) {
    OgrFeatureClass& source = ogrClassOf(cls);
    if (FeatureClassExists(cls, newName))
        throw HostError("a class " + newName + " exists beside " + cls.name());
    if (!isShapefile(source)) {
        const std::shared_ptr<OgrDataset>& dataset = source.sharedDataset();
        OGRLayer* layer = createLayerLike(*dataset->handle(), *source.layer(), newName);
        copyFeatures(source, *layer);
        return std::make_unique<FeatureLayer>(newName,
                                              std::make_shared<OgrFeatureClass>(dataset, layer));
    }
    // A shapefile copy is a new file, written, closed and opened again as the map opens one.
    const fs::path path = siblingShapefile(source, newName);
    GDALDriver* driver = source.dataset().handle()->GetDriver();
    CPLErrorReset();
    GDALDataset* created = driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!created) failWithOgr("cannot create the class " + newName);
    try {
        copyFeatures(source, *createLayerLike(*created, *source.layer(), newName));
    } catch (...) {
        GDALClose(created);
        driver->Delete(path.c_str());
        throw;
    }
    GDALClose(created);
    auto dataset = std::make_shared<OgrDataset>(path.string());
    return std::make_unique<FeatureLayer>(
        newName, std::make_shared<OgrFeatureClass>(dataset, dataset->handle()->GetLayer(0)));
}

}  // namespace ondu::maputil
