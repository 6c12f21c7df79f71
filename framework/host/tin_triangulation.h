#pragma once
// The constrained Delaunay triangulation behind TINs. CGAL stays inside tin_triangulation.cpp:
// it takes some 20 s and 1 GB to compile, so no other file includes it.

#include <array>
#include <cstdint>
#include <vector>

#include "framework/geometry/geometry.h"

namespace ondu {

/// Triangles over shared vertices (x, y, z), each listed counter-clockwise.
struct TinMesh {
    std::vector<std::array<double, 3>> vertices;
    std::vector<std::array<std::uint32_t, 3>> triangles;
};

/// The constrained Delaunay triangulation of the mass points (Z = elevation) with every segment
/// of the hard lines as an edge, clipped to `clip` when given (its rings become edges and the
/// triangles outside it are dropped). Points of equal X and Y keep the Z listed last; hard-line
/// vertices win over mass points. Vertices without an elevation of their own take one from what
/// is around them: where hard lines cross (each other or the clip), linear along each hard line
/// through the crossing, averaged; a clip vertex, linear in the triangle of the points and lines
/// under it; any other (a clip vertex off the points), by inverse distance from its neighbours,
/// along the constraints it lies on where there are such.
TinMesh triangulate(const std::vector<Point>& massPoints, const std::vector<Polyline>& hardLines,
                    const Polygon* clip);

}  // namespace ondu
