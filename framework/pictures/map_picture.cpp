#include "framework/pictures/map_picture.h"

#include <cairo.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <unordered_set>

#include "framework/channel_model.h"
#include "framework/error.h"
#include "framework/host/ogr_workspace.h"
#include "framework/number_text.h"

namespace ondu::pictures {

namespace {

constexpr double kMarkerRadius = 3.5;
constexpr double kLabelSize = 11;
/// Above this many vertices a layer is drawn with fast antialiasing and plain joins: at that
/// density round joins cannot be seen, yet they made drawing three times slower.
constexpr std::size_t kDenseVertices = 20000;

/// Calls `visit` with every vertex of the shape, without copying them.
template <typename Visit>
void forEachVertex(const Geometry& shape, Visit visit) {
    auto paths = [&visit](const std::vector<Path>& list) {
        for (const Path& path : list)
            for (const Point& p : path) visit(p);
    };
    if (const auto* line = std::get_if<Polyline>(&shape)) paths(line->paths);
    if (const auto* area = std::get_if<Polygon>(&shape)) paths(area->rings);
    if (const auto* points = std::get_if<Multipoint>(&shape)) paths({points->points});
    if (const auto* point = std::get_if<Point>(&shape)) visit(*point);
}

struct DrawnFeature {
    Geometry shape;
    bool selected = false;
    std::string label;
};

struct DrawnLayer {
    std::string name;
    ShapeType shape = ShapeType::Null;
    Style style;
    std::vector<DrawnFeature> features;
    std::size_t vertexCount = 0;
    std::unique_ptr<SurfaceSampler> surface;
};

std::string stationLabel(IFeature& feature, int stationField) {
    if (stationField < 0) return {};
    auto station = toDouble(feature.value(stationField));
    return station ? plain(*station) : std::string();
}

DrawnLayer readFeatureLayer(IFeatureLayer& layer, bool named) {
    DrawnLayer drawn;
    drawn.name = layer.name();
    IFeatureClass* cls = layer.featureClass();
    if (!cls) {
        if (named) throw RunRefused("The layer " + layer.name() + " has no data source");
        return drawn;
    }
    drawn.shape = cls->shapeType();
    drawn.style = roleStyle(drawn.name, drawn.shape);
    const auto& ids = layer.selectionSet().ids();
    const std::unordered_set<long long> selected(ids.begin(), ids.end());
    const int stationField = drawn.name == channel::kCrossSections.defaultName
                                 ? cls->findField(std::string(channel::kStationNo.name))
                                 : -1;
    auto cursor = cls->search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        Geometry shape = feature->shape();
        if (isEmpty(shape)) continue;
        forEachVertex(shape, [&drawn](const Point&) { ++drawn.vertexCount; });
        drawn.features.push_back({std::move(shape), selected.contains(feature->OID()),
                                  stationLabel(*feature, stationField)});
    }
    if (named && drawn.features.empty())
        throw RunRefused("The layer " + layer.name() + " has no features to draw");
    return drawn;
}

DrawnLayer readLayer(ILayer& layer, bool named) {
    if (IFeatureLayer* fl = layer.asFeatureLayer()) return readFeatureLayer(*fl, named);
    DrawnLayer drawn;
    drawn.name = layer.name();
    drawn.surface = surfaceSampler(layer);
    if (named && !drawn.surface)
        throw RunRefused("The layer " + layer.name() + " cannot be drawn yet");
    return drawn;
}

bool drawable(const DrawnLayer& layer) { return !layer.features.empty() || layer.surface; }

/// The chosen layers in display order; every drawable layer when none is named.
std::vector<DrawnLayer> readLayers(IMap& map, const std::vector<std::string>& names) {
    std::vector<DrawnLayer> layers;
    if (names.empty()) {
        for (int i = 0; i < map.layerCount(); ++i) {
            DrawnLayer layer = readLayer(map.layer(i), false);
            if (drawable(layer)) layers.push_back(std::move(layer));
        }
        if (layers.empty()) throw RunRefused("The map " + map.name() + " has nothing to draw");
        return layers;
    }
    for (const auto& name : names) {
        ILayer* found = layerNamed(map, name);
        if (!found) throw RunRefused("The layer " + name + " is not in the map");
        layers.push_back(readLayer(*found, true));
    }
    return layers;
}

Extent extentOf(const std::vector<DrawnLayer>& layers) {
    Extent e{INFINITY, INFINITY, -INFINITY, -INFINITY};
    auto include = [&e](double x, double y) {
        e.xmin = std::min(e.xmin, x);
        e.ymin = std::min(e.ymin, y);
        e.xmax = std::max(e.xmax, x);
        e.ymax = std::max(e.ymax, y);
    };
    for (const auto& layer : layers) {
        for (const auto& f : layer.features)
            forEachVertex(f.shape, [&include](const Point& p) { include(p.x, p.y); });
        if (layer.surface) {
            const Extent s = layer.surface->extent();
            include(s.xmin, s.ymin);
            include(s.xmax, s.ymax);
        }
    }
    return e;
}

void tracePaths(cairo_t* cr, const MapView& view, const std::vector<Path>& paths, bool close) {
    for (const Path& path : paths) {
        for (std::size_t i = 0; i < path.size(); ++i)
            (i == 0 ? cairo_move_to : cairo_line_to)(cr, view.x(path[i].x), view.y(path[i].y));
        if (close) cairo_close_path(cr);
    }
}

void drawMarkers(cairo_t* cr, const MapView& view, const Geometry& shape, const Style& style) {
    for (const Point& p : allVertices(shape))
        drawMarker(cr, view.x(p.x), view.y(p.y), kMarkerRadius, style);
}

/// Traces a line or area feature onto the current path.
void traceShape(cairo_t* cr, const MapView& view, const Geometry& shape) {
    if (const auto* line = std::get_if<Polyline>(&shape)) tracePaths(cr, view, line->paths, false);
    if (const auto* area = std::get_if<Polygon>(&shape)) tracePaths(cr, view, area->rings, true);
}

bool isPointShape(ShapeType shape) {
    return shape == ShapeType::Point || shape == ShapeType::Multipoint;
}

Style highlighted(Style style) {
    style.stroke = kHighlight;
    style.fill = kHighlight;
    style.width += 2;
    return style;
}

void drawFeatures(cairo_t* cr, const MapView& view, const DrawnLayer& layer, bool selected) {
    const Style style = selected ? highlighted(layer.style) : layer.style;
    for (const auto& f : layer.features) {
        if (f.selected != selected) continue;
        if (isPointShape(shapeTypeOf(f.shape))) {
            drawMarkers(cr, view, f.shape, style);
        } else {
            traceShape(cr, view, f.shape);
            // Areas are painted one by one so that neighbours do not cut holes in each other;
            // the lines of a layer go into one stroke, which is far faster.
            if (style.filled) paintPath(cr, style);
        }
    }
    if (style.filled) return;
    cairo_save(cr);
    setStroke(cr, style);
    if (layer.vertexCount > kDenseVertices) {
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_FAST);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void drawStationLabels(cairo_t* cr, const MapView& view, const DrawnLayer& layer) {
    for (const auto& f : layer.features) {
        const auto vertices = allVertices(f.shape);
        if (f.label.empty() || vertices.empty()) continue;
        const Point& end = vertices.back();
        drawText(cr, view.x(end.x) + 4, view.y(end.y) - 4, f.label, kLabelSize - 1, Anchor::Start,
                 layer.style.stroke);
    }
}

/// Draws every layer, the first in display order on top, except that areas always lie under
/// lines and points so that a filled boundary never hides the channel lines.
void drawLayers(cairo_t* cr, const MapView& view, const std::vector<DrawnLayer>& layers) {
    cairo_save(cr);
    cairo_rectangle(cr, view.frame.left, view.frame.top, view.frame.width(), view.frame.height());
    cairo_clip(cr);
    for (auto it = layers.rbegin(); it != layers.rend(); ++it)
        if (it->surface) shadeSurface(cr, view, *it->surface);
    for (bool areas : {true, false})
        for (auto it = layers.rbegin(); it != layers.rend(); ++it)
            if ((it->shape == ShapeType::Polygon) == areas) drawFeatures(cr, view, *it, false);
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        drawFeatures(cr, view, *it, true);
        drawStationLabels(cr, view, *it);
    }
    cairo_restore(cr);
}

/// A bar of a round 1-2-5 length in the lower left corner of the frame.
void drawScaleBar(cairo_t* cr, const MapView& view, const std::string& unit) {
    const double length = niceStep(view.extent.width() / 5, 1);
    const double pixels = length * view.pixelsPerUnit;
    const double x = view.frame.left + 15, y = view.frame.bottom - 18;
    cairo_rectangle(cr, x - 6, y - 20, pixels + 12 + 60, 30);
    paintPath(cr, areaStyle({0.6, 0.6, 0.6}, 0.5, {1, 1, 1}));
    for (int half = 0; half < 2; ++half) {
        cairo_rectangle(cr, x + half * pixels / 2, y, pixels / 2, 5);
        paintPath(cr, areaStyle(Rgb{}, 1, half == 0 ? Rgb{} : Rgb{1, 1, 1}));
    }
    drawText(cr, x, y - 4, "0", kLabelSize - 1, Anchor::Middle);
    drawText(cr, x + pixels, y - 4, plain(length) + (unit.empty() ? "" : " " + unit),
             kLabelSize - 1, Anchor::Start);
}

void drawNorthArrow(cairo_t* cr, const MapView& view) {
    const double x = view.frame.right - 25, y = view.frame.top + 15;
    cairo_move_to(cr, x, y + 10);
    cairo_line_to(cr, x + 8, y + 34);
    cairo_line_to(cr, x, y + 28);
    cairo_line_to(cr, x - 8, y + 34);
    cairo_close_path(cr);
    paintPath(cr, areaStyle(Rgb{}, 1, Rgb{}));
    drawText(cr, x, y + 6, "N", kLabelSize + 1, Anchor::Middle);
}

std::vector<LegendEntry> legendOf(const std::vector<DrawnLayer>& layers) {
    std::vector<LegendEntry> entries;
    for (const auto& layer : layers)
        entries.push_back({layer.name, layer.style, isPointShape(layer.shape)});
    return entries;
}

SpatialReference spatialReferenceOfMap(IMap& map) {
    for (int i = 0; i < map.layerCount(); ++i)
        if (IFeatureLayer* fl = map.layer(i).asFeatureLayer(); fl && fl->featureClass()) {
            SpatialReference srs = spatialReferenceOf(fl->featureClass());
            if (!srs.name.empty()) return srs;
        }
    return {};
}

void checkExtent(const Extent& e) {
    if (!(e.xmax > e.xmin) || !(e.ymax > e.ymin) || !std::isfinite(e.width()) ||
        !std::isfinite(e.height()))
        throw std::invalid_argument("an extent needs xmin < xmax and ymin < ymax");
}

Rgb elevationColour(double t) {
    // Low ground blue, middle green, high ground brown.
    constexpr Rgb ramp[] = {
        {0.15, 0.35, 0.75}, {0.35, 0.7, 0.35}, {0.95, 0.85, 0.45}, {0.55, 0.35, 0.2}};
    t = std::clamp(t, 0.0, 1.0) * 3;
    const int i = std::min(2, static_cast<int>(t));
    const double f = t - i;
    return {ramp[i].r + f * (ramp[i + 1].r - ramp[i].r),
            ramp[i].g + f * (ramp[i + 1].g - ramp[i].g),
            ramp[i].b + f * (ramp[i + 1].b - ramp[i].b)};
}

std::uint32_t packed(Rgb c) {
    auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255)); };
    return 0xff000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

