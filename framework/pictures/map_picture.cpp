#include "framework/pictures/map_picture.h"

#include <cairo.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "framework/channel_model.h"
#include "framework/error.h"
#include "framework/host/flat_shapes.h"
#include "framework/host/ogr_workspace.h"
#include "framework/number_text.h"
#include "framework/surface_helpers.h"

namespace ondu::pictures {

namespace {

constexpr double kMarkerRadius = 3.5;
constexpr double kLabelSize = 11;
/// Above this many vertices a layer is drawn with fast antialiasing and plain joins: at that
/// density round joins cannot be seen, yet they made drawing three times slower.
constexpr std::size_t kDenseVertices = 20000;

struct DrawnLayer {
    std::string name;
    ShapeType shape = ShapeType::Null;
    Style style;
    FlatShapes shapes;
    std::vector<char> selected;  ///< whether each feature of `shapes` is selected
    std::unordered_map<long long, std::string> labels;  ///< station labels by feature
    std::unique_ptr<SurfaceSampler> surface;
};

/// The station of every feature that has one, written as its label.
std::unordered_map<long long, std::string> stationLabels(IFeatureClass& cls, int stationField) {
    std::unordered_map<long long, std::string> labels;
    if (stationField < 0) return labels;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature())
        if (auto station = toDouble(feature->value(stationField)))
            labels.emplace(feature->OID(), plain(*station));
    return labels;
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
    drawn.shapes = readFlatShapes(*cls);
    const auto& ids = layer.selectionSet().ids();
    const std::unordered_set<long long> selected(ids.begin(), ids.end());
    drawn.selected.reserve(drawn.shapes.features.size());
    for (const auto& f : drawn.shapes.features) drawn.selected.push_back(selected.contains(f.oid));
    if (isCrossSectionLayer(drawn.name))
        drawn.labels = stationLabels(*cls, cls->findField(std::string(channel::kStationNo.name)));
    if (named && drawn.shapes.features.empty())
        throw RunRefused("The layer " + layer.name() + " has no features to draw");
    return drawn;
}

DrawnLayer readLayer(ILayer& layer, bool named) {
    if (IFeatureLayer* fl = layer.asFeatureLayer()) return readFeatureLayer(*fl, named);
    DrawnLayer drawn;
    drawn.name = layer.name();
    try {
        drawn.surface = surfaceSampler(layer);
    } catch (const HostError&) {
        // As a feature layer without its data: refused when named, passed over otherwise.
        if (named) throw RunRefused("The layer " + layer.name() + " has no data source");
        return drawn;
    }
    if (named && !drawn.surface)
        throw RunRefused("The layer " + layer.name() + " has no values to draw");
    return drawn;
}

bool drawable(const DrawnLayer& layer) { return !layer.shapes.features.empty() || layer.surface; }

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
        for (std::size_t i = 0; i < layer.shapes.vertexCount(); ++i)
            include(layer.shapes.x[i], layer.shapes.y[i]);
        if (layer.surface) {
            const Extent s = layer.surface->extent();
            include(s.xmin, s.ymin);
            include(s.xmax, s.ymax);
        }
    }
    return e;
}

bool isPointShape(ShapeType shape) {
    return shape == ShapeType::Point || shape == ShapeType::Multipoint;
}

/// Vertices closer than this (in pixels) to the last one kept change no pixel of a line, yet each
/// costs the stroker as much as a long segment: dense lines lose them before drawing.
constexpr double kPixelTolerance = 0.5;

/// Calls visit(first, last) with the vertex range of each path of feature `i`.
template <typename Visit>
void forEachPath(const FlatShapes& shapes, std::size_t i, Visit visit) {
    for (std::size_t p = shapes.features[i].firstPath; p < shapes.firstPathOf(i + 1); ++p)
        visit(shapes.pathStarts[p], shapes.pathStarts[p + 1]);
}

/// Calls moveTo(x, y) at the start of each path of feature `i` and lineTo(x, y) along it, in
/// device space, passing over vertices within kPixelTolerance of the last one passed on (a
/// path's last vertex is always passed on); close() after each path.
template <typename MoveTo, typename LineTo, typename Close>
void traceDevice(const MapView& view, const FlatShapes& shapes, std::size_t i, MoveTo moveTo,
                 LineTo lineTo, Close close) {
    forEachPath(shapes, i, [&](std::size_t first, std::size_t last) {
        double lastX = view.x(shapes.x[first]), lastY = view.y(shapes.y[first]);
        moveTo(lastX, lastY);
        for (std::size_t v = first + 1; v < last; ++v) {
            const double x = view.x(shapes.x[v]), y = view.y(shapes.y[v]);
            if (v + 1 == last || std::abs(x - lastX) >= kPixelTolerance ||
                std::abs(y - lastY) >= kPixelTolerance) {
                lineTo(x, y);
                lastX = x, lastY = y;
            }
        }
        close();
    });
}

