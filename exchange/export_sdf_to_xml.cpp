#include "exchange/export_sdf_to_xml.h"

#include "exchange/sdf_converter.h"
#include "framework/ui.h"

namespace ondu {

bool run(const SdfToXmlOptions& options) {
    clsConvertRASOutputToXML converter;
    return converter.AccessDLL(options.input, options.output);
}

const DialogDecl& frmExportSDFtoXML::declaration() {
    static const DialogDecl decl{
        "frmExportSDFtoXML",
        "Export HEC-RAS SDF to XML",
        {
            {.name = "txtInput",
             .kind = ControlKind::TextBox,
             .label = "SDF File",
             .help = "the spatial data file to convert",
             .type = ValueType::Path,
             .required = {"Select a file for input"}},
            browseButton("cmdOpen", "txtInput", "All Files (*.*)|*.*|SDF Files (*.sdf)|*.sdf|",
                         false, "choose the SDF file"),
            {.name = "txtOutput",
             .kind = ControlKind::TextBox,
             .label = "XML File",
             .help = "the XML file to write (replaced)",
             .type = ValueType::Path,
             .required = {"Specify the output file"}},
            browseButton("cmdSave", "txtOutput", "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|",
                         true, "choose the XML file"),
            okButton("convert"),
            cancelButton("close without converting"),
        }};
    return decl;
}

SdfToXmlOptions frmExportSDFtoXML::options() const {
    return {.input = text("txtInput"), .output = text("txtOutput")};
}

void frmExportSDFtoXML::onOk() {
    // The converter has shown what went wrong; the dialog stays open for another choice.
    if (!run(options())) return;
    unload();
    MsgBox("SDF file is exported successfully!", MsgButtons::OK, "RAS SDF export to XML");
}

}  // namespace ondu
