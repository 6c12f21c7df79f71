#pragma once
// XML to GeometryFile: the dialog that turns a channel-geometry XML document into a HEC-RAS
// geometry file (and, on request, its project, plan and flow files), and its command.

#include "framework/commands.h"
#include "framework/dialog.h"

namespace ondu {

class frmXMLtoGeometryFile : public Dialog {
public:
    frmXMLtoGeometryFile() : Dialog(declaration()) {}
    static const DialogDecl& declaration();

protected:
    void onClick(Control& control) override;

private:
    void cmdOK_Click();
};

class clsXMLtoGeometryFile : public ToolCommand<frmXMLtoGeometryFile> {
public:
    clsXMLtoGeometryFile() : ToolCommand("clsXMLtoGeometryFile") {}
};

}  // namespace ondu
