#pragma once
// Boundary From Lines: builds the channel boundary polygon from centerline segments that carry a
// width and a measure: every segment offset by half its width to both sides, one bank
// downstream and the other back upstream, stored as one new polygon.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

struct BoundaryFromLinesOptions {
    std::string centerline = "CenterlineSegments";
    std::string widthField = "Width";
    std::string measureField = "Measure";
    std::string boundary = "ChannelBoundary";
};

/// What a run stored.
struct BoundaryResult {
    /// The ring crosses itself (a bank folding over on a bend tighter than half the width, banks
    /// of distant segments meeting): stored all the same.
    bool valid = true;
};

/// Stores one polygon in the boundary layer whose ring runs through the +width/2 offsets of the
/// segments in ascending measure order, then the reversed -width/2 offsets in descending order.
/// Where the offsets of neighbouring segments cross on the inner side of a bend, both are cut
/// at the crossing, so that the bank runs on without a loop there.
/// The measures are those of the processing set; each is looked up again in the whole layer
/// (the first segment, by object id, whose measure lies within 0.5 of it). Refuses (RunRefused,
/// nothing written) an empty processing set and a boundary layer that is the centerline layer;
/// throws HostError naming the segment for a missing measure, width or shape.
BoundaryResult run(const BoundaryFromLinesOptions& options, IDocument& map, IProgressBar& progress);

class frmBoundaryFromLines : public Dialog {
public:
    frmBoundaryFromLines() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    BoundaryFromLinesOptions options() const;

protected:
    void onOk() override;
};

class clsBoundaryFromLines : public ToolCommand<frmBoundaryFromLines> {
public:
    clsBoundaryFromLines() : ToolCommand(catalogued("clsBoundaryFromLines")) {}
};

}  // namespace ondu
