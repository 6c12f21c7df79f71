#pragma once
// Conversion between our geometries and OGR's, for feature storage and WKT.
//
// X, Y, Z and M pass unchanged (bit for bit); the Z and M awareness flags become OGR's 3D and
// measured flags and back. A polyline of one path is a LineString, of several a MultiLineString;
// a polygon whose rings form one outer ring (with its holes) is a Polygon, otherwise a
// MultiPolygon. Rings are closed on the way out.

#include <ogr_geometry.h>

#include <memory>
#include <string>

#include "framework/geometry/geometry.h"

namespace ondu {

/// A new OGR geometry for the shape; nullptr for the null shape. Empty shapes give empty OGR
/// geometries of their kind (a polyline of no path is "LINESTRING EMPTY").
std::unique_ptr<OGRGeometry> toOgr(const Geometry& g);

/// As toOgr, then made to fit a layer of the given geometry type (nullptr, no shape, for an
/// empty one): the shape takes the layer's
/// Z and M (conformTo) unless the layer's type is unknown, and a single LineString or Polygon
/// goes into a multi-geometry layer as a multi-geometry of one member, and the other way round
/// where it has one member only. A polyline of several paths that each begin where the one
/// before ends goes into a single-line layer as one line (the shared vertices kept once).
std::unique_ptr<OGRGeometry> toOgr(const Geometry& g, OGRwkbGeometryType layerType);

/// Our shape for an OGR geometry; the null shape for nullptr or an empty collection. Curved
/// geometries are taken as their linear approximation; a MultiLineString keeps one path per
/// member and a MultiPolygon gives one polygon holding every ring, outer rings and holes in
/// stored order. A collection whose members are all of one dimension becomes the shape of that
/// dimension. Throws std::invalid_argument for a collection that mixes dimensions and for
/// surfaces of other kinds.
Geometry fromOgr(const OGRGeometry* g);

/// ISO WKT ("LINESTRING ZM (...)", "MULTILINESTRING", "POLYGON Z", ...) through OGR: numbers
/// with up to 15 significant digits, the null shape as "GEOMETRYCOLLECTION EMPTY". Reading throws
/// std::invalid_argument on malformed text, on text after the geometry and on shapes fromOgr
/// refuses.
std::string toWkt(const Geometry& g);
Geometry fromWkt(const std::string& wkt);

}  // namespace ondu
