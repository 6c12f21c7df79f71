#pragma once
// Assign Station Numbers: every cross-section takes the measure of the reach line where it crosses
// it, and the reach's identifier.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

/// What one run of the tool works on: layers and the reach identifier field by name.
struct StationNumbersOptions {
    std::string crossSections = "CrossSections";
    std::string reach = "Reach";
    std::string reachField = "ReachName";
};

/// Writes StationNo (added as Double when missing) and the reach identifier field (added with the
/// reach field's type when missing) on every cross-section of the processing set. The reach of a
/// cross-section is the one with the smallest object id among all reaches its line meets; the
/// station is the reach's measure at the first meeting point along the cross-section, rounded as
/// GetMAtPoint reads it. Reaches are read once and found through a spatial index of their
/// segments. A cross-section that meets no reach stops the run with a HostError naming it.
/// Refuses (RunRefused) an empty processing set and a reach layer that is the cross-section layer.
void run(const StationNumbersOptions& options, IDocument& map, IProgressBar& progress);

class frmAssignStnNotoCS : public Dialog {
public:
    frmAssignStnNotoCS() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    StationNumbersOptions options() const;

protected:
    void onOk() override;
};

class clsAssignStnNotoCS : public ToolCommand<frmAssignStnNotoCS> {
public:
    clsAssignStnNotoCS() : ToolCommand(catalogued("clsAssignStnNotoCS")) {}
};

}  // namespace ondu
