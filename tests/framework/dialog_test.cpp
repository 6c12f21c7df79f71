#include "framework/dialog.h"

#include <gtest/gtest.h>

#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

/// Records the events the actions fire.
class EventDialog : public Dialog {
public:
    EventDialog() : Dialog(declaration()) {}
    static const DialogDecl& declaration() {
        static const DialogDecl decl{
            "frmEvents",
            "Events",
            {{"cmbLayer", ControlKind::List, "Layer", "", "Centerline"},
             {"txtWidth", ControlKind::TextBox, "Width", "", "10"},
             {"chkBoundary", ControlKind::CheckBox, "Use boundary", "", "1"},
             {"optLow", ControlKind::OptionButton, "Low", "Sinuosity", "0"},
             {"optMedium", ControlKind::OptionButton, "Medium", "Sinuosity", "1"},
             {"optLeft", ControlKind::OptionButton, "Left", "Side", "1"},
             {"lblStatus", ControlKind::Label, "", "", ""},
             {"cmdOK", ControlKind::Button, "OK", "", "", "", ButtonRole::Ok}}};
        return decl;
    }
    std::vector<std::string> events;

protected:
    void onLoad() override {
        events.push_back("load");
        control("cmbLayer").addItem("Centerline");
        control("cmbLayer").addItem("Reach");
    }
    void onChange(Control& c) override { events.push_back("change " + c.name() + "=" + c.text); }
    void onClick(Control& c) override { events.push_back("click " + c.name()); }
    void onOk() override { events.push_back("ok"); }
};

TEST(Dialog, StartsWithTheDeclaredDefaults) {
    EventDialog d;
    EXPECT_EQ(d.control("cmbLayer").text, "Centerline");
    EXPECT_EQ(d.control("txtWidth").text, "10");
    EXPECT_TRUE(d.control("chkBoundary").checked);
    EXPECT_TRUE(d.control("optMedium").checked);
    EXPECT_FALSE(d.control("optLow").checked);
    EXPECT_EQ(d.control("cmdOK").text, "OK");
    EXPECT_FALSE(d.isLoaded());
}

TEST(Dialog, ApplyFiresTheEventOfEachKind) {
    EventDialog d;
    d.load();
    d.apply("cmbLayer", "Reach");       // a listed item is picked
    d.apply("cmbLayer", "Not listed");  // other text is typed
    d.apply("txtWidth", "12.5");
    d.apply("chkBoundary", "0");
    d.apply("cmdOK", "");
    EXPECT_EQ(d.events,
              (std::vector<std::string>{"load", "click cmbLayer", "change cmbLayer=Not listed",
                                        "change txtWidth=12.5", "click chkBoundary", "ok"}));
    EXPECT_FALSE(d.control("chkBoundary").checked);
}

TEST(Dialog, OptionButtonsExcludeEachOtherWithinTheirFrameOnly) {
    EventDialog d;
    d.apply("optLow", "1");
    EXPECT_TRUE(d.control("optLow").checked);
    EXPECT_FALSE(d.control("optMedium").checked);
    EXPECT_TRUE(d.control("optLeft").checked);
}

TEST(Dialog, RefusesValuesAControlCannotTakeByName) {
    EventDialog d;
    try {
        d.apply("chkBoundary", "maybe");
        FAIL() << "accepted";
    } catch (const ControlValueError& e) {
        EXPECT_STREQ(e.what(), "frmEvents.chkBoundary: 'maybe' is not 1 or 0");
    }
    EXPECT_THROW(d.apply("optLow", "0"), ControlValueError);
    EXPECT_THROW(d.apply("lblStatus", "x"), ControlValueError);
    EXPECT_THROW(d.apply("cmbNone", "x"), std::out_of_range);
    EXPECT_TRUE(d.control("chkBoundary").checked);
}

// ---- what the declaration carries ------------------------------------------------------------

