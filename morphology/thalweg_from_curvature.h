#pragma once
// Create Thalweg: predicts the thalweg of a channel from the curvature of its centerline
// segments, writes the bend attributes on every segment and stores the thalweg as one new 3D
// line. The command opens the logarithmic-relation settings first; their OK opens this dialog.

#include <optional>
#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"
#include "morphology/log_relationship.h"

namespace ondu {

/// The point at `fraction` of the curve's length (clamped to its ends), moved `offset` across it
/// (positive to the right), Z-aware. A failure is reported ("Error in fnCreateThalwegPoint") and
/// gives no point.
std::optional<Point> CreateThalwegPoint(const Polyline& curve, double fraction, double offset);

/// What one run of the tool works on: layers and fields by name, and the logarithmic relation.
struct ThalwegFromCurvatureOptions {
    std::string centerline = "CenterlineSegments";
    /// Width measured across this boundary's first feature when widthFromBoundary is set.
    std::string boundary = "ChannelBoundary";
    bool widthFromBoundary = false;
    std::string measureField = "Measure";
    std::string bankElevField = "BankElev";
    std::string depthField = "Depth";
    std::string thalweg = "Thalweg";
    LogRelSettings relation = {};
};

/// Predicts the thalweg on the map: pass 1 writes the bend attributes on every segment of the
/// processing set, pass 2 writes the upstream and downstream locations and stores the thalweg as
/// one new line. Refuses (RunRefused, nothing written) an empty processing set and a thalweg
/// layer that is the centerline layer. Any other failure stops the run and throws HostError whose
/// `where()` is the object id of the segment being processed; what was stored stays.
void run(const ThalwegFromCurvatureOptions& options, IDocument& map, IProgressBar& progress);

class frmNewThaCur : public Dialog {
public:
    frmNewThaCur() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    ThalwegFromCurvatureOptions options() const;

protected:
    void onOk() override;
};

class clsThaCur : public ToolCommand<frmLogRel> {
public:
    clsThaCur() : ToolCommand(catalogued("clsThaCur")) {}
    std::vector<DialogEntry> dialogs() const override {
        return {dialogEntry<frmLogRel>(), dialogEntry<frmNewThaCur>()};
    }
};

}  // namespace ondu
