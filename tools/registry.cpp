#include "tools/registry.h"

#include "exchange/export_sdf_to_xml.h"
#include "exchange/xml_to_geometry_file.h"
#include "morphology/sn_coordinates.h"
#include "morphology/thalweg_from_cross_sections.h"
#include "morphology/thalweg_from_curvature.h"
#include "preprocessing/snap_points_to_line.h"

namespace ondu {

namespace {
CommandCatalogue buildCatalogue() {
    CommandCatalogue catalogue;
    catalogue.add<clsXMLtoGeometryFile>();
    catalogue.add<clsExportSDFtoXML>();
    catalogue.add<clsThaCur>();
    catalogue.add<clsSnapPointstoLine>();
    catalogue.add<clsAssignSN>();
    catalogue.add<clsThalweg_CS>();
    return catalogue;
}
}  // namespace

const CommandCatalogue& toolCatalogue() {
    static const CommandCatalogue catalogue = buildCatalogue();
    return catalogue;
}

}  // namespace ondu
