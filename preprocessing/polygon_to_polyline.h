#pragma once
// Polygon To Polyline: copies the outline of every polygon of a layer into a line layer, one new
// line per polygon.

#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/host_operations.h"

namespace ondu {

struct PolygonToPolylineOptions {
    std::string polygons = "ChannelBoundary";
    std::string lines = "BoundarySegments";
};

/// Stores, for every polygon of the processing set in cursor order, a new line through all its
/// vertices (each ring closed, fnConvertPolytonToPolyline) in the line layer; no attribute is
/// copied. Refuses (RunRefused, nothing written) a line layer whose class carries Z ("Please
/// select a non PolylineZ/PolylineZM layer for lines"), an empty processing set and a line layer
/// that is the polygon layer.
void run(const PolygonToPolylineOptions& options, IDocument& map, IProgressBar& progress);

class frmPolyToLine : public Dialog {
public:
    frmPolyToLine() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    PolygonToPolylineOptions options() const;

protected:
    void onOk() override;
};

class clsPolyToLines : public ToolCommand<frmPolyToLine> {
public:
    clsPolyToLines() : ToolCommand(catalogued("clsPolyToLines")) {}
};

}  // namespace ondu