/// Traces a line or area feature onto the current path.
void traceShape(cairo_t* cr, const MapView& view, const FlatShapes& shapes, std::size_t i) {
    const ShapeType kind = shapes.features[i].kind;
    if (kind != ShapeType::Polyline && kind != ShapeType::Polygon) return;
    traceDevice(
        view, shapes, i, [cr](double x, double y) { cairo_move_to(cr, x, y); },
        [cr](double x, double y) { cairo_line_to(cr, x, y); },
        [cr, kind] {
            if (kind == ShapeType::Polygon) cairo_close_path(cr);
        });
}

/// Thin solid lines drawn straight into an image by an antialiased line rasterizer (Xiaolin
/// Wu's). cairo 1.16 has no hairline mode, and its general stroker and scan converter spent two
/// seconds on a layer of 100,000 short lines at 2000 x 2000, most of a map's time; this takes a
/// few milliseconds. Each pixel keeps the largest coverage any line of the layer gives it, as
/// one stroke of the whole layer would, and the layer is then blended in once, the coverage
/// scaled by the line's width.
class Hairlines {
public:
    Hairlines(cairo_surface_t* image, const Box& clip)
        : image_(image),
          left_(std::max(0, static_cast<int>(std::floor(clip.left)))),
          top_(std::max(0, static_cast<int>(std::floor(clip.top)))),
          right_(std::min(cairo_image_surface_get_width(image),
                          static_cast<int>(std::ceil(clip.right)))),
          bottom_(std::min(cairo_image_surface_get_height(image),
                           static_cast<int>(std::ceil(clip.bottom)))),
          coverage_(static_cast<std::size_t>(std::max(0, right_ - left_)) *
                        static_cast<std::size_t>(std::max(0, bottom_ - top_)),
                    0) {}

    void line(double x0, double y0, double x1, double y1) {
        if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
            return;
        // Pixel centres lie at half-integer device coordinates.
        x0 -= 0.5, y0 -= 0.5, x1 -= 0.5, y1 -= 0.5;
        const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
        if (steep) std::swap(x0, y0), std::swap(x1, y1);
        if (x0 > x1) std::swap(x0, x1), std::swap(y0, y1);
        const double gradient = x1 > x0 ? (y1 - y0) / (x1 - x0) : 0;
        // Only the columns (rows when steep) inside the clip are walked.
        const double low = steep ? top_ : left_, high = (steep ? bottom_ : right_) - 1;
        const long first = std::lround(std::max(x0, low - 1)),
                   last = std::lround(std::min(x1, high + 1));
        for (long u = first; u <= last; ++u) {
            const double v = y0 + gradient * (static_cast<double>(u) - x0);
            const double base = std::floor(v), f = v - base;
            plot(steep, u, static_cast<long>(base), 1 - f);
            plot(steep, u, static_cast<long>(base) + 1, f);
        }
    }

    void paint(Rgb colour, double width) {
        const double opacity = std::clamp(width, 0.0, 1.0);
        cairo_surface_flush(image_);
        unsigned char* data = cairo_image_surface_get_data(image_);
        const int stride = cairo_image_surface_get_stride(image_);
        const int columns = right_ - left_;
        auto blend = [](std::uint32_t pixel, int shift, double channel, double a) {
            const double old = static_cast<double>((pixel >> shift) & 0xff);
            // Rounded by adding a half: the value is never negative.
            return static_cast<std::uint32_t>(old + (channel * 255 - old) * a + 0.5) << shift;
        };
        for (int row = top_; row < bottom_; ++row) {
            auto* pixels = reinterpret_cast<std::uint32_t*>(data + row * stride);
            const std::uint8_t* cover =
                coverage_.data() + static_cast<std::size_t>(row - top_) * columns;
            for (int col = left_; col < right_; ++col) {
                // Most of a map is blank: eight uncovered pixels are passed over at once.
                if (col + 8 <= right_ && eightBlank(cover + (col - left_))) {
                    col += 7;
                    continue;
                }
                if (cover[col - left_] == 0) continue;
                const double a = cover[col - left_] * opacity / 255;
                const std::uint32_t p = pixels[col];
                pixels[col] = (p & 0xff000000u) | blend(p, 16, colour.r, a) |
                              blend(p, 8, colour.g, a) | blend(p, 0, colour.b, a);
            }
        }
        cairo_surface_mark_dirty(image_);
    }

private:
    static bool eightBlank(const std::uint8_t* cover) {
        std::uint64_t eight;
        std::memcpy(&eight, cover, sizeof eight);
        return eight == 0;
    }