/// A dialog that declares its conventions and has no code of its own but OK.
class DeclaredDialog : public Dialog {
public:
    DeclaredDialog() : Dialog(declaration()) {}
    static const DialogDecl& declaration() {
        static const DialogDecl decl{
            "frmDeclared",
            "Declared",
            {
                {.name = "txtInput",
                 .kind = ControlKind::TextBox,
                 .type = ValueType::Path,
                 .required = {"Select a file for input"}},
                {.name = "cmdOpen",
                 .kind = ControlKind::Button,
                 .browse = {.target = "txtInput", .filter = "All Files (*.*)|*.*|"}},
                {.name = "optDistance",
                 .kind = ControlKind::OptionButton,
                 .frame = "Mode",
                 .defaultValue = "1"},
                {.name = "optPercent", .kind = ControlKind::OptionButton, .frame = "Mode"},
                {.name = "txtDistance",
                 .kind = ControlKind::TextBox,
                 .defaultValue = "10",
                 .type = ValueType::Number,
                 .invalid = {"Enter a valid number for the distance"},
                 .enabledBy = "optDistance"},
                {.name = "txtCount",
                 .kind = ControlKind::TextBox,
                 .defaultValue = "3",
                 .type = ValueType::WholeNumber,
                 .invalid = {"Enter a whole number of parts", "Parts"}},
                {.name = "cmdOK", .kind = ControlKind::Button, .role = ButtonRole::Ok},
                {.name = "cmdCancel", .kind = ControlKind::Button, .role = ButtonRole::Cancel},
            }};
        return decl;
    }
    int oks = 0;

protected:
    void onOk() override { ++oks; }
};

class DeclaredDialogTest : public ::testing::Test, public IDialogObserver {
protected:
    void TearDown() override { Forms::reset(); }
    void controlChanged(const Dialog&, const Control& c) override { changed.push_back(c.name()); }

    DeclaredDialog& open() {
        auto& d = Forms::get<DeclaredDialog>();
        d.setObserver(this);
        d.load();
        return d;
    }
    test::RecordingUI ui;
    std::vector<std::string> changed;
};

