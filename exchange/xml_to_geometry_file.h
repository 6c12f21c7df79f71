#pragma once
// XML to GeometryFile: the dialog that turns a channel-geometry XML document into a HEC-RAS
// geometry file (and, on request, its project, plan and flow files), and its command.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"

namespace ondu {

struct XmlToGeometryFileOptions {
    std::string input;
    std::string output;
    bool createHecRasFiles = false;
};

/// Converts the document (convertXmlToGeometryFile); throws what it throws.
void run(const XmlToGeometryFileOptions& options);

class frmXMLtoGeometryFile : public Dialog {
public:
    frmXMLtoGeometryFile() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    XmlToGeometryFileOptions options() const;

protected:
    void onOk() override;
};

class clsXMLtoGeometryFile : public ToolCommand<frmXMLtoGeometryFile> {
public:
    clsXMLtoGeometryFile() : ToolCommand(catalogued("clsXMLtoGeometryFile")) {}
};

}  // namespace ondu
