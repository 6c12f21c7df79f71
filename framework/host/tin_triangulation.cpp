#include "framework/host/tin_triangulation.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Constrained_triangulation_face_base_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ondu {

namespace {

struct VertexInfo {
    double z = kNaN;
    std::uint32_t index = 0;
};

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using VertexBase = CGAL::Triangulation_vertex_base_with_info_2<VertexInfo, Kernel>;
using FaceBase = CGAL::Constrained_triangulation_face_base_2<Kernel>;
using Tds = CGAL::Triangulation_data_structure_2<VertexBase, FaceBase>;
// Exact predicates let hard lines and clip rings cross; the crossings become vertices.
using Cdt = CGAL::Constrained_Delaunay_triangulation_2<Kernel, Tds, CGAL::Exact_predicates_tag>;
using CgalPoint = Cdt::Point;
using VertexHandle = Cdt::Vertex_handle;

/// The mass points with one Z per position, the last listed winning.
std::vector<std::pair<CgalPoint, VertexInfo>> distinctPoints(const std::vector<Point>& points) {
    std::vector<std::size_t> order(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::pair(points[a].x, points[a].y) < std::pair(points[b].x, points[b].y);
    });
    std::vector<std::pair<CgalPoint, VertexInfo>> distinct;
    distinct.reserve(points.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Point& p = points[order[k]];
        if (p.isEmpty()) continue;
        const bool sameAsNext =
            k + 1 < order.size() && points[order[k + 1]].x == p.x && points[order[k + 1]].y == p.y;
        if (!sameAsNext) distinct.emplace_back(CgalPoint(p.x, p.y), VertexInfo{p.z});
    }
    return distinct;
}

