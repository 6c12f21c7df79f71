#pragma once
// Create Trapezoidal Cross-sections: one 3D four-vertex section per centerline feature, laid
// across it at its middle from bottom elevation, bottom width, depth and side slope attributes.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// The trapezoid across `centerline` at `position` (a fraction of its length when asRatio, no
/// extension beyond its ends), left to right looking downstream: top of the left bank, foot of
/// the left bank, foot of the right bank, top of the right bank. The banks run depth / sideSlope
/// sideways from the bed's edges. Z-aware. Throws std::invalid_argument for a line of zero length.
Polyline CreateTrapezoidalCrossSection(const Polyline& centerline, double bottomWidth,
                                       double bottomElevation, double depth, double sideSlope,
                                       double position = 0.5, bool asRatio = true);

/// What one run of the tool works on: layers and fields by name.
struct TrapezoidalSectionsOptions {
    std::string centerline = "Centerline";
    std::string bottomElevationField = "BotElev";
    std::string bottomWidthField = "BotWidth";
    std::string depthField = "Depth";
    std::string sideSlopeField = "Slope";
    std::string crossSections = "CrossSections";
};

struct TrapezoidalSectionsResult {
    long built = 0;
    long skipped = 0;
};

/// Stores one section per centerline feature of the processing set, in cursor order. A feature
/// whose four values do not make a section (an empty value, a side slope of 0, coordinates that
/// are no finite numbers) is skipped with a message naming its object id. Refuses (RunRefused) an
/// empty processing set and an output layer that is the centerline layer; any other failure
/// stops the run with a HostError naming the feature.
TrapezoidalSectionsResult run(const TrapezoidalSectionsOptions& options, IDocument& map,
                              IProgressBar& progress);

class frmTrapezoidalCS : public Dialog {
public:
    frmTrapezoidalCS() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    TrapezoidalSectionsOptions options() const;

protected:
    void onOk() override;
};

class clsTrapezoidalCS : public ToolCommand<frmTrapezoidalCS> {
public:
    clsTrapezoidalCS() : ToolCommand(catalogued("clsTrapezoidalCS")) {}
};

}  // namespace ondu
