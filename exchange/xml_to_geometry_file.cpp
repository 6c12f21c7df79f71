#include "exchange/xml_to_geometry_file.h"

#include "exchange/hecras_geometry_file.h"
#include "framework/ui.h"

namespace ondu {

const DialogDecl& frmXMLtoGeometryFile::declaration() {
    const std::string frame = "Specify Input/Output";
    static const DialogDecl decl{
        "frmXMLtoGeometryFile",
        "Transfer XML to HEC-RAS Geometry",
        {
            {"txtInput", ControlKind::TextBox, "Input XML File", frame, "",
             "the channel-geometry XML document"},
            {"cmdOpen", ControlKind::Button, "...", frame, "", "choose the XML document"},
            {"txtOutput", ControlKind::TextBox, "Output Geometry File", frame, "",
             "the geometry file to write (replaced)"},
            {"cmdSave", ControlKind::Button, "...", frame, "", "choose the geometry file"},
            {"chkAuxFiles", ControlKind::CheckBox, "Create HEC-RAS files", frame, "0",
             "also write the project, plan and flow files beside the geometry file"},
            {"cmdOK", ControlKind::Button, "OK", "", "", "convert", ButtonRole::Ok},
            {"cmdCancel", ControlKind::Button, "Cancel", "", "", "close without converting",
             ButtonRole::Cancel},
        }};
    return decl;
}

void frmXMLtoGeometryFile::onClick(Control& control) {
    if (control.name() == "cmdOpen")
        return browseInto(this->control("txtInput"),
                          openFileChoice("All Files (*.*)|*.*|XML Files (*.xml)|*.xml|"));
    if (control.name() == "cmdSave")
        return browseInto(this->control("txtOutput"),
                          saveFileChoice("All Files (*.*)|*.*|Geometry Files (*.g01)|*.g01|"));
    if (control.name() == "cmdOK") return cmdOK_Click();
    if (control.name() == "cmdCancel") return unload();
}

void frmXMLtoGeometryFile::cmdOK_Click() {
    try {
        convertXmlToGeometryFile(text("txtInput"), text("txtOutput"), checked("chkAuxFiles"));
    } catch (const RasInputRefused& refused) {
        MsgBox(refused.what(), MsgButtons::OK, refused.title());
        return;
    } catch (const RasExportError& error) {
        MsgBox(error.what(), MsgButtons::OK, "Error Occurred");
        return;
    }
    MsgBox("HEC-RAS files created successfully", MsgButtons::OK, "XML to HEC-RAS Geometry File");
    unload();
}

}  // namespace ondu
