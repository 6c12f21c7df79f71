#pragma once
// Snap Points to Line: moves each point of a point layer (gauging stations, typically) onto the
// nearest line within a snapping distance, in place.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

struct SnapPointsToLineOptions {
    std::string points;
    std::string lines;
    double distance = 100;
};

struct SnapResult {
    long snapped = 0;
    long notSnapped = 0;
};

/// Moves every point of the processing set to the nearest point of the nearest line at most
/// `distance` away (lines equally near: the first by object id), stored as a point without Z. A
/// point with no line in reach stays where it is, after the message "Point with OID = <id>
/// cannot be snapped." titled "Snap points to line". Refuses (RunRefused, nothing written) an
/// empty processing set; a bad shape throws HostError naming its feature.
SnapResult run(const SnapPointsToLineOptions& options, IDocument& map, IProgressBar& progress);

class frmSnapPtsToLine : public Dialog {
public:
    frmSnapPtsToLine() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    SnapPointsToLineOptions options() const;

protected:
    void onOk() override;
};

class clsSnapPointstoLine : public ToolCommand<frmSnapPtsToLine> {
public:
    clsSnapPointstoLine() : ToolCommand(catalogued("clsSnapPointstoLine")) {}
};

}  // namespace ondu
