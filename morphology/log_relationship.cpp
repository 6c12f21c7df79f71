#include "morphology/log_relationship.h"

#include <array>
#include <cmath>

#include "framework/error_report.h"
#include "framework/host_operations.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "morphology/thalweg_from_curvature.h"

namespace ondu {

namespace {

const std::array<SinuosityClassRow, 3> kClasses = {{
    {0, "optLow", "Low (1 to 1.25)", 100, 12000, 0.9, 0.1, -0.0759, 1.21, 0.087, -0.321},
    {1, "optMedium", "Medium (1.25 - 1.50)", 25, 1200, 0.8, 0.2, -0.07, 1, 0.07, 0.0061},
    {2, "optHigh", "High ( >1.50 )", 25, 3000, 0.9, 0.1, -0.06, 1, 0.05, 0.0972},
}};

// The host's number for an argument a routine cannot take.
constexpr long kInvalidArgument = 5;

const char* const kCoefficientBoxes[] = {"txtFirst", "txtSecond", "txtThird", "txtForth"};
const char* const kCoefficientNames[] = {"the left side slope", "the left side intercept",
                                         "the right side slope", "the right side intercept"};

}  // namespace

const SinuosityClassRow* sinuosityClass(short value) {
    for (const auto& row : kClasses)
        if (row.value == value) return &row;
    return nullptr;
}

LogRelSettings& logRelSettings() {
    static LogRelSettings settings;
    return settings;
}

double GetThalFromCur(double r, bool isRight) {
    try {
        if (std::isnan(r)) throw HostError("Invalid procedure call or argument", kInvalidArgument);
        const LogRelSettings& s = logRelSettings();
        const SinuosityClassRow* row = sinuosityClass(s.SinuosityClass);
        const double lower = row ? row->lower : 0, upper = row ? row->upper : 0;
        if (r > lower && r < upper)
            return isRight ? s.RightLogSlope * std::log(r) + s.RightLogIntercept
                           : s.LeftLogSlope * std::log(r) + s.LeftLogIntercept;
        if (r <= lower) return row ? (isRight ? row->rightBelow : row->leftBelow) : 0;
        return 0;
    } catch (const std::exception& e) {
        reportError("fnGetThalFromCur", e);
        return 0;
    }
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmLogRel::declaration() {
    static const DialogDecl decl{
        "frmLogRel",
        "Logarithmic Relationship",
        {
            {"optHigh", ControlKind::OptionButton, "High ( >1.50 )", "Sinuosity", "0",
             "sinuosity above 1.5; fills in its coefficients"},
            {"optMedium", ControlKind::OptionButton, "Medium (1.25 - 1.50)", "Sinuosity", "0",
             "sinuosity 1.25 to 1.5; fills in its coefficients"},
            {"optLow", ControlKind::OptionButton, "Low (1 to 1.25)", "Sinuosity", "1",
             "sinuosity 1 to 1.25; fills in its coefficients"},
            {"lblLeft", ControlKind::Label, "Left side = ", "Enter the parameters"},
            {"txtFirst", ControlKind::TextBox, "Left side = ", "Enter the parameters", "-0.0759",
             "a of the left-side relation a * log (r) + b"},
            {"lblLeftLog", ControlKind::Label, "* log (r) + ", "Enter the parameters"},
            {"txtSecond", ControlKind::TextBox, "* log (r) + ", "Enter the parameters", "1.21",
             "b of the left-side relation"},
            {"lblRight", ControlKind::Label, "Right side = ", "Enter the parameters"},
            {"txtThird", ControlKind::TextBox, "Right side = ", "Enter the parameters", "0.087",
             "a of the right-side relation a * log (r) + b"},
            {"lblRightLog", ControlKind::Label, "* log (r) + ", "Enter the parameters"},
            {"txtForth", ControlKind::TextBox, "* log (r) + ", "Enter the parameters", "-0.321",
             "b of the right-side relation"},
            {"cmdOK", ControlKind::Button, "OK", "", "",
             "store the relation and open the thalweg dialog", ButtonRole::Ok},
            {"cmdCancel", ControlKind::Button, "Cancel", "", "", "close without storing",
             ButtonRole::Cancel},
        }};
    return decl;
}

void frmLogRel::onLoad() {
    // The settings need no map; a document that cannot be had is no reason to refuse them.
    if (g_pApp) loadMapDocument();
    chooseClass(*sinuosityClass(0));
}

void frmLogRel::chooseClass(const SinuosityClassRow& row) {
    const double coefficients[] = {row.leftA, row.leftB, row.rightA, row.rightB};
    for (int i = 0; i < 4; ++i) {
        Control& box = control(kCoefficientBoxes[i]);
        box.text = plain(coefficients[i]);
        recolourAsNumber(box);
    }
    logRelSettings().SinuosityClass = row.value;
}

void frmLogRel::onChange(Control& control) {
    if (control.kind() == ControlKind::TextBox) recolourAsNumber(control);
}

void frmLogRel::onClick(Control& control) {
    for (const auto& row : kClasses)
        if (control.name() == row.option) return chooseClass(row);
    if (control.name() == "cmdOK") return cmdOK_Click();
    if (control.name() == "cmdCancel") return cmdCancel_Click();
}

void frmLogRel::cmdOK_Click() {
    double values[4];
    for (int i = 0; i < 4; ++i) {
        auto number = parseNumber(control(kCoefficientBoxes[i]).text);
        // Taking text that is no number as a coefficient would place every thalweg point wrongly.
        if (!number) {
            MsgBox(std::string("Enter a valid number for ") + kCoefficientNames[i], MsgButtons::OK,
                   "Warning");
            return;
        }
        values[i] = *number;
    }
    LogRelSettings& s = logRelSettings();
    s.LeftLogSlope = values[0];
    s.LeftLogIntercept = values[1];
    s.RightLogSlope = values[2];
    s.RightLogIntercept = values[3];
    Forms::get<frmNewThaCur>().show(true);
    unload();
}

void frmLogRel::cmdCancel_Click() {
    g_pMxDoc = nullptr;
    unload();
}

}  // namespace ondu
