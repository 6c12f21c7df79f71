#include "framework/commands.h"

#include <algorithm>

#include "framework/map_helpers.h"
#include "framework/ui.h"

namespace ondu {

std::string progID(const std::string& className) {
    return std::string(kLibraryName) + "." + className;
}

namespace {

using P = ClickPattern;

CommandInfo modal(std::string cls, std::string name, std::string caption, std::string category,
                  std::string tooltip) {
    return {std::move(cls),
            std::move(name),
            std::move(caption),
            std::move(category),
            std::move(tooltip),
            P::Modal,
            false,
            ""};
}

CommandInfo gated(CommandInfo info, P pattern, bool init, std::string title) {
    info.pattern = pattern;
    info.initBeforeShow = init;
    info.gateTitle = std::move(title);
    return info;
}

std::vector<CommandInfo> buildCommandInfos() {
    const std::string beta = "Creates beta sections using thalweg location";
    return {
        modal("clsRUDAvuZIR", "CrossSectionsToXML_Tool", "Cross-Sections to XML",
              "Cross-Sections to XML", beta),
        modal("clsXMLtoGeometryFile", "XMLtoGeometryFile_Tool", "XML to GeometryFile",
              "XML to GeometryFile", beta),
        modal("clsExportSDFtoXML", "SDFtoXML_Tool", "Export SDF to XML", "SDF to XML", beta),
        modal("clsAssignMstoReaches", "AssignMstoReaches_Tool", "Assign Ms To Reaches",
              "Assign Measures", "Assign Measures to Reaches"),
        modal("clsAssignStnNotoCS", "AssignStationNumbers_Tool", "Assign Station Numbers",
              "Assign Station Numbers", "Assigns Station Numbers to Cross-sections"),
        modal("clsAssignDnDs", "AssignDownstreamDistance_Tool", "Assign Downstream Distances",
              "Assign Downstream Distance", "Assigns downstream distances to cross-sections"),
        modal("clsSnapPointstoLine", "SnapPointsToLine_Tool", "Snap Points to Line",
              "Snap Points to Line", "Snap gaging stations to centerline"),
        modal("clsIntegrateCSwithTerrain", "IntegrateCrossSections_Tool",
              "Intgrate c/s with Terrain", "Integrate c/s with Terrain",
              "Intgrate CrossSections with Terrain"),
        modal("clsProfileFromFTable", "ProfileLinesFromFTable_Tool", "ProfileLines Using FTable",
              "Cross-Sections to XML", "Creates ProfileLines using WSE in FTable"),
        gated(modal("clsThaCur", "PredictThalweg_Tool", "Create Thalweg", "Predict Thalweg",
                    "Locates thalweg using left bank"),
              P::EditGatedModal, false, "Edit Session"),
        gated(modal("clsBetaFromTha", "BetausingThalweg_Tool", "Create Cross-sections",
                    "Create Beta Sections", beta),
              P::EditGatedModal, false, "Edit Session"),
        gated(modal("clsProfileLines", "ProfileLines_Tool", "Create Profile Lines", "Profile LInes",
                    "Creates profile lines from cross-sections"),
              P::EditGatedModal, true, "Edit Session"),
        gated(modal("clsAssignSN", "AssignSN_Tool", "Assign (s,n) Coordinates to Points", "SN Tool",
                    "Assigns (s,n) coordinates"),
              P::EditGatedModeless, true, "Assign"),
        gated(modal("clsThalweg", "Thalweg_Tool", "Locate Thalweg From Points", "Thalweg Tool",
                    "Creates thalweg...."),
              P::ModelessWithInit, true, ""),
        modal("clsThalweg_CS", "Thalweg_Tool", "Locate Thalweg Using 3D C/s", "Thalweg Tool",
              "Creates thalweg...."),
        modal("clsIntAttribute", "Interpolate Attribute Tool", "Interpolate Attributes",
              "Interpolate AttributeTool", "Interpolates Attributes"),
        modal("clsBoundaryFromLines", "Create Boundary Tool", "Boundary From Lines",
              "Create Boundary Tool", "Creates boundary from lines"),
        modal("clsPolyToLines", "PolygonToPolylineTool", "Polygon To Polyline",
              "Polygon To Polyline", "Converts polygons to polylines"),
        modal("clsSplitLine", "Split Line Tool", "Split Line Into Segments", "SplitLineTool",
              "Splits line into segments of specified length"),
        modal("clsTrapezoidalCS", "TrapezoidalCS_Tool", "Create Trapezoidal Cross-sections",
              "Create Trapezoidal Sections", "Creates Trapezoidal Cross-sections using centerline"),
        modal("clsCreateHECReach", "CreateHECRASReach_Tool", "Create HEC-RAS Reaches",
              "HEC-RAS Reach", "Creates HECRAS reaches"),
    };
}

}  // namespace

const std::vector<CommandInfo>& commandInfos() {
    static const std::vector<CommandInfo> infos = buildCommandInfos();
    return infos;
}

const CommandInfo* findCommandInfo(const std::string& className) {
    for (const auto& info : commandInfos())
        if (info.className == className) return &info;
    return nullptr;
}

// ---- commands ----------------------------------------------------------------------------

CommandBase::CommandBase(const std::string& className)
    : info_([&]() -> const CommandInfo& {
          const CommandInfo* info = findCommandInfo(className);
          if (!info) throw std::invalid_argument("no command class " + className);
          return *info;
      }()) {}

void CommandBase::OnCreate(IApplication* hook) { g_pApp = hook; }

void CommandBase::clickThrough(const std::function<void(bool modal)>& showDialog) {
    switch (info_.pattern) {
        case ClickPattern::Modal:
            showDialog(true);
            return;
        case ClickPattern::ModelessWithInit:
            showDialog(false);
            return;
        case ClickPattern::EditGatedModal:
        case ClickPattern::EditGatedModeless:
            // The question is asked again afterwards, so a session closed while the dialog was
            // open is reported too.
            if (maputil::EditSession()) showDialog(info_.pattern == ClickPattern::EditGatedModal);
            if (!maputil::EditSession())
                MsgBox(kEditSessionMessage, MsgButtons::OK, info_.gateTitle);
            return;
    }
}

void NotAvailableCommand::OnClick() {
    MsgBox("\"" + Caption() + "\" is not available yet.", MsgButtons::OK, Caption());
}

// ---- menus and toolbar -------------------------------------------------------------------

ItemListDef::ItemListDef(std::string className, std::string name, std::string caption,
                         std::vector<Item> items)
    : className_(std::move(className)),
      name_(std::move(name)),
      caption_(std::move(caption)),
      items_(std::move(items)) {}

void ItemListDef::fill(long pos, ItemDef& itemDef) const {
    if (pos < 0 || pos >= count()) return;
    const Item& item = items_[static_cast<std::size_t>(pos)];
    itemDef.ID = progID(item.className);
    if (item.group) itemDef.Group = true;
}

const std::vector<ItemListDef>& menuDefinitions() {
    static const std::vector<ItemListDef> menus = {
        {"clsONDU_XML_Menu",
         "ONDU_HEC-RAS Menu",
         "Data Import/Export",
         {{"clsRUDAvuZIR", true},
          {"clsXMLtoGeometryFile", true},
          {"clsExportSDFtoXML", true},
          {"clsProfileFromFTable", true}}},
        {"clsPreproMenu",
         "Processing Menu",
         "Processing Menu",
         {{"clsSnapPointstoLine", false},
          {"clsThalweg", false},
          {"clsThalweg_CS", false},
          {"clsAssignMstoReaches", false},
          {"clsAssignSN", false},
          {"clsAssignStnNotoCS", true},
          {"clsAssignDnDs", true},
          {"clsIntegrateCSwithTerrain", true},
          {"clsCreateHECReach", false}}},
        {"clsONDU_Menu",
         "ONDU Menu",
         "Basic ONDU",
         {{"clsIntAttribute", true},
          {"clsBoundaryFromLines", true},
          {"clsPolyToLines", true},
          {"clsSplitLine", true},
          {"clsThaCur", true},
          {"clsBetaFromTha", true},
          {"clsTrapezoidalCS", true},
          {"clsProfileLines", true}}},
    };
    return menus;
}

const ItemListDef& toolbarDefinition() {
    static const ItemListDef toolbar{
        "clsONDU_XML_Toolbar",
        "ONDU Toolbar",
        "ONDU Toolbar",
        {{"clsONDU_Menu", false}, {"clsPreproMenu", false}, {"clsONDU_XML_Menu", false}}};
    return toolbar;
}

// ---- catalogue ---------------------------------------------------------------------------

std::unique_ptr<CommandBase> CommandCatalogue::createByClass(const std::string& className) const {
    if (!findCommandInfo(className)) return nullptr;
    for (const auto& [cls, factory] : factories_)
        if (cls == className) return factory();
    return std::make_unique<NotAvailableCommand>(className);
}

std::unique_ptr<CommandBase> CommandCatalogue::create(const std::string& key,
                                                      bool* ambiguous) const {
    if (ambiguous) *ambiguous = false;
    const std::string prefix = std::string(kLibraryName) + ".";
    std::string className = key.rfind(prefix, 0) == 0 ? key.substr(prefix.size()) : key;
    if (findCommandInfo(className)) return createByClass(className);
    const CommandInfo* byName = nullptr;
    for (const auto& info : commandInfos()) {
        if (info.name != key) continue;
        if (byName) {
            if (ambiguous) *ambiguous = true;
            return nullptr;
        }
        byName = &info;
    }
    return byName ? createByClass(byName->className) : nullptr;
}

std::unique_ptr<IMenuDef> CommandCatalogue::createMenu(const std::string& className) const {
    for (const auto& def : menuDefinitions())
        if (def.className() == className) return std::make_unique<MenuDef>(def);
    return nullptr;
}

std::unique_ptr<IToolBarDef> CommandCatalogue::createToolBar() const {
    return std::make_unique<ToolBarDef>(toolbarDefinition());
}

}  // namespace ondu
