#pragma once
// Comparison of computed geometry with expected WKT, coordinate by coordinate within a
// tolerance: computed geometry is never compared exactly.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "framework/geometry/geometry.h"
#include "framework/host/ogr_geometry.h"

namespace ondu::test {

inline bool closeEnough(double expected, double actual, double tolerance) {
    if (std::isnan(expected) || std::isnan(actual))
        return std::isnan(expected) && std::isnan(actual);
    return std::abs(expected - actual) <= tolerance;
}

inline std::string firstDifference(const std::vector<Path>& expected,
                                   const std::vector<Path>& actual, bool z, bool m,
                                   double tolerance) {
    if (expected.size() != actual.size()) return "path counts differ";
    for (std::size_t p = 0; p < expected.size(); ++p) {
        if (expected[p].size() != actual[p].size())
            return "vertex counts of path " + std::to_string(p) + " differ";
        for (std::size_t v = 0; v < expected[p].size(); ++v) {
            const Point& e = expected[p][v];
            const Point& a = actual[p][v];
            if (!closeEnough(e.x, a.x, tolerance) || !closeEnough(e.y, a.y, tolerance) ||
                (z && !closeEnough(e.z, a.z, tolerance)) ||
                (m && !closeEnough(e.m, a.m, tolerance)))
                return "vertex " + std::to_string(v) + " of path " + std::to_string(p) + " differs";
        }
    }
    return "";
}

inline std::vector<Path> pathsOf(const Geometry& g) {
    if (auto l = std::get_if<Polyline>(&g)) return l->paths;
    if (auto a = std::get_if<Polygon>(&g)) return a->rings;
    if (auto mp = std::get_if<Multipoint>(&g)) return {mp->points};
    if (auto p = std::get_if<Point>(&g))
        return p->isEmpty() ? std::vector<Path>{} : std::vector<Path>{{*p}};
    return {};
}

/// Same kind, same Z and M flags, same structure, coordinates within `tolerance`.
inline ::testing::AssertionResult geometryNear(const std::string& expectedWkt,
                                               const Geometry& actual, double tolerance = 1e-9) {
    const Geometry expected = fromWkt(expectedWkt);
    std::string why;
    if (shapeTypeOf(expected) != shapeTypeOf(actual))
        why = "kinds differ";
    else if (hasZ(expected) != hasZ(actual) || hasM(expected) != hasM(actual))
        why = "Z or M flags differ";
    else
        why = firstDifference(pathsOf(expected), pathsOf(actual), hasZ(expected), hasM(expected),
                              tolerance);
    if (why.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << why << "\n  expected: " << expectedWkt << "\n  actual:   " << toWkt(actual);
}

inline Polyline line(const std::string& wkt) { return std::get<Polyline>(fromWkt(wkt)); }
inline Point point(const std::string& wkt) { return std::get<Point>(fromWkt(wkt)); }
inline Polygon polygon(const std::string& wkt) { return std::get<Polygon>(fromWkt(wkt)); }

}  // namespace ondu::test
