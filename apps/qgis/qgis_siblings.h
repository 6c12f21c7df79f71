#pragma once
// The classes beside a QGIS project layer over a GeoPackage table or a shapefile: the other
// tables of its GeoPackage, the other shapefiles of its folder. They are read, deleted and
// copied in the files through OGR, as the command-line host does, and the project's layers are
// kept in step with what is deleted and created.

#include <memory>
#include <string>

#include "framework/host_operations.h"

namespace ondu {
class OgrFeatureClass;
}

namespace ondu::qgis {

class QgisEditor;
class QgisFeatureClass;
class QgisMap;
struct StoredClass;

class QgisSiblingClasses : public ISiblingClasses {
public:
    QgisSiblingClasses(QgisFeatureClass& cls, QgisEditor& editor, QgisMap& map)
        : class_(cls), editor_(editor), map_(map) {}

    bool exists(const std::string& name) override;
    bool hasField(const std::string& name, const std::string& field) override;
    /// The project layers over the class leave the project first; a layer over it with unsaved
    /// edits refuses the delete, naming the layer, so that no edit is discarded unasked. During
    /// a run the class is only set aside (renamed) and deleted when the run completes; a run that
    /// does not complete puts it back and shows it again.
    void remove(const std::string& name) override;
    /// The features as the layer shows them: its unsaved changes of shapes and values and its
    /// unsaved deletions are in the copy, the features its filter leaves out are not. A layer whose
    /// edit buffer holds new features or a changed set of fields is refused (the copy keeps object
    /// identifiers, which new features do not have yet). The copy joins the project on top and the
    /// running command may write it; when the run does not complete, it leaves the project and its
    /// class is deleted.
    std::unique_ptr<IFeatureLayer> copy(const std::string& newName) override;

private:
    /// Where the class of that name beside lies.
    CreatedLayer sibling(const std::string& name) const;

    QgisFeatureClass& class_;
    QgisEditor& editor_;
    QgisMap& map_;
};

}  // namespace ondu::qgis
