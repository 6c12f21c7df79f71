#pragma once
// Split Line Into Segments: cuts every line of a layer into pieces of a fixed length, or of a
// fixed fraction of the line's length, and writes each piece as a new feature of a line layer.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

/// The number of cut positions tried for a line: counts the steps taken off `length` until what
/// was left before the step held at most two steps (at least 1). `step` must be above 0.
long GetNumberofParts(double length, double step);

struct SplitLineOptions {
    std::string input = "CenterLine";
    std::string output = "CenterlineSegments";
    /// The step is a fraction of each line's length (0.1 = a tenth) instead of a length.
    bool asPercentage = false;
    double step = 1;
};

/// Splits every line of the processing set at k·step for k = 1 … GetNumberofParts while
/// (k + 0.5)·step is shorter than the line (in map units in both modes), and stores every piece,
/// the pieces of all lines in input order, as a new feature of the output layer (geometry only).
/// A piece keeps Z only when the input class carries Z. Refuses (RunRefused, nothing written) a
/// step that is not above 0, an empty processing set and an output that is the input; throws
/// HostError naming the line when the step would cut it into more than ten million pieces.
void run(const SplitLineOptions& options, IDocument& map, IProgressBar& progress);

class frmSplitLine : public Dialog {
public:
    frmSplitLine() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    SplitLineOptions options() const;

protected:
    void onOk() override;
};

class clsSplitLine : public ToolCommand<frmSplitLine> {
public:
    clsSplitLine() : ToolCommand(catalogued("clsSplitLine")) {}
};

}  // namespace ondu
