#pragma once
// Thalweg from 3D cross-sections: joins the deepest point of every cross-section into a
// thalweg line, in the order of the sections' measures, records where across each section its
// deepest point lies (TDist), and warns when the thalweg leaves the channel boundary.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// The vertex of the cross-section with the smallest Z; of several equally low, the last along
/// it. Throws std::invalid_argument for a line without vertices or a lowest Z that is unset.
Point GetDeepestPoint(const Polyline& crossSection);

struct ThalwegFromCrossSectionsOptions {
    std::string crossSections = "CrossSections";
    std::string measureField = "Measure";
    std::string boundary = "ChannelBoundary";
    std::string thalweg = "Thalweg";
    bool smooth = true;
};

/// Writes TDist on every cross-section of the processing set, stores the thalweg through their
/// deepest points (each carrying its section's measure as M, ordered by it) as one new feature,
/// smoothed when asked, and answers how many points the thalweg shares with the outline of the
/// boundary layer's first polygon. Refuses (RunRefused, nothing written) a processing set of
/// fewer than two sections and a thalweg layer that is the cross-section layer; throws HostError naming the field,
/// layer or feature for a missing field, boundary polygon, measure or elevation, and for a
/// cross-section of no length.
long run(const ThalwegFromCrossSectionsOptions& options, IDocument& map, IProgressBar& progress);

class frmThalweg_CS : public Dialog {
public:
    frmThalweg_CS() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    ThalwegFromCrossSectionsOptions options() const;

protected:
    void onOk() override;
};

class clsThalweg_CS : public ToolCommand<frmThalweg_CS> {
public:
    clsThalweg_CS() : ToolCommand(catalogued("clsThalweg_CS")) {}
};

}  // namespace ondu
