#pragma once
// The logarithmic relation between a bend's radius of curvature and the thalweg's position
// across the channel: the sinuosity classes, the settings the user confirms in frmLogRel, and
// the location function the thalweg tool calls once per segment.

#include <string>

#include "framework/dialog.h"

namespace ondu {

/// One sinuosity class: its bounds, the values below the lower bound and the default
/// coefficients of the two relations (value = a · ln(r) + b).
struct SinuosityClassRow {
    short value;
    const char* option;   ///< the option button of the class
    const char* caption;  ///< its caption
    double lower, upper;  ///< radii in map units; the relation holds strictly between them
    double leftBelow, rightBelow;
    double leftA, leftB, rightA, rightB;
};

/// The class of that value (0 Low, 1 Medium, 2 High); nullptr for any other value.
const SinuosityClassRow* sinuosityClass(short value);

/// The settings one OK of frmLogRel leaves for the thalweg tool; all 0 until the first OK.
struct LogRelSettings {
    short SinuosityClass = 0;
    double LeftLogSlope = 0;
    double LeftLogIntercept = 0;
    double RightLogSlope = 0;
    double RightLogIntercept = 0;
};

/// The process-wide settings: changed only by frmLogRel, read only by GetThalFromCur.
LogRelSettings& logRelSettings();

/// The location value for a radius r: a fraction of the width across the channel (0.5 the
/// middle), 0 for no displacement. isRight: the centre of curvature lies to the right. Between
/// the class's bounds (both exclusive) the side's relation; at or below the lower bound the
/// side's fixed value; at or above the upper bound 0. A radius that is not a number is reported
/// ("Error in fnGetThalFromCur") and gives 0.
double GetThalFromCur(double r, bool isRight);
/// As above with the given settings instead of the process-wide ones.
double GetThalFromCur(double r, bool isRight, const LogRelSettings& settings);

/// Opens the dialog that the settings serve, after their OK (the thalweg dialog); defined by the
/// tool that reads them, so that the settings know nothing of it.
void showDialogAfterSettings();

class frmLogRel : public Dialog {
public:
    frmLogRel() : Dialog(declaration()) {}
    static const DialogDecl& declaration();

protected:
    void onLoad() override;
    void onClick(Control& control) override;
    void onOk() override;
    void onCancel() override;

private:
    void chooseClass(const SinuosityClassRow& row);
};

}  // namespace ondu
