#pragma once
// vectorUtil: geometry and array routines several tools share: ordering the lines of a chain by
// their FromLine/ToLine links, merging an ordered chain into one line, reading a line's measure
// at a point, meeting points, polygon and path outlines, Z-awareness, and sorts.

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/geometry/geometry.h"
#include "framework/geometry/line_index.h"
#include "framework/host_operations.h"

namespace ondu::vectorUtil {

/// Links the lines of a chain and lists them in chain order.
///
/// The lines are the layer's selected features, or all of them when none is selected. Two lines
/// link where the last point of one and the first point of the other have the same link key
/// (X and Y at three decimals, see channel::linkKey). Each line gets FromLine = the identifier of
/// a line ending at its start and ToLine = the identifier of a line starting at its end, or
/// channel::kNoLink (-9999) where there is none; where several lines meet at one point, the one
/// read last (in selection order, else identifier order) wins. The fields are added as Long when
/// the class lacks them; lines whose links are already right are not rewritten.
///
/// `features` is then sized to the number of lines and filled in chain order: the first line
/// with FromLine -9999, then each time the first line whose FromLine is the previous line's
/// identifier, searched in the same order. When no line continues the chain, the rest of
/// `features` stays nullptr and, when the whole class has several lines with FromLine -9999 (or
/// else ToLine -9999), a message names the layer ("Error in sorting features"); a chain without
/// any end (a ring) ends without a message. Any other failure is shown as "<number>:
/// <description>" titled "Error in OrderFromTo" unless the duplicate-end message was shown.
void OrderFromTo(IFeatureLayer* layer, std::vector<FeaturePtr>& features);

/// The layer's chain (OrderFromTo) as one polyline of one path: the vertices of every line in
/// chain order, shared end points kept twice, nothing reversed. It carries Z (M) when every line
/// does. Throws the host's "Object variable or With block variable not set" (91) when the chain
/// could not be walked to its end; an empty layer gives an empty line.
Polyline MergeLinesInOrder(IFeatureLayer* layer);

/// The measure of the line at the location on it nearest to the point (no extension: a point
/// beyond an end gets that end's measure), rounded to four decimals. 0 when the line carries no
/// measures; when the measure there is unset, shows "No MS assigned" (title "Error") and answers
/// 9999.
double GetMAtPoint(const Point& point, const Polyline& line);

/// GetMAtPoint on the one line an index holds, with the same answer and message, found in
/// logarithmic time: for many points along one long line. Throws std::invalid_argument for an
/// index of more or fewer lines.
double GetMAtPoint(const Point& point, const LineIndex& line);

/// The first point where a and b meet (ordered along a when a is a line or polygon), which may
/// be an empty point. When they do not meet, or meeting fails, shows "Error in finding
/// intersecting point" titled "obid" and answers nothing; callers take that as no intersection.
std::optional<Point> GetIntersectPoint(const Geometry& a, const Geometry& b);

/// A polyline of one path through every vertex of the polygon, ring after ring in stored order,
/// each ring closed (its first vertex repeated at its end); an empty polyline for an empty
/// polygon. Another shape fails: shows "<number>: <description>" titled
/// " Error in fnConvertPolytonToPolyline" and answers nothing.
std::optional<Polyline> fnConvertPolytonToPolyline(const Geometry& polygon);

/// A new polyline with the segments of the path (its vertices in order, carrying Z and M as the
/// first vertex does). A path of fewer than two vertices has no segments: shows
/// "Path has no segments" titled "error!" and answers nothing.
std::optional<Polyline> PathToPolyline(const Path& path);
/// As above for a polyline: its paths with their segments, in order.
std::optional<Polyline> PathToPolyline(const Polyline& line);

/// Marks the shape as carrying Z (the vertices keep their values).
void SetZAware(Geometry& shape);
void SetZAware(Polyline& line);

/// Marks the shape as not carrying Z and returns it (no copy).
Geometry& ClearZAware(Geometry& shape);
Polyline& ClearZAware(Polyline& line);

/// A copy of the line whose vertices and the line itself are marked as carrying Z; Z values and
/// measures are kept.
Polyline MakeZAwarePolyline(const Polyline& line);

/// Variant comparison: a > b, numbers as numbers, texts by their characters, any number below
/// any text; false whenever either is null.
bool GreaterThan(const FieldValue& a, const FieldValue& b);

/// Shell sort, ascending by GreaterThan, gaps 1, 4, 13, 40, ... Not stable. A null compares
/// neither greater nor smaller, so an array holding nulls comes out only partly ordered.
void ShellSort(std::vector<FieldValue>& values);

/// ShellSort for numbers.
void ShellSortDouble(std::vector<double>& values);

/// `doubles` sized as `values` and holding their numeric values. Throws HostError for a null
/// ("Invalid use of Null", 94) and for a text that is not a number ("Type mismatch", 13).
void ConvertToDoubleArray(const std::vector<FieldValue>& values, std::vector<double>& doubles);

/// The planar distance between two points (X and Y only).
double GetPointDistance(const Point& a, const Point& b);

/// Orders the points by M ascending, as an exchange sort that swaps a later point with an
/// earlier one whenever its M is at most the earlier's would leave them: points of equal M end
/// in the reverse of the order they came in. n log n; the M values must be numbers.
void SortVerticesByM(Path& points);

/// The answer of a search "<measure> > lower AND <measure> < upper" over a whole layer that takes
/// the first feature found (the smallest object id), in logarithmic time: the layer is read once,
/// its measures sorted, with a sparse table of the smallest id over every power-of-two run.
class MeasureWindowIndex {
public:
    /// The measure and object id of every feature that has a measure.
    explicit MeasureWindowIndex(std::vector<std::pair<double, long long>> measureIds);

