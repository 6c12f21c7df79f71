#include "framework/commands.h"

#include <gtest/gtest.h>

#include <set>

#include "framework/host/host_application.h"
#include "framework/shared_state.h"
#include "support/recording_ui.h"
#include "tools/registry.h"

namespace ondu {
namespace {

// ---- texts and layout ----------------------------------------------------------------------

TEST(CommandCatalogue, HoldsTwentyOneCommandsWithDistinctIdentifiers) {
    ASSERT_EQ(commandInfos().size(), 21u);
    std::set<std::string> ids;
    for (const auto& info : commandInfos()) ids.insert(progID(info.className));
    EXPECT_EQ(ids.size(), 21u);
    EXPECT_TRUE(ids.count("RUDAvuZIR.clsSnapPointstoLine"));
}

TEST(CommandCatalogue, KeepsTextsAsTheyStandMisspellingsIncluded) {
    auto c = toolCatalogue().create("clsIntegrateCSwithTerrain");
    EXPECT_EQ(c->Caption(), "Intgrate c/s with Terrain");
    EXPECT_EQ(c->Tooltip(), "Intgrate CrossSections with Terrain");
    EXPECT_EQ(c->Category(), "Integrate c/s with Terrain");
    auto p = toolCatalogue().create("RUDAvuZIR.clsProfileLines");
    EXPECT_EQ(p->Name(), "ProfileLines_Tool");
    EXPECT_EQ(p->Category(), "Profile LInes");
    auto sdf = toolCatalogue().create("SDFtoXML_Tool");
    EXPECT_EQ(sdf->Tooltip(), "Creates beta sections using thalweg location");
}

TEST(CommandCatalogue, SharesTheConstantMembers) {
    for (const auto& info : commandInfos()) {
        auto c = toolCatalogue().createByClass(info.className);
        EXPECT_TRUE(c->Enabled());
        EXPECT_FALSE(c->Checked());
        EXPECT_EQ(c->Message(), "");
        EXPECT_EQ(c->HelpFile(), "");
        EXPECT_EQ(c->HelpContextID(), 0);
        EXPECT_EQ(c->Bitmap(), 0);
    }
}

TEST(CommandCatalogue, TellsCommandsOfOneNameApartByIdentifier) {
    auto points = toolCatalogue().create("clsThalweg");
    auto sections = toolCatalogue().create("clsThalweg_CS");
    EXPECT_EQ(points->Name(), "Thalweg_Tool");
    EXPECT_EQ(sections->Name(), "Thalweg_Tool");
    EXPECT_EQ(points->Caption(), "Locate Thalweg From Points");
    EXPECT_EQ(sections->Caption(), "Locate Thalweg Using 3D C/s");
    bool ambiguous = false;
    EXPECT_EQ(toolCatalogue().create("Thalweg_Tool", &ambiguous), nullptr);
    EXPECT_TRUE(ambiguous);
    EXPECT_EQ(toolCatalogue().create("clsNoSuchTool"), nullptr);
}

std::vector<std::pair<std::string, bool>> itemsOf(const IMenuDef& menu) {
    std::vector<std::pair<std::string, bool>> items;
    for (long i = 0; i < menu.ItemCount(); ++i) {
        ItemDef item;
        menu.GetItemInfo(i, item);
        EXPECT_EQ(item.SubType, 0);
        items.emplace_back(item.ID, item.Group);
    }
    return items;
}

TEST(CommandCatalogue, EveryCommandStandsInExactlyOneMenuOfTheToolbar) {
    std::multiset<std::string> placed;
    auto toolbar = toolCatalogue().createToolBar();
    for (long i = 0; i < toolbar->ItemCount(); ++i) {
        ItemDef menuItem;
        toolbar->GetItemInfo(i, menuItem);
        auto menu =
            toolCatalogue().createMenu(menuItem.ID.substr(std::string("RUDAvuZIR.").size()));
        ASSERT_NE(menu, nullptr) << menuItem.ID;
        for (const auto& [id, group] : itemsOf(*menu)) placed.insert(id);
    }
    ASSERT_EQ(placed.size(), commandInfos().size());
    for (const auto& info : commandInfos()) EXPECT_EQ(placed.count(progID(info.className)), 1u);
}

TEST(CommandCatalogue, MenusKeepTheirOwnNamesAndSeparators) {
    auto prepro = toolCatalogue().createMenu("clsPreproMenu");
    EXPECT_EQ(prepro->Name(), "Processing Menu");
    const auto items = itemsOf(*prepro);
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items[5], std::make_pair(std::string("RUDAvuZIR.clsAssignStnNotoCS"), true));
    EXPECT_EQ(items[8], std::make_pair(std::string("RUDAvuZIR.clsCreateHECReach"), false));
    auto xml = toolCatalogue().createMenu("clsONDU_XML_Menu");
    EXPECT_EQ(xml->Name(), "ONDU_HEC-RAS Menu");
    EXPECT_EQ(xml->Caption(), "Data Import/Export");
}

TEST(CommandCatalogue, ToolbarShowsTheThreeMenusLeftToRight) {
    auto toolbar = toolCatalogue().createToolBar();
    EXPECT_EQ(toolbar->Name(), "ONDU Toolbar");
    EXPECT_EQ(toolbar->Caption(), "ONDU Toolbar");
    ASSERT_EQ(toolbar->ItemCount(), 3);
    const char* ids[] = {"RUDAvuZIR.clsONDU_Menu", "RUDAvuZIR.clsPreproMenu",
                         "RUDAvuZIR.clsONDU_XML_Menu"};
    for (long i = 0; i < 3; ++i) {
        ItemDef item;
        toolbar->GetItemInfo(i, item);
        EXPECT_EQ(item.ID, ids[i]);
        EXPECT_FALSE(item.Group);
    }
}

TEST(CommandCatalogue, GetItemInfoOutOfRangeLeavesTheItemUntouched) {
    auto menu = toolCatalogue().createMenu("clsPreproMenu");
    auto toolbar = toolCatalogue().createToolBar();
    for (long pos : {-1L, 9L, 10L}) {
        ItemDef item{"host's own", true, 7};
        menu->GetItemInfo(pos, item);
        EXPECT_EQ(item.ID, "host's own");
        EXPECT_TRUE(item.Group);
        EXPECT_EQ(item.SubType, 7);
    }
    ItemDef item{"kept", false, 0};
    toolbar->GetItemInfo(3, item);
    EXPECT_EQ(item.ID, "kept");
}

// ---- clicks --------------------------------------------------------------------------------

class FakeEditor : public IEditor {
public:
    int editState() const override { return state; }
    int state = 0;
};

class FakeApplication : public IApplication {
public:
    IDocument& document() override { return map; }
    IExtension* findExtension(const std::string& name) override {
        return name == IEditor::kName && withEditor ? &editor : nullptr;
    }
    MapDocument map;
    FakeEditor editor;
    bool withEditor = true;
};

class ProbeDialog : public Dialog {
public:
    ProbeDialog() : Dialog(declaration()) { ++created; }
    static const DialogDecl& declaration() {
        static const DialogDecl decl{
            "frmProbe",
            "Probe",
            {{"txtValue", ControlKind::TextBox, "Value", "", "default"},
             {"cmdOK", ControlKind::Button, "OK", "", "", "", ButtonRole::Ok},
             {"cmdCancel", ControlKind::Button, "Cancel", "", "", "", ButtonRole::Cancel}}};
        return decl;
    }
    void init(IApplication* app) override { initApp = app; }
    IApplication* initApp = nullptr;
    static inline int created = 0;

protected:
    void onLoad() override { g_pMxDoc = &g_pApp->document(); }
    void onOk() override { unload(); }
};

template <const char* ClassName>
class ProbeCommand : public ToolCommand<ProbeDialog> {
public:
    ProbeCommand() : ToolCommand(catalogued(ClassName)) {}
};

constexpr char kPlain[] = "clsSplitLine";
constexpr char kGatedModal[] = "clsThaCur";
constexpr char kGatedModeless[] = "clsAssignSN";
constexpr char kModelessInit[] = "clsThalweg";

class ClickTest : public ::testing::Test {
protected:
    void SetUp() override { ProbeDialog::created = 0; }
    void TearDown() override {
        Forms::reset();
        g_pApp = nullptr;
        g_pMxDoc = nullptr;
    }
    template <const char* ClassName>
    void click() {
        ProbeCommand<ClassName> command;
        command.OnCreate(&app);
        command.OnClick();
    }
    test::RecordingUI ui;
    FakeApplication app;
};

TEST_F(ClickTest, OnCreateStoresTheHookAndTheLastOneWins) {
    FakeApplication other;
    ProbeCommand<kPlain> first;
    ProbeCommand<kGatedModal> second;
    first.OnCreate(&app);
    second.OnCreate(&other);
    EXPECT_EQ(g_pApp, &other);
}

TEST_F(ClickTest, PlainCommandShowsItsDialogModalWithoutAGate) {
    click<kPlain>();
    ASSERT_EQ(ui.shownDialogs, std::vector<std::string>{"frmProbe"});
    EXPECT_TRUE(ui.shownModal[0]);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(g_pMxDoc, &app.map);
}

TEST_F(ClickTest, GatedCommandWithoutSessionShowsOnlyTheMessage) {
    click<kGatedModal>();
    EXPECT_TRUE(ui.shownDialogs.empty());
    EXPECT_EQ(
        ui.messageLines(),
        std::vector<std::string>{"[Edit Session] Please start the edit session to run this tool."});
    EXPECT_EQ(ProbeDialog::created, 0);
}

TEST_F(ClickTest, GatedCommandWithSessionShowsTheDialogModal) {
    app.editor.state = 1;
    click<kGatedModal>();
    ASSERT_EQ(ui.shownDialogs.size(), 1u);
    EXPECT_TRUE(ui.shownModal[0]);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClickTest, SessionClosedWhileTheDialogWasOpenIsReportedAfterIt) {
    app.editor.state = 1;
    ui.onShow = [&](Dialog&) { app.editor.state = 0; };
    click<kGatedModal>();
    EXPECT_EQ(ui.shownDialogs.size(), 1u);
    EXPECT_EQ(
        ui.messageLines(),
        std::vector<std::string>{"[Edit Session] Please start the edit session to run this tool."});
}

TEST_F(ClickTest, GatedModelessCommandInitsAndTitlesItsMessageAssign) {
    click<kGatedModeless>();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Assign] Please start the edit session to run this tool."});
    ui.messages.clear();
    app.editor.state = 1;
    click<kGatedModeless>();
    ASSERT_EQ(ui.shownDialogs.size(), 1u);
    EXPECT_FALSE(ui.shownModal[0]);
    EXPECT_EQ(Forms::get<ProbeDialog>().initApp, &app);
}

