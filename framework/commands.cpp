#include "framework/commands.h"

#include <algorithm>

#include "framework/edit_state.h"
#include "framework/ui.h"

namespace ondu {

std::string progID(std::string_view className) {
    return std::string(kLibraryName) + "." + std::string(className);
}

// ---- commands ----------------------------------------------------------------------------

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
            if (editSessionOpen()) showDialog(info_.pattern == ClickPattern::EditGatedModal);
            if (!editSessionOpen())
                MsgBox(kEditSessionMessage, MsgButtons::OK, std::string(info_.gateTitle));
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

std::unique_ptr<CommandBase> CommandCatalogue::createByClass(std::string_view className) const {
    if (!findCommandInfo(className)) return nullptr;
    for (const auto& [cls, factory] : factories_)
        if (cls == className) return factory();
    return std::make_unique<NotAvailableCommand>(*findCommandInfo(className));
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
