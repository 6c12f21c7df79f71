#pragma once
// Assign Downstream Distance to Xs: every cross-section takes the distance to the next one
// downstream on its reach (the next lower station); the most downstream one takes 0.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

/// What one run of the tool works on: the layer and its fields by name.
struct DownstreamDistancesOptions {
    std::string crossSections = "CrossSections";
    std::string reachField = "ReachName";
    std::string stationField = "StationNo";
};

/// Writes DistanceDS (added as Double when missing) on every cross-section of the layer that has
/// a reach value, whatever the selection: reaches in ascending order (compared as text for a text
/// field, else as numbers), each reach's cross-sections by ascending station (equal stations in
/// identifier order). One read of the layer. A cross-section of a reach without a station stops
/// the run with a HostError naming it. Refuses (RunRefused) an empty processing set.
void run(const DownstreamDistancesOptions& options, IDocument& map, IProgressBar& progress);

class frmAssignDnDs : public Dialog {
public:
    frmAssignDnDs() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    DownstreamDistancesOptions options() const;

protected:
    void onOk() override;
};

class clsAssignDnDs : public ToolCommand<frmAssignDnDs> {
public:
    clsAssignDnDs() : ToolCommand(catalogued("clsAssignDnDs")) {}
};

}  // namespace ondu
