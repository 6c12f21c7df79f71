#pragma once
// A map of a map document's layers: each channel-model role in its own style, selected features
// highlighted, coordinates around the frame, a scale bar, a north arrow and a legend. X and Y
// share one scale, so shapes keep their proportions.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/host_operations.h"
#include "framework/pictures/drawing.h"

namespace ondu::pictures {

struct Extent {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    double width() const { return xmax - xmin; }
    double height() const { return ymax - ymin; }
};

struct MapPictureOptions {
    std::vector<std::string> layers;  ///< layer names to draw; empty for every layer
    int width = 1200;
    int height = 900;
    std::optional<Extent> extent;  ///< the part of the map to show; the layers' extent if unset
};

/// Where map coordinates fall in a picture: the frame and the map extent that fills it at one
/// scale for X and Y.
struct MapView {
    Box frame;
    Extent extent;
    double pixelsPerUnit = 1;
    double x(double mapX) const { return frame.left + (mapX - extent.xmin) * pixelsPerUnit; }
    double y(double mapY) const { return frame.bottom - (mapY - extent.ymin) * pixelsPerUnit; }
};

/// The view that shows at least `wanted`, centred in `frame`, at one scale for X and Y: the
/// extent grows along the axis where the frame has room to spare. A wanted extent of zero width
/// or height (one point, a straight line) is widened to stay drawable.
MapView fitView(const Box& frame, Extent wanted);

/// The first layer of the map with exactly that name; nullptr when none has it.
ILayer* layerNamed(IMap& map, const std::string& name);

/// A coordinate system's name and the name of its linear unit ("metre"); both empty when the
/// class has none or is not stored through OGR.
struct SpatialReference {
    std::string name;
    std::string unit;
};
SpatialReference spatialReferenceOf(IFeatureClass* cls);

/// The style of a layer: by the channel-model role its name tells (any case, with prefixes and
/// suffixes: "SurveyCrossSections" is drawn as cross-sections), else by its shape.
Style roleStyle(const std::string& layerName, ShapeType shape);

/// Whether the layer's name marks it as cross-sections, which are labelled with their station.
bool isCrossSectionLayer(const std::string& layerName);

/// The elevation of a surface at map coordinates, for shading rasters and TINs.
class SurfaceSampler {
public:
    virtual ~SurfaceSampler() = default;
    /// NaN where the surface has no value.
    virtual double elevation(double x, double y) const = 0;
    virtual Extent extent() const = 0;
    virtual double lowest() const = 0;
    virtual double highest() const = 0;
};

/// The sampler of a raster layer (band 0, bilinear between cell centres, its range the lowest
/// and highest cell with data) or a TIN layer (its lowest and highest vertex). Nothing for
/// other layers and for surfaces without a single value. Throws HostError when the layer's
/// data source cannot be opened.
std::unique_ptr<SurfaceSampler> surfaceSampler(ILayer& layer);

/// Shades the surface inside the view's frame, low elevations blue to high ones brown; the map
/// adds a colour bar beside its legend.
void shadeSurface(cairo_t* cr, const MapView& view, const SurfaceSampler& surface);

/// Draws the map into `path` (.png, .svg or .pdf) and returns where its coordinates fell.
/// Throws RunRefused naming the layer when a named layer is missing, has no data source or no
/// features, and naming the map when it has nothing to draw at all; std::invalid_argument for a
/// bad size, extent or file extension.
MapView renderMap(IMap& map, const MapPictureOptions& options, const std::string& path);

}  // namespace ondu::pictures
