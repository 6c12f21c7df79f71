#include "tools/registry.h"

#include "exchange/export_sdf_to_xml.h"
#include "exchange/xml_to_geometry_file.h"
#include "morphology/thalweg_from_curvature.h"

namespace ondu {

namespace {
CommandCatalogue buildCatalogue() {
    CommandCatalogue catalogue;
    catalogue.add<clsXMLtoGeometryFile>();
    catalogue.add<clsExportSDFtoXML>();
    catalogue.add<clsThaCur>();
    return catalogue;
}
}  // namespace

const CommandCatalogue& toolCatalogue() {
    static const CommandCatalogue catalogue = buildCatalogue();
    return catalogue;
}

}  // namespace ondu
