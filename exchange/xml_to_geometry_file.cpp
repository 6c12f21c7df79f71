#include "exchange/xml_to_geometry_file.h"

#include "exchange/hecras_geometry_file.h"
#include "framework/error_report.h"
#include "framework/ui.h"

namespace ondu {

void run(const XmlToGeometryFileOptions& options) {
    convertXmlToGeometryFile(options.input, options.output, options.createHecRasFiles);
}

const DialogDecl& frmXMLtoGeometryFile::declaration() {
    const std::string frame = "Specify Input/Output";
    static const DialogDecl decl{
        "frmXMLtoGeometryFile",
        "Transfer XML to HEC-RAS Geometry",
        {
            {.name = "txtInput",
             .kind = ControlKind::TextBox,
             .label = "Input XML File",
             .frame = frame,
             .help = "the channel-geometry XML document",
             .type = ValueType::Path},
            browseButton("cmdOpen", "txtInput", "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|",
                         false, "choose the XML document", frame),
            {.name = "txtOutput",
             .kind = ControlKind::TextBox,
             .label = "Output Geometry File",
             .frame = frame,
             .help = "the geometry file to write (replaced)",
             .type = ValueType::Path},
            browseButton("cmdSave", "txtOutput",
                         "All Files (*.*)|*.*|Geometry Files (*.g01)|*.g01|", true,
                         "choose the geometry file", frame),
            {.name = "chkAuxFiles",
             .kind = ControlKind::CheckBox,
             .label = "Create HEC-RAS files",
             .frame = frame,
             .defaultValue = "0",
             .help = "also write the project, plan and flow files beside the geometry file"},
            okButton("convert"),
            cancelButton("close without converting"),
        }};
    return decl;
}

XmlToGeometryFileOptions frmXMLtoGeometryFile::options() const {
    return {.input = text("txtInput"),
            .output = text("txtOutput"),
            .createHecRasFiles = checked("chkAuxFiles")};
}

void frmXMLtoGeometryFile::onOk() {
    if (!trapped(ErrorStyle::Plain, "Error Occurred", [this] { run(options()); })) return;
    MsgBox("HEC-RAS files created successfully", MsgButtons::OK, "XML to HEC-RAS Geometry File");
    unload();
}

}  // namespace ondu