/// The elevation of the triangulation so far at `p`, linear in its triangle; NaN off it.
double linearAt(const Cdt& cdt, const CgalPoint& p) {
    Cdt::Locate_type type;
    int index = 0;
    const Cdt::Face_handle face = cdt.locate(p, type, index);
    if (type == Cdt::VERTEX) return face->vertex(index)->info().z;
    if (type != Cdt::FACE && type != Cdt::EDGE) return kNaN;
    if (cdt.is_infinite(face)) return kNaN;
    const CgalPoint& a = face->vertex(0)->point();
    const CgalPoint& b = face->vertex(1)->point();
    const CgalPoint& c = face->vertex(2)->point();
    const double area = (b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y());
    if (area == 0) return kNaN;
    const double wb =
        ((p.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (p.y() - a.y())) / area;
    const double wc =
        ((b.x() - a.x()) * (p.y() - a.y()) - (p.x() - a.x()) * (b.y() - a.y())) / area;
    return (1 - wb - wc) * face->vertex(0)->info().z + wb * face->vertex(1)->info().z +
           wc * face->vertex(2)->info().z;
}

void insertLine(Cdt& cdt, const Path& path, bool close, bool keepZ) {
    std::vector<VertexHandle> vertices;
    for (const Point& p : path) {
        if (p.isEmpty()) continue;
        const CgalPoint at(p.x, p.y);
        const double below = keepZ ? kNaN : linearAt(cdt, at);
        VertexHandle v = cdt.insert(at);
        if (keepZ && !std::isnan(p.z))
            v->info().z = p.z;
        else if (std::isnan(v->info().z))
            v->info().z = below;
        vertices.push_back(v);
    }
    if (close && vertices.size() > 2 && vertices.front() != vertices.back())
        vertices.push_back(vertices.front());
    for (std::size_t i = 1; i < vertices.size(); ++i)
        if (vertices[i - 1] != vertices[i]) cdt.insert_constraint(vertices[i - 1], vertices[i]);
}

/// The elevation of (x, y) linear along every hard-line segment it lies on, averaged; NaN when
/// it lies on none.
double alongHardLines(const std::vector<Polyline>& hardLines, double x, double y) {
    double sum = 0;
    int count = 0;
    for (const Polyline& line : hardLines)
        for (const Path& path : line.paths)
            for (std::size_t i = 1; i < path.size(); ++i) {
                const Point& a = path[i - 1];
                const Point& b = path[i];
                const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
                if (!(length2 > 0) || std::isnan(a.z) || std::isnan(b.z)) continue;
                const double t = ((x - a.x) * dx + (y - a.y) * dy) / length2;
                const double across = std::abs((x - a.x) * dy - (y - a.y) * dx) / length2;
                if (t < -1e-9 || t > 1 + 1e-9 || across > 1e-9) continue;
                sum += a.z + t * (b.z - a.z);
                ++count;
            }
    return count ? sum / count : kNaN;
}

/// Gives every vertex still without an elevation one from its neighbours by inverse distance,
/// along constraints where the vertex lies on some (on a straight constrained segment between
/// two known ends that is exactly linear interpolation). Repeats while that makes progress.
void fillFromNeighbours(Cdt& cdt) {
    for (bool progress = true; progress;) {
        progress = false;
        for (VertexHandle v : cdt.finite_vertex_handles()) {
            if (!std::isnan(v->info().z)) continue;
            double weighted[2] = {0, 0}, weights[2] = {0, 0};
            int counts[2] = {0, 0};
            auto edge = cdt.incident_edges(v), done = edge;
            do {
                if (cdt.is_infinite(*edge)) continue;
                const auto face = edge->first;
                const int i = edge->second;
                VertexHandle other = face->vertex(Cdt::cw(i));
                if (other == v) other = face->vertex(Cdt::ccw(i));
                if (std::isnan(other->info().z)) continue;
                const int kind = cdt.is_constrained(*edge) ? 0 : 1;
                const double d =
                    std::sqrt(CGAL::to_double(CGAL::squared_distance(v->point(), other->point())));
                const double w = 1 / std::max(d, 1e-300);
                weighted[kind] += w * other->info().z;
                weights[kind] += w;
                ++counts[kind];
            } while (++edge != done);
            const int use = counts[0] >= 2 ? 0 : (counts[0] + counts[1] > 0 ? -1 : -2);
            if (use == -2) continue;
            v->info().z = use == 0 ? weighted[0] / weights[0]
                                   : (weighted[0] + weighted[1]) / (weights[0] + weights[1]);
            progress = true;
        }
    }
}

/// Even-odd test against every ring of the polygon.
bool insidePolygon(const Polygon& polygon, double x, double y) {
    bool inside = false;
    for (const Path& ring : polygon.rings) {
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
            const Point& a = ring[i];
            const Point& b = ring[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
        }
    }
    return inside;
}

TinMesh meshOf(Cdt& cdt, const Polygon* clip) {
    TinMesh mesh;
    mesh.vertices.reserve(cdt.number_of_vertices());
    for (auto v = cdt.finite_vertices_begin(); v != cdt.finite_vertices_end(); ++v) {
        v->info().index = static_cast<std::uint32_t>(mesh.vertices.size());
        mesh.vertices.push_back({v->point().x(), v->point().y(), v->info().z});
    }
    mesh.triangles.reserve(cdt.number_of_faces());
    for (auto f = cdt.finite_faces_begin(); f != cdt.finite_faces_end(); ++f) {
        if (clip) {
            const auto centre =
                CGAL::centroid(f->vertex(0)->point(), f->vertex(1)->point(), f->vertex(2)->point());
            if (!insidePolygon(*clip, centre.x(), centre.y())) continue;
        }
        mesh.triangles.push_back(
            {f->vertex(0)->info().index, f->vertex(1)->info().index, f->vertex(2)->info().index});
    }
    return mesh;
}

}  // namespace

TinMesh triangulate(const std::vector<Point>& massPoints, const std::vector<Polyline>& hardLines,
                    const Polygon* clip) {
    Cdt cdt;
    const auto points = distinctPoints(massPoints);
    cdt.insert(points.begin(), points.end());
    for (const Polyline& line : hardLines)
        for (const Path& path : line.paths) insertLine(cdt, path, false, true);
    if (clip)
        for (const Path& ring : clip->rings) insertLine(cdt, ring, true, false);
    // Where lines cross, each line gives its own elevation there.
    for (VertexHandle v : cdt.finite_vertex_handles())
        if (std::isnan(v->info().z))
            v->info().z = alongHardLines(hardLines, v->point().x(), v->point().y());
    fillFromNeighbours(cdt);
    return meshOf(cdt, clip);
}

}  // namespace ondu
