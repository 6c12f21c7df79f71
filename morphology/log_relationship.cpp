#include "morphology/log_relationship.h"

#include <array>
#include <cmath>

#include "framework/error_report.h"
#include "framework/host_operations.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"

namespace ondu {

namespace {

const std::array<SinuosityClassRow, 3> kClasses = {{
    {0, "optLow", "Low (1 to 1.25)", 100, 12000, 0.9, 0.1, -0.0759, 1.21, 0.087, -0.321},
    {1, "optMedium", "Medium (1.25 - 1.50)", 25, 1200, 0.8, 0.2, -0.07, 1, 0.07, 0.0061},
    {2, "optHigh", "High ( >1.50 )", 25, 3000, 0.9, 0.1, -0.06, 1, 0.05, 0.0972},
}};

const char* const kCoefficientBoxes[] = {"txtFirst", "txtSecond", "txtThird", "txtForth"};

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
    return GetThalFromCur(r, isRight, logRelSettings());
}

double GetThalFromCur(double r, bool isRight, const LogRelSettings& s) {
    try {
        if (std::isnan(r))
            throw HostError("Invalid procedure call or argument", error_number::kInvalidArgument);
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
    const std::string sinuosity = "Sinuosity", parameters = "Enter the parameters";
    auto coefficient = [&](const char* name, const char* label, const char* value,
                           const char* meaning, const char* help) {
        return ControlDecl{.name = name,
                           .kind = ControlKind::TextBox,
                           .label = label,
                           .frame = parameters,
                           .defaultValue = value,
                           .help = help,
                           .type = ValueType::Number,
                           .invalid = {std::string("Enter a valid number for ") + meaning}};
    };
    auto caption = [&](const char* name, const char* label) {
        return ControlDecl{
            .name = name, .kind = ControlKind::Label, .label = label, .frame = parameters};
    };
    static const DialogDecl decl{
        "frmLogRel",
        "Logarithmic Relationship",
        {
            {.name = "optHigh",
             .kind = ControlKind::OptionButton,
             .label = "High ( >1.50 )",
             .frame = sinuosity,
             .defaultValue = "0",
             .help = "sinuosity above 1.5; fills in its coefficients"},
            {.name = "optMedium",
             .kind = ControlKind::OptionButton,
             .label = "Medium (1.25 - 1.50)",
             .frame = sinuosity,
             .defaultValue = "0",
             .help = "sinuosity 1.25 to 1.5; fills in its coefficients"},
            {.name = "optLow",
             .kind = ControlKind::OptionButton,
             .label = "Low (1 to 1.25)",
             .frame = sinuosity,
             .defaultValue = "1",
             .help = "sinuosity 1 to 1.25; fills in its coefficients"},
            caption("lblLeft", "Left side = "),
            coefficient("txtFirst", "Left side = ", "-0.0759", "the left side slope",
                        "a of the left-side relation a * log (r) + b"),
            caption("lblLeftLog", "* log (r) + "),
            coefficient("txtSecond", "* log (r) + ", "1.21", "the left side intercept",
                        "b of the left-side relation"),
            caption("lblRight", "Right side = "),
            coefficient("txtThird", "Right side = ", "0.087", "the right side slope",
                        "a of the right-side relation a * log (r) + b"),
            caption("lblRightLog", "* log (r) + "),
            coefficient("txtForth", "* log (r) + ", "-0.321", "the right side intercept",
                        "b of the right-side relation"),
            okButton("store the relation and open the thalweg dialog"),
            cancelButton("close without storing"),
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
    for (int i = 0; i < 4; ++i) control(kCoefficientBoxes[i]).text = plain(coefficients[i]);
    logRelSettings().SinuosityClass = row.value;
}

void frmLogRel::onClick(Control& control) {
    for (const auto& row : kClasses)
        if (control.name() == row.option) return chooseClass(row);
}

void frmLogRel::onOk() {
    LogRelSettings& s = logRelSettings();
    s.LeftLogSlope = *number("txtFirst");
    s.LeftLogIntercept = *number("txtSecond");
    s.RightLogSlope = *number("txtThird");
    s.RightLogIntercept = *number("txtForth");
    showDialogAfterSettings();
    unload();
}

void frmLogRel::onCancel() {
    g_pMxDoc = nullptr;
    unload();
}

}  // namespace ondu