    void plot(bool steep, long u, long v, double c) {
        const long x = steep ? v : u, y = steep ? u : v;
        if (x < left_ || x >= right_ || y < top_ || y >= bottom_) return;
        std::uint8_t& cell =
            coverage_[static_cast<std::size_t>(y - top_) * (right_ - left_) + (x - left_)];
        // Rounded by adding a half: the coverage is never negative.
        cell = std::max(cell, static_cast<std::uint8_t>(c * 255 + 0.5));
    }

    cairo_surface_t* image_;
    int left_, top_, right_, bottom_;
    /// Coverage in 255ths: a quarter of the memory of floats, which the lines of a large map
    /// hit at random.
    std::vector<std::uint8_t> coverage_;
};

/// Whether the layer's unselected lines go to Hairlines: a dense layer of thin solid lines
/// drawn into an image.
bool drawnAsHairlines(cairo_t* cr, const DrawnLayer& layer) {
    return layer.shapes.vertexCount() > kDenseVertices && !layer.style.filled &&
           layer.style.dash.empty() && layer.style.width <= 1 && !isPointShape(layer.shape) &&
           cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE;
}

void drawHairlines(cairo_t* cr, const MapView& view, const DrawnLayer& layer) {
    Hairlines lines(cairo_get_target(cr), view.frame);
    double lastX = 0, lastY = 0;
    auto moveTo = [&](double x, double y) { lastX = x, lastY = y; };
    auto lineTo = [&](double x, double y) {
        lines.line(lastX, lastY, x, y);
        lastX = x, lastY = y;
    };
    const FlatShapes& shapes = layer.shapes;
    for (std::size_t i = 0; i < shapes.features.size(); ++i)
        if (!layer.selected[i] && shapes.features[i].kind == ShapeType::Polyline)
            traceDevice(view, shapes, i, moveTo, lineTo, [] {});
    lines.paint(layer.style.stroke, layer.style.width);
}

void drawMarkers(cairo_t* cr, const MapView& view, const FlatShapes& shapes, std::size_t i,
                 const Style& style) {
    forEachPath(shapes, i, [&](std::size_t first, std::size_t last) {
        for (std::size_t v = first; v < last; ++v)
            drawMarker(cr, view.x(shapes.x[v]), view.y(shapes.y[v]), kMarkerRadius, style);
    });
}

Style highlighted(Style style) {
    style.stroke = kHighlight;
    style.fill = kHighlight;
    style.width += 2;
    return style;
}

