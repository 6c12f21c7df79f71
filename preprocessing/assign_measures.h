#pragma once
// Assign Measures to Reaches: writes measures onto the vertices of lines, each line on its own
// (0 to its length, or 0 to 100) or a chain of selected lines as one continuous run from a chosen
// start, in the digitised direction or against it as HEC-RAS stationing runs.

#include <string>
#include <utility>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

/// What one run of the tool works on.
struct AssignMeasuresOptions {
    std::string layer = "Centerline";
    bool relative = false;  ///< 0 to 100 instead of distances
    bool multiple = false;  ///< one run across the selected chain
    bool reverse = false;   ///< measures grow against the digitised direction
    double start = 0;       ///< the chain's first measure (absolute measures only)
};

/// The measures at the start and the end of a line `length` long whose run begins at `from`.
std::pair<double, double> measureRange(const AssignMeasuresOptions& options, double from,
                                       double length);

/// Rewrites the shapes of the processing set with measures. Single lines: each by measureRange
/// from 0. Multiple: the selected chain is joined (its FromLine/ToLine links written on the way),
/// measured from `start`, and each line takes the stretch of the run that covers it, its end
/// measures rounded to four decimals as GetMAtPoint reads them. Refuses (RunRefused) an empty
/// processing set and, in multiple mode, a layer without selection ("AssignMs Warning"). A failure
/// of the multiple assignment throws HostError whose context is "subAssignMstoMultipleFeatures".
void run(const AssignMeasuresOptions& options, IDocument& map, IProgressBar& progress);

class frmAssignMstoReaches : public Dialog {
public:
    frmAssignMstoReaches() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    AssignMeasuresOptions options() const;

protected:
    void onOk() override;
};

class clsAssignMstoReaches : public ToolCommand<frmAssignMstoReaches> {
public:
    clsAssignMstoReaches() : ToolCommand(catalogued("clsAssignMstoReaches")) {}
};

}  // namespace ondu
