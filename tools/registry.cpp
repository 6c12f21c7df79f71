#include "tools/registry.h"

#include "exchange/export_sdf_to_xml.h"
#include "morphology/thalweg_from_curvature.h"

namespace ondu {

namespace {
CommandCatalogue buildCatalogue() {
    CommandCatalogue catalogue;
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