/// The elevation colours from the highest (top) to the lowest, with both values written.
void drawColourBar(cairo_t* cr, double x, double top, const SurfaceSampler& surface) {
    constexpr double width = 16, height = 150;
    for (int i = 0; i < height; ++i) {
        cairo_rectangle(cr, x, top + i, width, 1.5);
        setColour(cr, elevationColour(1 - i / height));
        cairo_fill(cr);
    }
    const double resolution = niceStep(surface.highest() - surface.lowest(), 100);
    drawText(cr, x + width + 4, top + 8, tickLabel(surface.highest(), resolution), kLabelSize - 1);
    drawText(cr, x + width + 4, top + height, tickLabel(surface.lowest(), resolution),
             kLabelSize - 1);
}

}  // namespace

ILayer* layerNamed(IMap& map, const std::string& name) {
    for (int i = 0; i < map.layerCount(); ++i)
        if (map.layer(i).name() == name) return &map.layer(i);
    return nullptr;
}

SpatialReference spatialReferenceOf(IFeatureClass* cls) {
    auto* ogr = dynamic_cast<OgrFeatureClass*>(cls);
    const OGRSpatialReference* srs = ogr ? ogr->layer()->GetSpatialRef() : nullptr;
    if (!srs) return {};
    const char* unit = nullptr;
    srs->GetLinearUnits(&unit);
    return {srs->GetName() ? srs->GetName() : "", unit ? unit : ""};
}

