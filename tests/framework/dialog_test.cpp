#include "framework/dialog.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(d.events, (std::vector<std::string>{
                            "load", "click cmbLayer", "change cmbLayer=Not listed",
                            "change txtWidth=12.5", "click chkBoundary", "click cmdOK"}));
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

}  // namespace
}  // namespace ondu
