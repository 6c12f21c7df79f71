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

ISiblingClasses& siblingsOf(IFeatureClass& cls) {
    ISiblingClasses* siblings = cls.siblings();
    if (!siblings) throw HostError("the class " + cls.name() + " is not stored in a file dataset");
    return *siblings;
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
    return siblingsOf(cls).exists(name);
}

bool FeatureClassHasField(IFeatureClass& cls, const std::string& name, const std::string& field) {
    return siblingsOf(cls).hasField(name, field);
}

void DeleteFeatureClass(IFeatureClass& cls, const std::string& name) {
    ISiblingClasses& siblings = siblingsOf(cls);
    if (name == cls.name()) throw HostError("the class " + name + " may not delete itself");
    siblings.remove(name);
}

std::unique_ptr<IFeatureLayer> CopyFeatureClass(IFeatureClass& cls, const std::string& newName) {
    ISiblingClasses& siblings = siblingsOf(cls);
    if (siblings.exists(newName))
        throw HostError("a class " + newName + " exists beside " + cls.name());
    return siblings.copy(newName);
}

}  // namespace ondu::maputil

namespace ondu {

namespace fs = std::filesystem;
using maputil::copyFeatures;
using maputil::createLayerLike;
using maputil::failWithOgr;
using maputil::isShapefile;
using maputil::siblingShapefile;

bool OgrFeatureClass::exists(const std::string& name) {
    if (isShapefile(*this)) return fs::is_regular_file(siblingShapefile(*this, name));
    CPLErrorReset();
    return dataset().handle()->GetLayerByName(name.c_str()) != nullptr;
}

bool OgrFeatureClass::hasField(const std::string& name, const std::string& field) {
    if (isShapefile(*this)) {
        OgrDataset dataset(siblingShapefile(*this, name).string());
        OGRLayer* layer = dataset.handle()->GetLayer(0);
        return layer && layer->GetLayerDefn()->GetFieldIndex(field.c_str()) >= 0;
    }
    OGRLayer* layer = dataset().handle()->GetLayerByName(name.c_str());
    return layer && layer->GetLayerDefn()->GetFieldIndex(field.c_str()) >= 0;
}

void OgrFeatureClass::remove(const std::string& name) {
    CPLErrorReset();
    if (isShapefile(*this)) {
        const fs::path path = siblingShapefile(*this, name);
        if (!fs::is_regular_file(path)) throw HostError("no class " + name + " to delete");
        if (dataset().handle()->GetDriver()->Delete(path.c_str()) != CE_None)
            failWithOgr("cannot delete the class " + name);
        return;
    }
    GDALDataset* handle = dataset().handle();
    for (int i = 0; i < handle->GetLayerCount(); ++i)
        if (name == handle->GetLayer(i)->GetName()) {
            if (handle->DeleteLayer(i) != OGRERR_NONE)
                failWithOgr("cannot delete the class " + name);
            return;
        }
    throw HostError("no class " + name + " to delete");
}

std::unique_ptr<IFeatureLayer> OgrFeatureClass::copy(const std::string& newName) {
    if (!isShapefile(*this)) {
        OGRLayer* copied = createLayerLike(*dataset().handle(), *layer(), newName);
        copyFeatures(*this, *copied);
        return std::make_unique<FeatureLayer>(
            newName, std::make_shared<OgrFeatureClass>(sharedDataset(), copied));
    }
    // A shapefile copy is a new file, written, closed and opened again as the map opens one.
    const fs::path path = siblingShapefile(*this, newName);
    GDALDriver* driver = dataset().handle()->GetDriver();
    CPLErrorReset();
    GDALDataset* created = driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!created) failWithOgr("cannot create the class " + newName);
    try {
        copyFeatures(*this, *createLayerLike(*created, *layer(), newName));
    } catch (...) {
        GDALClose(created);
        driver->Delete(path.c_str());
        throw;
    }
    GDALClose(created);
    auto copied = std::make_shared<OgrDataset>(path.string());
    return std::make_unique<FeatureLayer>(
        newName, std::make_shared<OgrFeatureClass>(copied, copied->handle()->GetLayer(0)));
}

}  // namespace ondu