Style roleStyle(const std::string& name, ShapeType shape) {
    using namespace channel;
    if (name == kChannelBoundary.defaultName)
        return areaStyle({0.45, 0.55, 0.65}, 1, {0.86, 0.93, 0.98});
    if (name == kBoundarySegments.defaultName || name == kCenterlineSegments.defaultName)
        return lineStyle({0.55, 0.55, 0.55}, 0.7);
    if (name == kCenterline.defaultName || name == kCenterLine.defaultName)
        return lineStyle({0.3, 0.3, 0.3}, 1.2, {8, 5});
    if (name == kThalweg.defaultName) return lineStyle({0, 0.25, 0.85}, 3);
    if (name == kCrossSections.defaultName) return lineStyle({0.85, 0.1, 0.1}, 1.5);
    if (name == kProfileLines.defaultName) return lineStyle({0.1, 0.55, 0.3}, 0.7);
    if (name == kReach.defaultName) return lineStyle({0.5, 0.2, 0.6}, 1.5);
    if (isPointShape(shape)) return areaStyle({0.2, 0.2, 0.2}, 0.8, {1, 0.6, 0});
    if (shape == ShapeType::Polygon) return areaStyle({0.4, 0.4, 0.4}, 1, {0.9, 0.9, 0.88});
    return lineStyle({}, 1);
}