TEST_F(DeclaredDialogTest, OkShowsTheFirstDeclaredWarningThatAppliesAndStaysOpen) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> typed;
        const char* message;  ///< nullptr: OK goes through
    };
    const Case cases[] = {
        {"empty input", {}, "[Warning] Select a file for input"},
        {"distance no number",
         {{"txtInput", "a.xml"}, {"txtDistance", "1,5"}},
         "[Warning] Enter a valid number for the distance"},
        {"fraction of parts",
         {{"txtInput", "a.xml"}, {"txtCount", "2.5"}},
         "[Parts] Enter a whole number of parts"},
        {"disabled box not checked",
         {{"txtInput", "a.xml"}, {"txtDistance", "x"}, {"optPercent", "1"}},
         nullptr},
        {"all well", {{"txtInput", "a.xml"}, {"txtCount", "1e1"}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto& d = open();
        for (const auto& [control, value] : c.typed) d.apply(control, value);
        ui.messages.clear();
        d.pressOk();
        if (c.message) {
            EXPECT_EQ(ui.messageLines(), std::vector<std::string>{c.message});
            EXPECT_EQ(d.oks, 0);
        } else {
            EXPECT_TRUE(ui.messages.empty());
            EXPECT_EQ(d.oks, 1);
        }
        Forms::reset();
    }
}

TEST_F(DeclaredDialogTest, NumberBoxesTurnRedWhileTheirTextIsNoNumberOfTheirType) {
    auto& d = open();
    EXPECT_EQ(d.control("txtDistance").foreColor, kWindowTextColor);
    d.type("txtDistance", "12,5");
    EXPECT_EQ(d.control("txtDistance").foreColor, kRed);
    d.type("txtDistance", "-1e3");
    EXPECT_EQ(d.control("txtDistance").foreColor, kWindowTextColor);
    d.type("txtCount", "4.5");
    EXPECT_EQ(d.control("txtCount").foreColor, kRed);
    EXPECT_EQ(d.control("txtInput").foreColor, kWindowTextColor);  // paths are never red
}

TEST_F(DeclaredDialogTest, AnOptionEnablesItsBoxAndTheHostIsToldOfEveryChange) {
    auto& d = open();
    EXPECT_TRUE(d.control("txtDistance").enabled);
    changed.clear();
    d.selectOption("optPercent");
    EXPECT_FALSE(d.control("txtDistance").enabled);
    EXPECT_EQ(changed, (std::vector<std::string>{"optDistance", "optPercent", "txtDistance"}));
    changed.clear();
    d.type("txtCount", "x");
    EXPECT_EQ(changed, std::vector<std::string>{"txtCount"});  // text and colour: one change
}

TEST_F(DeclaredDialogTest, BrowseButtonsFillTheirBoxAndCancelUnloads) {
    auto& d = open();
    ui.files.push_back("/data/river.sdf");
    d.click("cmdOpen");
    EXPECT_EQ(d.control("txtInput").text, "/data/river.sdf");
    ASSERT_EQ(ui.fileChoices.size(), 1u);
    EXPECT_TRUE(ui.fileChoices[0].mustExist);
    EXPECT_EQ(ui.fileChoices[0].initialPath, "");
    d.pressCancel();
    EXPECT_FALSE(Forms::anyLoaded());
}

TEST_F(DeclaredDialogTest, ValuesAreCheckedAgainstTheDeclaredTypeByName) {
    const auto& decl = DeclaredDialog::declaration();
    EXPECT_NO_THROW(checkValueType(decl.name, *decl.find("txtDistance"), "2.5"));
    EXPECT_NO_THROW(checkValueType(decl.name, *decl.find("txtInput"), "any text"));
    try {
        checkValueType(decl.name, *decl.find("txtCount"), "2.5");
        FAIL() << "accepted";
    } catch (const ControlValueError& e) {
        EXPECT_STREQ(e.what(), "frmDeclared.txtCount: '2.5' is not a whole number");
    }
    EXPECT_THROW(checkValueType(decl.name, *decl.find("txtDistance"), "ten"), ControlValueError);
}

// ---- field lists proposing a name the layer lacks
// ------------------------------------------------

class FieldListDialog : public Dialog {
public:
    FieldListDialog() : Dialog(declaration()) {}
    static const DialogDecl& declaration() {
        static const DialogDecl decl{"frmFieldLists",
                                     "Field lists",
                                     {
                                         {.name = "cmbLayer",
                                          .kind = ControlKind::List,
                                          .defaultValue = "Named",
                                          .source = {.kind = ListSource::Kind::Layers}},
                                         {.name = "cmbCode",
                                          .kind = ControlKind::List,
                                          .defaultValue = "ReachName",
                                          .source = fieldsOf("cmbLayer"),
                                          .reproposed = "HydroCode"},
                                         {.name = "cmbNumber",
                                          .kind = ControlKind::List,
                                          .defaultValue = "Width",
                                          .source = fieldsOf("cmbLayer", FieldFilter::Numeric),
                                          .reproposesFirst = true},
                                     }};
        return decl;
    }
};

TEST(FieldLists, AMissingProposalFallsBackToTheFirstRealFieldNeverTheKey) {
    test::RecordingUI ui;
    test::TempMap store(
        {{.name = "Named",
          .fields = {{"RiverName", FieldType::String}, {"Width", FieldType::Double}}},
         {.name = "Coded",
          .fields = {{"Label", FieldType::String}, {"HydroCode", FieldType::String}}},
         {.name = "Bare"}});
    test::InstalledHost host(store.openMap());
    auto& form = Forms::get<FieldListDialog>();
    form.load();
    struct Expected {
        const char* layer;
        const char* code;
        const char* number;
    };
    // On opening "ReachName" is missing; choosing a layer proposes "HydroCode" (found in Coded
    // only) and the first numeric field; a layer without attribute fields leaves the key.
    for (const auto& [layer, code, number] :
         {Expected{"", "RiverName", "Width"}, Expected{"Coded", "HydroCode", "fid"},
          Expected{"Named", "RiverName", "Width"}, Expected{"Bare", "fid", "fid"}}) {
        if (*layer) form.choose("cmbLayer", layer);
        EXPECT_EQ(form.control("cmbCode").text, code) << layer;
        EXPECT_EQ(form.control("cmbNumber").text, number) << layer;
    }
    Forms::reset();
}

}  // namespace
}  // namespace ondu