    /// The smallest id among measures m with lower < m < upper, or nothing.
    std::optional<long long> firstBetween(double lower, double upper) const;

private:
    std::vector<std::pair<double, long long>> entries_;
    std::vector<std::vector<long long>> minIds_;
};

/// The parallel of the line `distance` to its side (positive to the right), each path on its
/// own with mitred corners, so that straight runs keep exactly that distance (offsetCurve).
/// Nothing for an empty line. A failure shows "<number>: <description>" titled
/// "ConstructOffset" and answers nothing.
std::optional<Polyline> ConstructOffset(const Polyline& line, double distance);
/// Where a line meets one of the lines of a SegmentIndex.
struct LineMeeting {
    std::size_t line;  ///< its position in the index
    Point first;       ///< the first meeting point along the line searched with
    /// The indexed line's segments near the line searched with, in their order along it, each a
    /// path of its own: every point where the two lines meet lies on it, and its measures there
    /// are the indexed line's.
    Polyline piece;
    /// Every meeting point, ordered along the line searched with (`first` is the first of them).
    std::vector<Point> points;
};

/// An R-tree over the segments of a set of lines, answering which of them a line meets, for
/// searches by the thousand: only segments whose boxes overlap are handed to the meeting test.
class SegmentIndex {
public:
    /// Indexes the lines (kept by the index), built in n log n.
    explicit SegmentIndex(std::vector<Polyline> lines);
    ~SegmentIndex();
    SegmentIndex(const SegmentIndex&) = delete;
    SegmentIndex& operator=(const SegmentIndex&) = delete;

    const Polyline& line(std::size_t position) const { return lines_[position]; }
    std::size_t size() const { return lines_.size(); }

    /// The indexed lines that `query` meets (crossing, touching or overlapping), in ascending
    /// position, at most `limit` of them.
    std::vector<LineMeeting> meetings(
        const Polyline& query, std::size_t limit = std::numeric_limits<std::size_t>::max()) const;

    /// The position of the first indexed line that `query` meets (the line of
    /// meetings(query, 1)), found without computing where; nothing when it meets none.
    std::optional<std::size_t> firstMet(const Polyline& query) const;

    /// The positions of every indexed line that `query` meets (the lines of meetings(query)), in
    /// ascending position, found without computing where.
    std::vector<std::size_t> linesMet(const Polyline& query) const;

private:
    struct Tree;
    /// Calls `met(line)` for each indexed line with a segment meeting one of `query`'s, except
    /// the lines for which `skip(line)` holds before their segments are tested.
    template <class Skip, class Met>
    void forEachMeeting(const Polyline& query, Skip skip, Met met) const;
    struct SegmentRef {
        std::size_t line;
        std::size_t path;
        std::size_t vertex;
    };
    Polyline pieceOf(const Polyline& line, const std::vector<SegmentRef>& segments,
                     const std::vector<std::size_t>& ids) const;

    std::vector<Polyline> lines_;
    std::vector<SegmentRef> segments_;
    std::unique_ptr<Tree> tree_;
};

}  // namespace ondu::vectorUtil