void drawFeatures(cairo_t* cr, const MapView& view, const DrawnLayer& layer, bool selected) {
    if (!selected && drawnAsHairlines(cr, layer)) return drawHairlines(cr, view, layer);
    const Style style = selected ? highlighted(layer.style) : layer.style;
    const FlatShapes& shapes = layer.shapes;
    for (std::size_t i = 0; i < shapes.features.size(); ++i) {
        if (static_cast<bool>(layer.selected[i]) != selected) continue;
        if (isPointShape(shapes.features[i].kind)) {
            drawMarkers(cr, view, shapes, i, style);
        } else {
            traceShape(cr, view, shapes, i);
            // Areas are painted one by one so that neighbours do not cut holes in each other;
            // the lines of a layer go into one stroke, which is far faster.
            if (style.filled) paintPath(cr, style);
        }
    }
    if (style.filled) return;
    cairo_save(cr);
    setStroke(cr, style);
    if (layer.shapes.vertexCount() > kDenseVertices) {
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_FAST);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void drawStationLabels(cairo_t* cr, const MapView& view, const DrawnLayer& layer) {
    const FlatShapes& shapes = layer.shapes;
    for (std::size_t i = 0; i < shapes.features.size(); ++i) {
        const auto label = layer.labels.find(shapes.features[i].oid);
        if (label == layer.labels.end()) continue;
        // The label goes beside the shape's last vertex.
        const std::size_t end = shapes.pathStarts[shapes.firstPathOf(i + 1)] - 1;
        drawText(cr, view.x(shapes.x[end]) + 4, view.y(shapes.y[end]) - 4, label->second,
                 kLabelSize - 1, Anchor::Start, layer.style.stroke);
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

namespace {

/// Whether the layer's name holds the word, in any case: users prefix and suffix the names a
/// dialog proposes ("SurveyCrossSections", "Thalweg_2019", "centerline_segments").
bool nameHolds(const std::string& name, std::string_view word) {
    const auto it = std::search(name.begin(), name.end(), word.begin(), word.end(),
                                [](char a, char b) {
                                    return std::tolower(static_cast<unsigned char>(a)) ==
                                           std::tolower(static_cast<unsigned char>(b));
                                });
    return it != name.end();
}

}  // namespace

bool isCrossSectionLayer(const std::string& name) { return nameHolds(name, "section"); }

Style roleStyle(const std::string& name, ShapeType shape) {
    if (shape == ShapeType::Polygon && nameHolds(name, "boundary"))
        return areaStyle({0.45, 0.55, 0.65}, 1, {0.86, 0.93, 0.98});
    if (isPointShape(shape)) return areaStyle({0.2, 0.2, 0.2}, 0.8, {1, 0.6, 0});
    if (shape == ShapeType::Polygon) return areaStyle({0.4, 0.4, 0.4}, 1, {0.9, 0.9, 0.88});
    // Segments before the line they split: "CenterlineSegments" is drawn thin, not dashed.
    if (nameHolds(name, "segment")) return lineStyle({0.55, 0.55, 0.55}, 0.7);
    if (nameHolds(name, "thalweg")) return lineStyle({0, 0.25, 0.85}, 3);
    if (isCrossSectionLayer(name)) return lineStyle({0.85, 0.1, 0.1}, 1.5);
    if (nameHolds(name, "profile") || nameHolds(name, "waterlevel"))
        return lineStyle({0.1, 0.55, 0.3}, 0.7);
    if (nameHolds(name, "centerline")) return lineStyle({0.3, 0.3, 0.3}, 1.2, {8, 5});
    if (nameHolds(name, "reach")) return lineStyle({0.5, 0.2, 0.6}, 1.5);
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

namespace {

Extent extentOf(const Envelope& e) { return {e.xMin, e.yMin, e.xMax, e.yMax}; }

/// A raster's surface (bilinear between cell centres), with the lowest and highest cell values
/// as its range.
class RasterSampler : public SurfaceSampler {
public:
    explicit RasterSampler(IRasterLayer& layer)
        : raster_(layer.raster()), surface_(surfaceUtil::GetSurfaceFromLayer(&layer)) {
        readRange();
    }
    double elevation(double x, double y) const override { return surface_->elevation(x, y); }
    Extent extent() const override { return extentOf(raster_->extent()); }
    double lowest() const override { return lowest_; }
    double highest() const override { return highest_; }

private:
    /// The cells' range, read a row of cells at a time; cells without data play no part.
    void readRange() {
        IRasterBand& band = raster_->band(0);
        const std::optional<double> noData = band.noData();
        for (int row = 0; row < raster_->rows(); ++row)
            for (double v : band.readBlock(0, row, raster_->columns(), 1)) {
                if (std::isnan(v) || (noData && v == *noData)) continue;
                lowest_ = std::min(lowest_, v);
                highest_ = std::max(highest_, v);
            }
    }

    RasterDatasetPtr raster_;
    std::shared_ptr<ISurface> surface_;
    double lowest_ = INFINITY, highest_ = -INFINITY;
};

class TinSampler : public SurfaceSampler {
public:
    explicit TinSampler(TinPtr tin) : tin_(std::move(tin)) {}
    double elevation(double x, double y) const override { return tin_->elevation(x, y); }
    Extent extent() const override { return extentOf(tin_->extent()); }
    double lowest() const override { return tin_->lowestElevation(); }
    double highest() const override { return tin_->highestElevation(); }

private:
    TinPtr tin_;
};

/// A surface without a single value, or without an extent, has nothing to shade.
std::unique_ptr<SurfaceSampler> shadeable(std::unique_ptr<SurfaceSampler> sampler) {
    const Extent e = sampler->extent();
    if (!(sampler->lowest() <= sampler->highest()) || !(e.xmin <= e.xmax && e.ymin <= e.ymax))
        return nullptr;
    return sampler;
}

}  // namespace

std::unique_ptr<SurfaceSampler> surfaceSampler(ILayer& layer) {
    if (IRasterLayer* raster = layer.asRasterLayer())
        return shadeable(std::make_unique<RasterSampler>(*raster));
    if (ITinLayer* tin = layer.asTinLayer())
        return shadeable(std::make_unique<TinSampler>(tin->tin()));
    return nullptr;
}

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
