#pragma once
// The X and Y of every shape of a feature class in a few flat arrays, for code that only looks
// at where shapes lie (drawing, extents) and reads many features.
//
// Reading a feature through a cursor builds an OGR feature, an OGR geometry and our geometry
// with a vector per path: for 100,000 short lines that costs more than the drawing. A
// GeoPackage is read here on GDAL's own SQLite connection (so a running edit session's changes
// are seen) with one statement over the identifier and geometry columns, the coordinates taken
// straight from the geometry blobs. Shapes the blob reader does not know (curves, collections,
// extended types) go through OGR and our geometry conversion; other stores are read through the
// class's cursor.

#include <cstddef>
#include <vector>

#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// Shapes as paths of vertices. Feature i owns the paths [features[i].firstPath,
/// firstPathOf(i + 1)); path p owns the vertices [pathStarts[p], pathStarts[p + 1]). A polygon's
/// rings are its paths, in stored order; a point is a path of one vertex; a multipoint is one
/// path of all its points. Features without a shape or with an empty one are left out.
struct FlatShapes {
    struct Feature {
        long long oid = -1;
        ShapeType kind = ShapeType::Null;  ///< Point, Multipoint, Polyline or Polygon
        std::size_t firstPath = 0;
    };
    std::vector<Feature> features;
    std::vector<std::size_t> pathStarts{0};  ///< one more entry than there are paths
    std::vector<double> x, y;

    std::size_t pathCount() const { return pathStarts.size() - 1; }
    std::size_t vertexCount() const { return x.size(); }
    /// The first path of feature i; the path count for i == features.size().
    std::size_t firstPathOf(std::size_t i) const {
        return i < features.size() ? features[i].firstPath : pathCount();
    }

    /// Appends a feature with the vertices of the shape; nothing for an empty shape.
    void add(long long oid, const Geometry& shape);
};

/// Every non-empty shape of the class, in the order of its features. Throws HostError when the
/// store cannot be read or a stored shape cannot be decoded (naming the feature, in `where`),
/// std::invalid_argument (as reading the shape would) for a collection that mixes points, lines
/// and polygons.
FlatShapes readFlatShapes(IFeatureClass& cls);

}  // namespace ondu
