#pragma once
// Export SDF to XML: the dialog that converts a spatial data file of the hydraulic model into
// its XML form, and the command that opens it.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"

namespace ondu {

struct SdfToXmlOptions {
    std::string input;
    std::string output;
};

/// Converts the file with the public converter, which shows what went wrong itself; true when
/// the whole input was converted.
bool run(const SdfToXmlOptions& options);

class frmExportSDFtoXML : public Dialog {
public:
    frmExportSDFtoXML() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    SdfToXmlOptions options() const;

protected:
    void onOk() override;
};

class clsExportSDFtoXML : public ToolCommand<frmExportSDFtoXML> {
public:
    clsExportSDFtoXML() : ToolCommand(catalogued("clsExportSDFtoXML")) {}
};

}  // namespace ondu
