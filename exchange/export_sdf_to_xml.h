#pragma once
// Export SDF to XML: the dialog that converts a spatial data file of the hydraulic model into
// its XML form, and the command that opens it.

#include "framework/commands.h"
#include "framework/dialog.h"

namespace ondu {

class frmExportSDFtoXML : public Dialog {
public:
    frmExportSDFtoXML() : Dialog(declaration()) {}
    static const DialogDecl& declaration();

protected:
    void onClick(Control& control) override;

private:
    void cmdOK_Click();
};

class clsExportSDFtoXML : public ToolCommand<frmExportSDFtoXML> {
public:
    clsExportSDFtoXML() : ToolCommand("clsExportSDFtoXML") {}
};

}  // namespace ondu