MapView fitView(const Box& frame, Extent wanted) {
    // A point or a straight line still gets an extent to draw in.
    const double pad = std::max({wanted.width(), wanted.height(), 1.0}) * 0.5;
    if (!(wanted.width() > 0)) wanted.xmin -= pad, wanted.xmax += pad;
    if (!(wanted.height() > 0)) wanted.ymin -= pad, wanted.ymax += pad;
    const double scale = std::min(frame.width() / wanted.width(), frame.height() / wanted.height());
    const double spareX = (frame.width() / scale - wanted.width()) / 2;
    const double spareY = (frame.height() / scale - wanted.height()) / 2;
    return {
        frame,
        {wanted.xmin - spareX, wanted.ymin - spareY, wanted.xmax + spareX, wanted.ymax + spareY},
        scale};
}

std::unique_ptr<SurfaceSampler> surfaceSampler(ILayer&) { return nullptr; }

void shadeSurface(cairo_t* cr, const MapView& view, const SurfaceSampler& surface) {
    const int w = static_cast<int>(std::ceil(view.frame.width()));
    const int h = static_cast<int>(std::ceil(view.frame.height()));
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(image));
    const int stride = cairo_image_surface_get_stride(image) / 4;
    const double low = surface.lowest(), span = std::max(surface.highest() - low, 1e-12);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const double z = surface.elevation(view.extent.xmin + (col + 0.5) / view.pixelsPerUnit,
                                               view.extent.ymax - (row + 0.5) / view.pixelsPerUnit);
            pixels[row * stride + col] =
                std::isnan(z) ? 0 : packed(elevationColour((z - low) / span));
        }
    cairo_surface_mark_dirty(image);
    cairo_set_source_surface(cr, image, view.frame.left, view.frame.top);
    cairo_paint(cr);
    cairo_surface_destroy(image);
}

MapView renderMap(IMap& map, const MapPictureOptions& options, const std::string& path) {
    if (options.extent) checkExtent(*options.extent);
    Canvas canvas(path, options.width, options.height);
    const std::vector<DrawnLayer> layers = readLayers(map, options.layers);
    cairo_t* cr = canvas.cr();
    const auto legend = legendOf(layers);
    double legendWidth = 0;
    for (const auto& e : legend) legendWidth = std::max(legendWidth, textWidth(cr, e.label, 11));
    const Box frame{80, 50, canvas.width() - legendWidth - 80, canvas.height() - 60.0};
    if (frame.width() < 10 || frame.height() < 10)
        throw std::invalid_argument("the picture is too small for a map");
    const MapView view = fitView(frame, options.extent ? *options.extent : extentOf(layers));

    const SpatialReference srs = spatialReferenceOfMap(map);
    const std::string unit = srs.unit.empty() ? "map units" : srs.unit;
    drawFrame(
        cr, frame,
        {view.extent.xmin, view.extent.xmax, niceStep(view.extent.width(), 8), "X (" + unit + ")"},
        {view.extent.ymin, view.extent.ymax, niceStep(view.extent.height(), 8),
         "Y (" + unit + ")"});
    drawLayers(cr, view, layers);
    drawScaleBar(cr, view, srs.unit);
    drawNorthArrow(cr, view);
    drawText(cr, frame.left, 22, map.name(), kLabelSize + 3);
    drawText(cr, frame.left, 40,
             "Spatial reference: " + (srs.name.empty() ? std::string("unknown") : srs.name),
             kLabelSize);
    const double legendX = frame.right + 20;
    drawLegend(cr, legendX, frame.top, legend);
    double barTop = frame.top + legend.size() * 18 + 30;
    for (const auto& layer : layers)
        if (layer.surface) {
            drawText(cr, legendX, barTop - 6, layer.name, kLabelSize);
            drawColourBar(cr, legendX, barTop, *layer.surface);
            barTop += 190;
        }
    canvas.save();
    return view;
}

}  // namespace ondu::pictures
