// The parts of the surface operations that every surface shares: rectangles, the extent and
// spatial reference of a feature class, and profiles along lines.

#include <ogrsf_frmts.h>

#include <algorithm>
#include <stdexcept>

#include "framework/geometry/curve.h"
#include "framework/host/gdal_support.h"
#include "framework/host/ogr_workspace.h"
#include "framework/host_operations.h"

namespace ondu {

void Envelope::add(double x, double y) {
    if (isEmpty()) {
        xMin = xMax = x;
        yMin = yMax = y;
        return;
    }
    xMin = std::min(xMin, x);
    xMax = std::max(xMax, x);
    yMin = std::min(yMin, y);
    yMax = std::max(yMax, y);
}

Envelope IRasterDataset::extent() const {
    const Point corner = origin();
    Envelope e;
    e.add(corner.x, corner.y);
    e.add(corner.x + columns() * cellWidth(), corner.y + rows() * cellHeight());
    return e;
}

Envelope extentOf(IFeatureClass& cls) {
    Envelope e;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature())
        for (const Point& p : allVertices(feature->shape())) e.add(p.x, p.y);
    return e;
}

std::string spatialReferenceOf(IFeatureClass& cls) {
    auto* ogr = dynamic_cast<OgrFeatureClass*>(&cls);
    return ogr ? wktOf(ogr->layer()->GetSpatialRef()) : std::string();
}

Polyline ISurface::profile(const Polyline& line, double step) const {
    if (!(step > 0)) throw std::invalid_argument("the profile step must be a positive number");
    Polyline result;
    result.zAware = true;
    result.mAware = line.mAware;
    for (const Path& path : densify(line, step).paths) {
        Path part;
        for (Point p : path) {
            p.z = elevation(p.x, p.y);
            p.zAware = true;
            if (std::isnan(p.z)) {
                // A gap in the surface ends the part that reached it.
                if (!part.empty()) result.paths.push_back(std::move(part));
                part.clear();
                continue;
            }
            part.push_back(p);
        }
        if (!part.empty()) result.paths.push_back(std::move(part));
    }
    return result;
}

}  // namespace ondu
