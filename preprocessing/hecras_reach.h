#pragma once
// Create HEC-RAS Reach: joins the centerline segments of every (river, reach) pair, in the order
// their FromLine/ToLine links give, into one line of the reach layer named after the pair.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

/// What one run of the tool works on: layers and fields by name.
struct HecReachOptions {
    std::string centerline = "CenterLine";
    std::string riverField = "RiverName";
    std::string reachField = "ReachName";
    std::string reach = "Reach";
};

/// Writes one reach line per (river, reach) pair. The rivers are those of the processing set, in
/// the order they first occur there; each river's reaches are taken from the whole layer, in the
/// order they first occur by identifier. Values are compared as text, never put into a query; a
/// segment without a river or reach value belongs to no pair. The layer's selection ends up
/// holding the segments of the last pair. Refuses (RunRefused) an empty processing set and a reach
/// layer that is the centerline layer; a chain that cannot be walked stops the run with a
/// HostError naming the pair.
void run(const HecReachOptions& options, IDocument& map, IProgressBar& progress);

class frmCreateHECReach : public Dialog {
public:
    frmCreateHECReach() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    HecReachOptions options() const;

protected:
    void onOk() override;
};

class clsCreateHECReach : public ToolCommand<frmCreateHECReach> {
public:
    clsCreateHECReach() : ToolCommand(catalogued("clsCreateHECReach")) {}
};

}  // namespace ondu
