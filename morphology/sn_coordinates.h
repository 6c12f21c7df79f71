#pragma once
// Assign (s,n) coordinates: gives every point of a point layer channel-fitted coordinates
// against a measured centerline: s, the centerline's measure at the place nearest the point,
// and n, the point's distance from the centerline, positive to the right of its direction.

#include <optional>
#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

struct SnCoordinatesOptions {
    std::string points;
    std::string centerline;
    std::string sField;
    std::string nField;
};

/// Writes s and n on every point of the layer (a selection plays no part), against the
/// centerline feature: the selected one when exactly one is selected, else the layer's first.
/// A centerline layer of several features is told so first. When that feature lacks valid
/// measures, asks whether to give it measures from 0 to its length (the stored feature keeps
/// its own); No answers nothing and writes nothing. Answers the number of points processed.
/// Refuses (RunRefused, nothing written) an empty point or centerline layer; throws HostError
/// for a field that is missing or cannot hold a number, and for a bad shape, naming it.
std::optional<long> run(const SnCoordinatesOptions& options, IDocument& map,
                        IProgressBar& progress);

class frmSN : public Dialog {
public:
    frmSN() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    SnCoordinatesOptions options() const;

protected:
    void onLoad() override;
    void onOk() override;
};

class clsAssignSN : public ToolCommand<frmSN> {
public:
    clsAssignSN() : ToolCommand(catalogued("clsAssignSN")) {}
};

}  // namespace ondu
