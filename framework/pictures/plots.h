#pragma once
// Plots of lines with elevations: cross-sections (station against elevation, with bank stations,
// the deepest point and water levels) and longitudinal profiles (elevation against distance
// along the line).

#include <optional>
#include <string>
#include <vector>

#include "framework/host_operations.h"
#include "framework/pictures/drawing.h"

namespace ondu::pictures {

struct XY {
    double x = 0, y = 0;
};

/// One entry of a plot's legend: connected pieces of line, or markers.
struct Series {
    std::string label;
    std::vector<std::vector<XY>> pieces;
    Style style;
    bool markers = false;
};

struct Plot {
    std::string title;
    std::string xCaption, yCaption;
    std::vector<Series> series;
};

/// Where a plot's data fell: its frame and axes.
struct PlotView {
    Box frame;
    Axis x, y;
};

/// Draws the plot into `path` (.png, .svg or .pdf) with axes widened to whole 1-2-5 steps
/// around every point; throws std::invalid_argument when no series has a point.
PlotView renderPlot(const Plot& plot, int width, int height, const std::string& path);

/// A section's bed as station (distance along the line in XY) against Z, one point per vertex,
/// paths in stored order.
std::vector<XY> sectionProfile(const Geometry& line);

/// The pieces of [first station, last station] where the bed lies below `level`, with the
/// crossings interpolated linearly: where water at that level stands.
std::vector<std::vector<XY>> wettedPieces(const std::vector<XY>& bed, double level);

/// The index of the deepest point (the first of equal depth) and of the bank stations: the
/// highest point on either side of it (the first of equal height).
struct SectionMarks {
    std::size_t left = 0, deepest = 0, right = 0;
};
SectionMarks sectionMarks(const std::vector<XY>& bed);

struct SectionPlotOptions {
    std::string layer = "CrossSections";
    std::optional<long long> fid;  ///< one section by identifier ...
    std::string where;             ///< ... or every section meeting the condition
    /// Water levels: a line layer (profile lines, whose crossings with the section are marked)
    /// or a flow table (its levels drawn across the wetted part).
    std::vector<std::string> levels;
    std::string stationField = "StationNo";  ///< the section's field matched against the table
    std::string tableIdField = "CrossSectionID";
    std::string tableLevelField = "WSE";
    int width = 1000, height = 600;
};

/// Plots the chosen sections. Throws RunRefused naming the layer, table or condition when a
/// layer or table is missing or has nothing to plot.
PlotView renderSectionPlot(IMap& map, const SectionPlotOptions& options, const std::string& path);

struct ProfilePlotOptions {
    std::vector<std::string> layers = {"Thalweg"};
    /// Where the middle of each line lies along the river (the Measure of centerline
    /// segments); unnamed, each line starts at 0.
    std::string measureField;
    std::string elevationField;  ///< for lines without Z: one elevation per line (BankElev)
    int width = 1000, height = 600;
};

/// Plots the lines of the layers (the selected ones where a layer has a selection). Throws
/// RunRefused naming the layer or field when one is missing or a layer has nothing to plot.
PlotView renderProfilePlot(IMap& map, const ProfilePlotOptions& options, const std::string& path);

}  // namespace ondu::pictures
