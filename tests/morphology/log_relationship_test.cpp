#include "morphology/log_relationship.h"

#include <gtest/gtest.h>

#include <cmath>

#include "framework/host/host_application.h"
#include "framework/shared_state.h"
#include "morphology/thalweg_from_curvature.h"
#include "support/recording_ui.h"

namespace ondu {
namespace {

void confirmClass(short value) {
    const SinuosityClassRow& row = *sinuosityClass(value);
    logRelSettings() = {value, row.leftA, row.leftB, row.rightA, row.rightB};
}

class LocationFunction : public ::testing::Test {
protected:
    void TearDown() override { logRelSettings() = {}; }
    test::RecordingUI ui;
};

TEST_F(LocationFunction, LowClassBoundsAreExclusive) {
    confirmClass(0);
    EXPECT_DOUBLE_EQ(GetThalFromCur(100, false), 0.9);
    EXPECT_DOUBLE_EQ(GetThalFromCur(100, true), 0.1);
    EXPECT_DOUBLE_EQ(GetThalFromCur(12000, false), 0);
    EXPECT_DOUBLE_EQ(GetThalFromCur(12000, true), 0);
    EXPECT_NEAR(GetThalFromCur(11999.9, false), 0.497, 5e-4);
    EXPECT_NEAR(GetThalFromCur(11999.9, true), 0.496, 5e-4);
    EXPECT_NEAR(GetThalFromCur(100.0001, false), -0.0759 * std::log(100.0001) + 1.21, 1e-12);
    EXPECT_DOUBLE_EQ(GetThalFromCur(50000, false), 0);
}

TEST_F(LocationFunction, MediumAndHighClassesUseTheirOwnBoundsAndFallbacks) {
    confirmClass(1);
    EXPECT_DOUBLE_EQ(GetThalFromCur(20, false), 0.8);
    EXPECT_DOUBLE_EQ(GetThalFromCur(20, true), 0.2);
    EXPECT_DOUBLE_EQ(GetThalFromCur(1200, true), 0);
    EXPECT_NEAR(GetThalFromCur(1199, true), 0.07 * std::log(1199) + 0.0061, 1e-12);
    confirmClass(2);
    EXPECT_DOUBLE_EQ(GetThalFromCur(25, false), 0.9);
    EXPECT_NEAR(GetThalFromCur(2999, false), -0.06 * std::log(2999) + 1, 1e-12);
}

TEST_F(LocationFunction, IsZeroBeforeAnyConfirmationAndReportsBadRadii) {
    EXPECT_DOUBLE_EQ(GetThalFromCur(500, false), 0);  // Low bounds, zero coefficients
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_DOUBLE_EQ(GetThalFromCur(std::nan(""), true), 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error in fnGetThalFromCur");
    EXPECT_EQ(ui.messages[0].text, "5: Invalid procedure call or argument");
}

class LogRelDialog : public ::testing::Test {
protected:
    void SetUp() override {
        g_pApp = &app;
        ui.onShow = [this](Dialog& d) {
            shown.push_back(d.name());
            if (d.name() == "frmNewThaCur") d.pressCancel();
        };
    }
    void TearDown() override {
        Forms::reset();
        logRelSettings() = {};
        g_pApp = nullptr;
        g_pMxDoc = nullptr;
    }
    frmLogRel& openDialog() {
        auto& form = Forms::get<frmLogRel>();
        form.load();
        return form;
    }
    std::string box(const char* name) { return Forms::get<frmLogRel>().control(name).text; }
    test::RecordingUI ui;
    HostApplication app;
    std::vector<std::string> shown;
};

TEST_F(LogRelDialog, LoadsWithTheLowClassAndItsCoefficients) {
    logRelSettings().SinuosityClass = 2;
    auto& form = openDialog();
    EXPECT_TRUE(form.control("optLow").checked);
    EXPECT_EQ(box("txtFirst"), "-0.0759");
    EXPECT_EQ(box("txtSecond"), "1.21");
    EXPECT_EQ(box("txtThird"), "0.087");
    EXPECT_EQ(box("txtForth"), "-0.321");
    EXPECT_EQ(logRelSettings().SinuosityClass, 0);
}

TEST_F(LogRelDialog, OptionClickReplacesEditsWithTheClassDefaults) {
    auto& form = openDialog();
    form.type("txtFirst", "-0.5");
    form.selectOption("optHigh");
    EXPECT_EQ(box("txtFirst"), "-0.06");
    EXPECT_EQ(box("txtSecond"), "1");
    EXPECT_EQ(box("txtThird"), "0.05");
    EXPECT_EQ(box("txtForth"), "0.0972");
    EXPECT_EQ(logRelSettings().SinuosityClass, 2);
    EXPECT_EQ(logRelSettings().LeftLogSlope, 0);  // coefficients wait for OK
}

TEST_F(LogRelDialog, OkStoresTheTypedCoefficientsAndOpensTheThalwegDialog) {
    auto& form = openDialog();
    form.selectOption("optMedium");
    form.type("txtFirst", "-0.05");
    form.pressOk();
    const LogRelSettings& s = logRelSettings();
    EXPECT_EQ(s.SinuosityClass, 1);
    EXPECT_DOUBLE_EQ(s.LeftLogSlope, -0.05);
    EXPECT_DOUBLE_EQ(s.LeftLogIntercept, 1);
    EXPECT_DOUBLE_EQ(s.RightLogSlope, 0.07);
    EXPECT_DOUBLE_EQ(s.RightLogIntercept, 0.0061);
    EXPECT_EQ(shown, std::vector<std::string>{"frmNewThaCur"});
    EXPECT_FALSE(Forms::anyLoaded());
    EXPECT_DOUBLE_EQ(GetThalFromCur(25, false), 0.8);  // bounds from the class table
}

TEST_F(LogRelDialog, TextThatIsNoNumberTurnsRedAndIsRefusedOnOk) {
    auto& form = openDialog();
    form.type("txtThird", "0,07");
    EXPECT_EQ(form.control("txtThird").foreColor, kRed);
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] Enter a valid number for the right side slope"});
    EXPECT_TRUE(form.isLoaded());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(logRelSettings().RightLogSlope, 0);
}

TEST_F(LogRelDialog, CancelReleasesTheDocumentAndStoresNothing) {
    int document = 0;
    g_pMxDoc = reinterpret_cast<IDocument*>(&document);
    auto& form = openDialog();
    form.type("txtFirst", "-0.01");
    form.pressCancel();
    EXPECT_EQ(g_pMxDoc, nullptr);
    EXPECT_EQ(logRelSettings().LeftLogSlope, 0);
    EXPECT_FALSE(Forms::anyLoaded());
}

}  // namespace
}  // namespace ondu
