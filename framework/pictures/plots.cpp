#include "framework/pictures/plots.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "framework/error.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/pictures/map_picture.h"

namespace ondu::pictures {

namespace {

/// Line colours of successive series, distinct on screen and in print.
const Rgb kPalette[] = {{0.55, 0.35, 0.15}, {0, 0.3, 0.8},   {0.8, 0.1, 0.1},
                        {0.1, 0.55, 0.25},  {0.5, 0.2, 0.6}, {0.9, 0.5, 0}};

Style paletteStyle(std::size_t index, double width = 2) {
    return lineStyle(kPalette[index % std::size(kPalette)], width);
}

constexpr Rgb kWater{0.1, 0.45, 0.95};

Style markerStyle(Rgb fill) { return areaStyle(Rgb{}, 0.8, fill); }

void drawSeries(cairo_t* cr, const Series& series, const Scale& sx, const Scale& sy) {
    for (const auto& piece : series.pieces) {
        if (series.markers) {
            for (const XY& p : piece) drawMarker(cr, sx(p.x), sy(p.y), 4, series.style);
            continue;
        }
        for (std::size_t i = 0; i < piece.size(); ++i)
            (i == 0 ? cairo_move_to : cairo_line_to)(cr, sx(piece[i].x), sy(piece[i].y));
        paintPath(cr, series.style);
    }
}

IFeatureLayer& featureLayer(IMap& map, const std::string& name) {
    ILayer* layer = layerNamed(map, name);
    IFeatureLayer* fl = layer ? layer->asFeatureLayer() : nullptr;
    if (!fl) throw RunRefused("The layer " + name + " is not in the map");
    if (!fl->featureClass()) throw RunRefused("The layer " + name + " has no data source");
    return *fl;
}

std::string unitCaption(IFeatureClass* cls) {
    const std::string unit = spatialReferenceOf(cls).unit;
    return " (" + (unit.empty() ? std::string("map units") : unit) + ")";
}

bool hasZValues(IFeatureClass* cls) {
    return cls->field(cls->findField(cls->shapeFieldName())).hasZ;
}

int requiredField(IFeatureClass* cls, const std::string& layer, const std::string& field) {
    const int index = cls->findField(field);
    if (index < 0) throw RunRefused("The layer " + layer + " has no field " + field);
    return index;
}

std::vector<FeaturePtr> chosenSections(IFeatureLayer& layer, const SectionPlotOptions& o) {
    std::vector<FeaturePtr> sections;
    IFeatureClass* cls = layer.featureClass();
    if (o.fid) {
        if (auto f = cls->getFeature(*o.fid)) sections.push_back(std::move(f));
    } else {
        QueryFilter filter;
        filter.whereClause = o.where;
        auto cursor = cls->search(o.where.empty() ? nullptr : &filter);
        while (auto f = cursor->nextFeature()) sections.push_back(std::move(f));
    }
    std::erase_if(sections, [](const FeaturePtr& f) { return isEmpty(f->shape()); });
    if (sections.empty())
        throw RunRefused("No cross-section of " + o.layer + " meets " +
                         (o.fid ? "FID = " + std::to_string(*o.fid) : o.where) +
                         " with a shape to plot");
    return sections;
}

double crossingParameter(XY a, XY b, XY c, XY d, double& u) {
    const double den = (b.x - a.x) * (d.y - c.y) - (b.y - a.y) * (d.x - c.x);
    if (den == 0) return -1;
    const double t = ((c.x - a.x) * (d.y - c.y) - (c.y - a.y) * (d.x - c.x)) / den;
    u = ((c.x - a.x) * (b.y - a.y) - (c.y - a.y) * (b.x - a.x)) / den;
    return u >= 0 && u <= 1 ? t : -1;
}

/// Where lines with Z cross the section in plan: station along the section, the line's Z.
/// A few segment tests suffice here; the topology library would average the Z of both lines.
std::vector<XY> crossings(const Geometry& section, const Geometry& line) {
    std::vector<XY> found;
    const auto* s = std::get_if<Polyline>(&section);
    const auto* l = std::get_if<Polyline>(&line);
    if (!s || !l) return found;
    double station = 0;
    for (const Path& sp : s->paths)
        for (std::size_t i = 1; i < sp.size(); ++i) {
            const XY a{sp[i - 1].x, sp[i - 1].y}, b{sp[i].x, sp[i].y};
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            for (const Path& lp : l->paths)
                for (std::size_t j = 1; j < lp.size(); ++j) {
                    double u = 0;
                    const double t =
                        crossingParameter(a, b, {lp[j - 1].x, lp[j - 1].y}, {lp[j].x, lp[j].y}, u);
                    if (t >= 0 && t <= 1)
                        found.push_back(
                            {station + t * length, lp[j - 1].z + u * (lp[j].z - lp[j - 1].z)});
                }
            station += length;
        }
    return found;
}

ITable* tableNamed(IMap& map, const std::string& name) {
    for (int i = 0; i < map.tableCount(); ++i)
        if (map.table(i).name() == name) return &map.table(i);
    return nullptr;
}

/// The levels of a flow table for the section whose station is `station`: rows whose
/// identifier lies within half a unit of it, as the profile-lines tool matches them.
std::vector<double> tableLevels(ITable& table, const SectionPlotOptions& o, double station) {
    const int id = table.findField(o.tableIdField), level = table.findField(o.tableLevelField);
    if (id < 0 || level < 0)
        throw RunRefused("The table " + table.name() + " has no field " +
                         (id < 0 ? o.tableIdField : o.tableLevelField));
    std::vector<double> levels;
    auto cursor = table.search(nullptr);
    while (auto row = cursor->nextFeature()) {
        auto rowId = toDouble(row->value(id));
        auto value = toDouble(row->value(level));
        if (rowId && value && std::abs(*rowId - station) < 0.5) levels.push_back(*value);
    }
    std::sort(levels.begin(), levels.end());
    return levels;
}

/// The water levels of one section from `name`: a flow table's levels drawn across the wetted
/// part, or the crossings of a line layer's lines added to `crossings`.
void addLevels(IMap& map, const SectionPlotOptions& o, IFeature& section, const std::string& name,
               const std::string& sectionName, const std::vector<XY>& bed, Plot& plot,
               std::vector<XY>& crossingPoints) {
    if (ITable* table = tableNamed(map, name)) {
        IFeatureClass* cls = featureLayer(map, o.layer).featureClass();
        const int stationField = requiredField(cls, o.layer, o.stationField);
        auto station = toDouble(section.value(stationField));
        if (!station) return;
        for (double level : tableLevels(*table, o, *station))
            plot.series.push_back({sectionName + ": " + name + " " + plain(level),
                                   wettedPieces(bed, level), lineStyle(kWater, 1.5, {6, 3})});
        return;
    }
    if (!layerNamed(map, name))
        throw RunRefused("The layer or table " + name + " is not in the map");
    auto cursor = featureLayer(map, name).featureClass()->search(nullptr);
    while (auto f = cursor->nextFeature())
        for (XY p : crossings(section.shape(), f->shape())) crossingPoints.push_back(p);
}

std::string sectionLabel(IFeatureClass* cls, IFeature& section, const std::string& stationField) {
    const int field = cls->findField(stationField);
    auto station = field >= 0 ? toDouble(section.value(field)) : std::nullopt;
    return station ? "Station " + plain(*station) : "FID " + std::to_string(section.OID());
}

/// Distance along a line's paths in XY at each vertex, with its Z or a fixed elevation.
std::vector<XY> alongLine(const Geometry& line, double fixedElevation) {
    std::vector<XY> points;
    double distance = 0;
    const Point* previous = nullptr;
    std::vector<Point> vertices = allVertices(line);
    for (const Point& p : vertices) {
        if (previous) distance += std::hypot(p.x - previous->x, p.y - previous->y);
        points.push_back({distance, std::isnan(fixedElevation) ? p.z : fixedElevation});
        previous = &p;
    }
    return points;
}

/// Shifts the line's distances so that its middle lies at `measure`, the position of a
/// segment along the river as the segment tools record it.
void placeMiddleAt(std::vector<XY>& points, double measure) {
    const double shift = measure - (points.front().x + points.back().x) / 2;
    for (XY& p : points) p.x += shift;
}

}  // namespace

PlotView renderPlot(const Plot& plot, int width, int height, const std::string& path) {
    double xmin = INFINITY, xmax = -INFINITY, ymin = INFINITY, ymax = -INFINITY;
    for (const auto& s : plot.series)
        for (const auto& piece : s.pieces)
            for (const XY& p : piece) {
                if (std::isnan(p.y)) continue;
                xmin = std::min(xmin, p.x), xmax = std::max(xmax, p.x);
                ymin = std::min(ymin, p.y), ymax = std::max(ymax, p.y);
            }
    if (!(xmax >= xmin)) throw std::invalid_argument("the plot " + plot.title + " has no points");
    Canvas canvas(path, width, height);
    cairo_t* cr = canvas.cr();
    std::vector<LegendEntry> legend;
    double legendWidth = 0;
    for (const auto& s : plot.series) {
        legend.push_back({s.label, s.style, s.markers});
        legendWidth = std::max(legendWidth, textWidth(cr, s.label, 11));
    }
    const PlotView view{{80, 50, width - legendWidth - 80, height - 60.0},
                        niceAxis(xmin, xmax, 8, plot.xCaption),
                        niceAxis(ymin, ymax, 6, plot.yCaption)};
    if (view.frame.width() < 10 || view.frame.height() < 10)
        throw std::invalid_argument("the picture is too small for a plot");
    drawFrame(cr, view.frame, view.x, view.y);
    drawText(cr, view.frame.left, 30, plot.title, 14);
    const Scale sx{view.x.low, view.x.high, view.frame.left, view.frame.right};
    const Scale sy{view.y.low, view.y.high, view.frame.bottom, view.frame.top};
    for (const auto& s : plot.series) drawSeries(cr, s, sx, sy);
    drawLegend(cr, view.frame.right + 20, view.frame.top, legend);
    canvas.save();
    return view;
}

std::vector<XY> sectionProfile(const Geometry& line) { return alongLine(line, kNaN); }

std::vector<std::vector<XY>> wettedPieces(const std::vector<XY>& bed, double level) {
    std::vector<std::vector<XY>> pieces;
    std::vector<XY> piece;
    for (std::size_t i = 0; i < bed.size(); ++i) {
        const bool wet = bed[i].y < level;
        if (i > 0 && wet != (bed[i - 1].y < level)) {
            const XY a = bed[i - 1], b = bed[i];
            piece.push_back({a.x + (level - a.y) / (b.y - a.y) * (b.x - a.x), level});
            if (!wet) pieces.push_back(std::exchange(piece, {}));
        }
        // A wet end of the section holds water up to the section's end.
        if (wet && (i == 0 || i + 1 == bed.size())) piece.push_back({bed[i].x, level});
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

SectionMarks sectionMarks(const std::vector<XY>& bed) {
    SectionMarks marks;
    auto byHeight = [](const XY& a, const XY& b) { return a.y < b.y; };
    marks.deepest = std::min_element(bed.begin(), bed.end(), byHeight) - bed.begin();
    marks.left =
        std::max_element(bed.begin(), bed.begin() + marks.deepest + 1, byHeight) - bed.begin();
    marks.right = std::max_element(bed.begin() + marks.deepest, bed.end(), byHeight) - bed.begin();
    return marks;
}

PlotView renderSectionPlot(IMap& map, const SectionPlotOptions& o, const std::string& path) {
    IFeatureLayer& layer = featureLayer(map, o.layer);
    IFeatureClass* cls = layer.featureClass();
    if (!hasZValues(cls)) throw RunRefused("The layer " + o.layer + " has no Z values to plot");
    Plot plot;
    plot.title = "Cross-sections of " + o.layer;
    plot.xCaption = "Station" + unitCaption(cls);
    plot.yCaption = "Elevation" + unitCaption(cls);
    std::vector<XY> banks, deepest;
    std::vector<std::vector<XY>> crossingsOf(o.levels.size());
    std::size_t index = 0;
    const auto sections = chosenSections(layer, o);
    for (const auto& section : sections) {
        const std::vector<XY> bed = sectionProfile(section->shape());
        const std::string name = sectionLabel(cls, *section, o.stationField);
        plot.series.push_back({name, {bed}, paletteStyle(index++)});
        const SectionMarks marks = sectionMarks(bed);
        banks.insert(banks.end(), {bed[marks.left], bed[marks.right]});
        deepest.push_back(bed[marks.deepest]);
        for (std::size_t i = 0; i < o.levels.size(); ++i)
            addLevels(map, o, *section, o.levels[i], name, bed, plot, crossingsOf[i]);
    }
    for (std::size_t i = 0; i < o.levels.size(); ++i)
        if (!crossingsOf[i].empty())
            plot.series.push_back(
                {o.levels[i] + " crossings", {crossingsOf[i]}, markerStyle(kWater), true});
    plot.series.push_back({"Bank stations", {banks}, markerStyle({0.2, 0.7, 0.2}), true});
    plot.series.push_back({"Deepest point", {deepest}, markerStyle({0.9, 0.1, 0.1}), true});
    return renderPlot(plot, o.width, o.height, path);
}

PlotView renderProfilePlot(IMap& map, const ProfilePlotOptions& o, const std::string& path) {
    Plot plot;
    plot.title = "Longitudinal profile";
    for (const auto& name : o.layers) {
        IFeatureLayer& layer = featureLayer(map, name);
        IFeatureClass* cls = layer.featureClass();
        const bool z = hasZValues(cls);
        if (!z && o.elevationField.empty())
            throw RunRefused("The layer " + name +
                             " has no Z values: name the field that holds its elevations");
        const int measure = o.measureField.empty() ? -1 : requiredField(cls, name, o.measureField);
        const int elevation = z ? -1 : requiredField(cls, name, o.elevationField);
        plot.xCaption = "Distance along the line" + unitCaption(cls);
        plot.yCaption = "Elevation" + unitCaption(cls);
        // Lines with Z each get their own series; lines with one elevation each (segments with
        // their bank elevation) form one stepped series for the layer.
        std::vector<Series> lines;
        auto cursor = maputil::GetFeatureCursor(&layer);
        while (auto f = cursor->nextFeature()) {
            const double fixedZ = z ? kNaN : toDouble(f->value(elevation)).value_or(kNaN);
            auto points = alongLine(f->shape(), fixedZ);
            if (points.empty()) continue;
            if (measure >= 0) placeMiddleAt(points, toDouble(f->value(measure)).value_or(0));
            if (z || lines.empty())
                lines.push_back({name + " " + std::to_string(f->OID()), {points}, Style()});
            else
                lines.back().pieces.push_back(std::move(points));
        }
        if (lines.empty()) throw RunRefused("The layer " + name + " has no lines to plot");
        if (lines.size() == 1) lines.front().label = name;
        for (auto& line : lines) {
            line.style = paletteStyle(plot.series.size());
            plot.series.push_back(std::move(line));
        }
    }
    return renderPlot(plot, o.width, o.height, path);
}

}  // namespace ondu::pictures
