#pragma once
// The command, menu and toolbar catalogue: every identifier and text the host sees, the order and
// grouping of the menu items, and the four ways a click reaches a dialog.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/dialog.h"
#include "framework/shared_state.h"

namespace ondu {

class IApplication;

inline constexpr const char* kLibraryName = "RUDAvuZIR";
/// "RUDAvuZIR." + class name.
std::string progID(std::string_view className);

class ICommand {
public:
    virtual ~ICommand() = default;
    virtual bool Enabled() const = 0;
    virtual bool Checked() const = 0;
    virtual std::string Name() const = 0;
    virtual std::string Caption() const = 0;
    virtual std::string Tooltip() const = 0;
    virtual std::string Message() const = 0;
    virtual std::string HelpFile() const = 0;
    virtual long HelpContextID() const = 0;
    virtual long Bitmap() const = 0;
    virtual std::string Category() const = 0;
    virtual void OnCreate(IApplication* hook) = 0;
    virtual void OnClick() = 0;
};

/// An item definition owned by the host; GetItemInfo fills it for a known position only.
struct ItemDef {
    std::string ID;
    bool Group = false;
    long SubType = 0;
};

class IMenuDef {
public:
    virtual ~IMenuDef() = default;
    virtual long ItemCount() const = 0;
    virtual void GetItemInfo(long pos, ItemDef& itemDef) const = 0;
    virtual std::string Name() const = 0;
    virtual std::string Caption() const = 0;
};

class IToolBarDef {
public:
    virtual ~IToolBarDef() = default;
    virtual long ItemCount() const = 0;
    virtual void GetItemInfo(long pos, ItemDef& itemDef) const = 0;
    virtual std::string Name() const = 0;
    virtual std::string Caption() const = 0;
};

/// How a click reaches the dialog.
enum class ClickPattern {
    Modal,              ///< show the dialog modal
    EditGatedModal,     ///< only with an edit session open; the question is asked again after
    EditGatedModeless,  ///< as above, init with the application, shown modeless
    ModelessWithInit,   ///< init with the application, shown modeless, no gate
};

/// The fixed texts of one command and the way its click works.
struct CommandInfo {
    std::string_view className;
    std::string_view name;
    std::string_view caption;
    std::string_view category;
    std::string_view tooltip;
    ClickPattern pattern = ClickPattern::Modal;
    bool initBeforeShow = false;      ///< call the dialog's init with the application first
    std::string_view gateTitle = {};  ///< title of the edit-session message of gated commands
};

namespace detail {
inline constexpr std::string_view kBetaTooltip = "Creates beta sections using thalweg location";
using P = ClickPattern;
}  // namespace detail

/// The 21 commands in catalogue order.
inline constexpr std::array<CommandInfo, 21> kCommandInfos = {{
    {"clsRUDAvuZIR", "CrossSectionsToXML_Tool", "Cross-Sections to XML", "Cross-Sections to XML",
     detail::kBetaTooltip},
    {"clsXMLtoGeometryFile", "XMLtoGeometryFile_Tool", "XML to GeometryFile", "XML to GeometryFile",
     detail::kBetaTooltip},
    {"clsExportSDFtoXML", "SDFtoXML_Tool", "Export SDF to XML", "SDF to XML", detail::kBetaTooltip},
    {"clsAssignMstoReaches", "AssignMstoReaches_Tool", "Assign Ms To Reaches", "Assign Measures",
     "Assign Measures to Reaches"},
    {"clsAssignStnNotoCS", "AssignStationNumbers_Tool", "Assign Station Numbers",
     "Assign Station Numbers", "Assigns Station Numbers to Cross-sections"},
    {"clsAssignDnDs", "AssignDownstreamDistance_Tool", "Assign Downstream Distances",
     "Assign Downstream Distance", "Assigns downstream distances to cross-sections"},
    {"clsSnapPointstoLine", "SnapPointsToLine_Tool", "Snap Points to Line", "Snap Points to Line",
     "Snap gaging stations to centerline"},
    {"clsIntegrateCSwithTerrain", "IntegrateCrossSections_Tool", "Intgrate c/s with Terrain",
     "Integrate c/s with Terrain", "Intgrate CrossSections with Terrain"},
    {"clsProfileFromFTable", "ProfileLinesFromFTable_Tool", "ProfileLines Using FTable",
     "Cross-Sections to XML", "Creates ProfileLines using WSE in FTable"},
    {"clsThaCur", "PredictThalweg_Tool", "Create Thalweg", "Predict Thalweg",
     "Locates thalweg using left bank", detail::P::EditGatedModal, false, "Edit Session"},
    {"clsBetaFromTha", "BetausingThalweg_Tool", "Create Cross-sections", "Create Beta Sections",
     detail::kBetaTooltip, detail::P::EditGatedModal, false, "Edit Session"},
    {"clsProfileLines", "ProfileLines_Tool", "Create Profile Lines", "Profile LInes",
     "Creates profile lines from cross-sections", detail::P::EditGatedModal, true, "Edit Session"},
    {"clsAssignSN", "AssignSN_Tool", "Assign (s,n) Coordinates to Points", "SN Tool",
     "Assigns (s,n) coordinates", detail::P::EditGatedModeless, true, "Assign"},
    {"clsThalweg", "Thalweg_Tool", "Locate Thalweg From Points", "Thalweg Tool",
     "Creates thalweg....", detail::P::ModelessWithInit, true},
    {"clsThalweg_CS", "Thalweg_Tool", "Locate Thalweg Using 3D C/s", "Thalweg Tool",
     "Creates thalweg...."},
    {"clsIntAttribute", "Interpolate Attribute Tool", "Interpolate Attributes",
     "Interpolate AttributeTool", "Interpolates Attributes"},
    {"clsBoundaryFromLines", "Create Boundary Tool", "Boundary From Lines", "Create Boundary Tool",
     "Creates boundary from lines"},
    {"clsPolyToLines", "PolygonToPolylineTool", "Polygon To Polyline", "Polygon To Polyline",
     "Converts polygons to polylines"},
    {"clsSplitLine", "Split Line Tool", "Split Line Into Segments", "SplitLineTool",
     "Splits line into segments of specified length"},
    {"clsTrapezoidalCS", "TrapezoidalCS_Tool", "Create Trapezoidal Cross-sections",
     "Create Trapezoidal Sections", "Creates Trapezoidal Cross-sections using centerline"},
    {"clsCreateHECReach", "CreateHECRASReach_Tool", "Create HEC-RAS Reaches", "HEC-RAS Reach",
     "Creates HECRAS reaches"},
}};

inline constexpr const std::array<CommandInfo, 21>& commandInfos() { return kCommandInfos; }

/// The entry of a class name, or nullptr.
constexpr const CommandInfo* findCommandInfo(std::string_view className) {
    for (const auto& info : kCommandInfos)
        if (info.className == className) return &info;
    return nullptr;
}

/// The position of a class name in the catalogue, found while compiling: a class name missing
/// from the catalogue does not compile.
consteval std::size_t catalogueIndex(std::string_view className) {
    // Indices rather than pointers: GCC's sanitizer builds cannot fold pointer tests here.
    for (std::size_t i = 0; i < kCommandInfos.size(); ++i)
        if (kCommandInfos[i].className == className) return i;
    throw "the command class is not in the catalogue";
}

/// The entry of a command class, checked while compiling.
consteval const CommandInfo& catalogued(std::string_view className) {
    return kCommandInfos[catalogueIndex(className)];
}

inline constexpr const char* kEditSessionMessage =
    "Please start the edit session to run this tool.";

/// A dialog a command may show: its declaration, and its single instance (created on demand).
struct DialogEntry {
    const DialogDecl* decl;
    Dialog& (*instance)();
};

template <class Form>
DialogEntry dialogEntry() {
    return {&Form::declaration(), []() -> Dialog& { return Forms::get<Form>(); }};
}

/// The constant members and OnCreate that every command shares.
class CommandBase : public ICommand {
public:
    explicit CommandBase(const CommandInfo& info) : info_(info) {}
    bool Enabled() const override { return true; }
    bool Checked() const override { return false; }
    std::string Name() const override { return std::string(info_.name); }
    std::string Caption() const override { return std::string(info_.caption); }
    std::string Tooltip() const override { return std::string(info_.tooltip); }
    std::string Message() const override { return ""; }
    std::string HelpFile() const override { return ""; }
    long HelpContextID() const override { return 0; }
    long Bitmap() const override { return 0; }
    std::string Category() const override { return std::string(info_.category); }
    void OnCreate(IApplication* hook) override;

