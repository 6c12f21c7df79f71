#include "exchange/export_sdf_to_xml.h"

#include "exchange/sdf_converter.h"
#include "framework/ui.h"

namespace ondu {

const DialogDecl& frmExportSDFtoXML::declaration() {
    static const DialogDecl decl{
        "frmExportSDFtoXML",
        "Export HEC-RAS SDF to XML",
        {
            {"txtInput", ControlKind::TextBox, "SDF File", "", "",
             "the spatial data file to convert"},
            {"cmdOpen", ControlKind::Button, "...", "", "", "choose the SDF file"},
            {"txtOutput", ControlKind::TextBox, "XML File", "", "",
             "the XML file to write (replaced)"},
            {"cmdSave", ControlKind::Button, "...", "", "", "choose the XML file"},
            {"cmdOK", ControlKind::Button, "OK", "", "", "convert", ButtonRole::Ok},
            {"cmdCancel", ControlKind::Button, "Cancel", "", "", "close without converting",
             ButtonRole::Cancel},
        }};
    return decl;
}

void frmExportSDFtoXML::onClick(Control& control) {
    if (control.name() == "cmdOpen")
        return browseInto(this->control("txtInput"),
                          openFileChoice("All Files (*.*)|*.*|SDF Files (*.sdf)|*.sdf|"));
    if (control.name() == "cmdSave")
        return browseInto(this->control("txtOutput"),
                          saveFileChoice("All Files (*.*)|*.*|XML Files (*.xml)|*.xml|"));
    if (control.name() == "cmdOK") return cmdOK_Click();
    if (control.name() == "cmdCancel") return unload();
}

void frmExportSDFtoXML::cmdOK_Click() {
    if (text("txtInput").empty()) {
        MsgBox("Select a file for input", MsgButtons::OK, "Warning");
        return;
    }
    if (text("txtOutput").empty()) {
        MsgBox("Specify the output file", MsgButtons::OK, "Warning");
        return;
    }
    clsConvertRASOutputToXML converter;
    // The converter has shown what went wrong; the dialog stays open for another choice.
    if (!converter.AccessDLL(text("txtInput"), text("txtOutput"))) return;
    unload();
    MsgBox("SDF file is exported successfully!", MsgButtons::OK, "RAS SDF export to XML");
}

}  // namespace ondu
