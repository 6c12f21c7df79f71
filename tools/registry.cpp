#include "tools/registry.h"

#include "exchange/channel_geometry_xml.h"
#include "exchange/export_sdf_to_xml.h"
#include "exchange/xml_to_geometry_file.h"
#include "morphology/beta_cross_sections.h"
#include "morphology/profile_lines.h"
#include "morphology/sn_coordinates.h"
#include "morphology/thalweg_from_cross_sections.h"
#include "morphology/thalweg_from_curvature.h"
#include "morphology/thalweg_from_points.h"
#include "preprocessing/snap_points_to_line.h"
#include "preprocessing/boundary_from_lines.h"
#include "preprocessing/interpolate_attributes.h"
#include "preprocessing/polygon_to_polyline.h"
#include "preprocessing/split_line.h"
#include "preprocessing/assign_measures.h"
#include "preprocessing/downstream_distances.h"
#include "preprocessing/hecras_reach.h"
#include "preprocessing/integrate_cs_with_terrain.h"
#include "preprocessing/profile_from_flow_table.h"
#include "preprocessing/station_numbers.h"
#include "preprocessing/trapezoidal_sections.h"

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
    catalogue.add<clsIntAttribute>();
    catalogue.add<clsBoundaryFromLines>();
    catalogue.add<clsPolyToLines>();
    catalogue.add<clsSplitLine>();
    catalogue.add<clsCreateHECReach>();
    catalogue.add<clsAssignMstoReaches>();
    catalogue.add<clsTrapezoidalCS>();
    catalogue.add<clsAssignStnNotoCS>();
    catalogue.add<clsAssignDnDs>();
    catalogue.add<clsRUDAvuZIR>();
    catalogue.add<clsThalweg>();
    catalogue.add<clsBetaFromTha>();
    catalogue.add<clsIntegrateCSwithTerrain>();
    catalogue.add<clsProfileLines>();
    catalogue.add<clsProfileFromFTable>();
    return catalogue;
}
}  // namespace

const CommandCatalogue& toolCatalogue() {
    static const CommandCatalogue catalogue = buildCatalogue();
    return catalogue;
}

}  // namespace ondu