    const CommandInfo& info() const { return info_; }
    /// The dialogs a click may show, first shown first.
    virtual std::vector<DialogEntry> dialogs() const = 0;

protected:
    /// Runs the click pattern around `showDialog`.
    void clickThrough(const std::function<void(bool modal)>& showDialog);

private:
    const CommandInfo& info_;
};

/// A command whose click shows the dialog class Form by its pattern.
template <class Form>
class ToolCommand : public CommandBase {
public:
    explicit ToolCommand(const CommandInfo& info) : CommandBase(info) {}
    void OnClick() override {
        clickThrough([this](bool modal) {
            Form& form = Forms::get<Form>();
            if (info().initBeforeShow) form.init(g_pApp);
            form.show(modal);
        });
    }
    std::vector<DialogEntry> dialogs() const override { return {dialogEntry<Form>()}; }
};

/// A command whose tool is not built yet: its click says so and shows nothing.
class NotAvailableCommand : public CommandBase {
public:
    using CommandBase::CommandBase;
    void OnClick() override;
    std::vector<DialogEntry> dialogs() const override { return {}; }
};

/// A menu or toolbar definition: a name, a caption and items (identifier, begin-group flag).
class ItemListDef {
public:
    struct Item {
        std::string className;
        bool group;
    };
    ItemListDef(std::string className, std::string name, std::string caption,
                std::vector<Item> items);
    const std::string& className() const { return className_; }
    long count() const { return static_cast<long>(items_.size()); }
    void fill(long pos, ItemDef& itemDef) const;
    const std::string& name() const { return name_; }
    const std::string& caption() const { return caption_; }

private:
    std::string className_, name_, caption_;
    std::vector<Item> items_;
};

/// A menu or toolbar object as the host sees it, answering from its definition.
template <class Interface>
class ItemListObject : public Interface {
public:
    explicit ItemListObject(const ItemListDef& def) : def_(def) {}
    long ItemCount() const override { return def_.count(); }
    void GetItemInfo(long pos, ItemDef& itemDef) const override { def_.fill(pos, itemDef); }
    std::string Name() const override { return def_.name(); }
    std::string Caption() const override { return def_.caption(); }

private:
    const ItemListDef& def_;
};
using MenuDef = ItemListObject<IMenuDef>;
using ToolBarDef = ItemListObject<IToolBarDef>;

/// The three menus (clsONDU_XML_Menu, clsPreproMenu, clsONDU_Menu) and the toolbar.
const std::vector<ItemListDef>& menuDefinitions();
const ItemListDef& toolbarDefinition();

/// Creates command objects by identifier. Built tools register their command class; the
/// others are answered by NotAvailableCommand.
class CommandCatalogue {
public:
    using Factory = std::function<std::unique_ptr<CommandBase>()>;

    /// Registers a built tool's command class (default-constructible).
    template <class Command>
    void add() {
        factories_.push_back(
            {Command().info().className, [] { return std::make_unique<Command>(); }});
    }
    /// A command by programmatic identifier, class name or (unique) command name; nullptr
    /// when there is none. `ambiguous` is set when a name matches several commands.
    std::unique_ptr<CommandBase> create(const std::string& key, bool* ambiguous = nullptr) const;
    std::unique_ptr<CommandBase> createByClass(std::string_view className) const;

    std::unique_ptr<IMenuDef> createMenu(const std::string& className) const;
    std::unique_ptr<IToolBarDef> createToolBar() const;

private:
    std::vector<std::pair<std::string_view, Factory>> factories_;
};

}  // namespace ondu