TEST_F(ClickTest, ModelessCommandWithInitNeedsNoSession) {
    click<kModelessInit>();
    ASSERT_EQ(ui.shownDialogs.size(), 1u);
    EXPECT_FALSE(ui.shownModal[0]);
    EXPECT_EQ(Forms::get<ProbeDialog>().initApp, &app);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClickTest, ModelessDialogIsReusedWhileLoadedAndFreshAfterUnload) {
    ui.onShow = [](Dialog& d) { d.control("txtValue").text = "typed"; };
    click<kModelessInit>();
    click<kModelessInit>();
    EXPECT_EQ(ProbeDialog::created, 1);
    EXPECT_EQ(Forms::get<ProbeDialog>().control("txtValue").text, "typed");
    Forms::get<ProbeDialog>().pressOk();
    Forms::collect();
    ui.onShow = nullptr;
    click<kModelessInit>();
    EXPECT_EQ(ProbeDialog::created, 2);
    EXPECT_EQ(Forms::get<ProbeDialog>().control("txtValue").text, "default");
}

TEST_F(ClickTest, EditSessionWithoutEditorReportsTheFailureAndAnswersNo) {
    app.withEditor = false;
    click<kGatedModal>();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0].title, "Error in EditSession, Error Number: 91");
    EXPECT_EQ(ui.messages[0].text,
              "Following error occured: Object variable or With block variable not set.");
    EXPECT_EQ(ui.messages[2].text, "Please start the edit session to run this tool.");
    EXPECT_TRUE(ui.shownDialogs.empty());
}

TEST_F(ClickTest, CommandWhoseToolIsNotBuiltSaysSoAndShowsNothing) {
    const CommandCatalogue withoutTools;
    auto command = withoutTools.create("clsIntegrateCSwithTerrain");
    command->OnCreate(&app);
    command->OnClick();
    EXPECT_TRUE(ui.shownDialogs.empty());
    EXPECT_EQ(
        ui.messageLines(),
        std::vector<std::string>{
            "[Intgrate c/s with Terrain] \"Intgrate c/s with Terrain\" is not available yet."});
}

}  // namespace
}  // namespace ondu
