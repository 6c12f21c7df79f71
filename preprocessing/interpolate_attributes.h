#pragma once
// Interpolate Attributes: spreads a numeric attribute known at a few reference points along a
// chain of line segments: each segment receives the value interpolated linearly, by distance
// along the chained line, between the reference points on either side of it, taken at its
// midpoint; optionally also its position along the chain ("Measure").

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

/// How far from a place on the chain a reference point may lie and still give its value there.
inline constexpr double kReferenceReach = 500;

struct InterpolateAttributesOptions {
    std::string lines = "CenterlineSegments";
    std::string points = "ReferencePoints";
    std::string attribute = "Depth";
    bool assignMeasures = true;
};

/// Interpolates the attribute onto every linear feature of the layer and, when asked, writes
/// "Measure" on the processing set. The chained line (the features joined in FromLine/ToLine
/// order) is cut where it passes nearest to each reference point; each part runs linearly from
/// the value at its start to the value at its end, the value at an end being that of the nearest
/// reference point within kReferenceReach (an end without one takes the other end's value; a
/// part with neither leaves its segments without a value). Shows "There is something wrong with
/// the internal geometry of the segments..." when there are more parts than cuts can make.
/// Refuses (RunRefused, nothing written) an empty processing set; throws HostError for a chain
/// that cannot be walked, a missing field or a reference point without a value.
void run(const InterpolateAttributesOptions& options, IDocument& map, IProgressBar& progress);

class frmIntAttribute : public Dialog {
public:
    frmIntAttribute() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    InterpolateAttributesOptions options() const;

protected:
    void onOk() override;
};

class clsIntAttribute : public ToolCommand<frmIntAttribute> {
public:
    clsIntAttribute() : ToolCommand(catalogued("clsIntAttribute")) {}
};

}  // namespace ondu
