#pragma once
// What the map and the plots share: a drawing surface that writes PNG, SVG or PDF from the same
// drawing calls, colours and line styles, text in the font the drawing library's dependencies
// install, axes with 1-2-5 ticks and a legend.
//
// Device units are pixels for PNG and points for SVG and PDF, so one picture size gives the
// same layout in every format.

#include <string>
#include <vector>

#include "framework/file_commit.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace ondu::pictures {

/// The font of every text: Debian installs it with the drawing library's font configuration.
inline constexpr const char* kFontFamily = "DejaVu Sans";

struct Rgb {
    double r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

/// How a line is stroked and, for areas and markers, filled.
struct Style {
    Rgb stroke;
    double width = 1;
    std::vector<double> dash;  ///< on/off lengths; empty for a solid line
    bool filled = false;
    Rgb fill;
};

/// A line of that colour and width, solid unless a dash is given.
inline Style lineStyle(Rgb colour, double width, std::vector<double> dash = {}) {
    Style s;
    s.stroke = colour;
    s.width = width;
    s.dash = std::move(dash);
    return s;
}
/// An area (or marker) filled with `fill` and outlined with `stroke`.
inline Style areaStyle(Rgb stroke, double width, Rgb fill) {
    Style s = lineStyle(stroke, width);
    s.filled = true;
    s.fill = fill;
    return s;
}

/// The colour of selected features, drawn over everything else.
inline constexpr Rgb kHighlight{0, 1, 1};

enum class PictureFormat { Png, Svg, Pdf };

/// The format named by the file's extension (.png, .svg, .pdf, any case); throws
/// std::invalid_argument naming the file for any other.
PictureFormat formatOf(const std::string& path);

/// A rectangle in device units.
struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
};

/// A drawing surface for one picture file. The file is written under a temporary name and put
/// in place by save(), so a failed picture never leaves a half-written file behind.
class Canvas {
public:
    /// Throws std::invalid_argument for an unknown extension or a size below 1 × 1.
    Canvas(const std::string& path, int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() { return cr_; }
    int width() const { return width_; }
    int height() const { return height_; }
    /// Finishes the picture and puts the file in place; throws HostError when it cannot be
    /// written.
    void save();

private:
    PendingFiles pending_;
    std::string path_;
    std::string temporary_;
    PictureFormat format_;
    int width_, height_;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
};

void setColour(cairo_t* cr, Rgb colour);
/// Sets the stroke colour, width and dash of `style`.
void setStroke(cairo_t* cr, const Style& style);
/// Strokes the current path with `style`, filling it first when the style fills.
void paintPath(cairo_t* cr, const Style& style);
/// A marker (a small circle) centred on the point.
void drawMarker(cairo_t* cr, double x, double y, double radius, const Style& style);

enum class Anchor { Start, Middle, End };

/// Text of `size` device units whose baseline starts, centres or ends at (x, y).
void drawText(cairo_t* cr, double x, double y, const std::string& text, double size,
              Anchor anchor = Anchor::Start, Rgb colour = {});
/// The advance width of the text.
double textWidth(cairo_t* cr, const std::string& text, double size);

/// The 1-2-5 step (1, 2 or 5 times a power of ten) that cuts `span` into at most `maxSteps`
/// steps, the smallest such. A span of zero or less, or a non-finite one, gives 1.
double niceStep(double span, int maxSteps);
/// The multiples of `step` from the first at or above `low` to the last at or below `high`.
std::vector<double> ticksWithin(double low, double high, double step);
/// A tick value written with as many decimals as its step needs (step 0.25 gives "1.50"),
/// never with an exponent, never "-0".
std::string tickLabel(double value, double step);

/// A linear mapping of data values onto device units.
struct Scale {
    double dataLow = 0, dataHigh = 1;
    double deviceLow = 0, deviceHigh = 1;
    double operator()(double v) const {
        return deviceLow + (v - dataLow) * (deviceHigh - deviceLow) / (dataHigh - dataLow);
    }
};

/// One axis of a frame: its range, its tick step and its caption.
struct Axis {
    double low = 0, high = 1;
    double step = 1;
    std::string caption;
};

/// The axis over [low, high] widened to whole 1-2-5 steps, about `steps` of them; a range of
/// zero width is widened by one unit each way first.
Axis niceAxis(double low, double high, int steps, std::string caption);

/// The frame of a plot or a map: its box, the ticks with their labels on the left and bottom
/// edges, light grid lines and the axis captions.
void drawFrame(cairo_t* cr, const Box& box, const Axis& x, const Axis& y);

struct LegendEntry {
    std::string label;
    Style style;
    bool marker = false;  ///< drawn as a marker instead of a line
};

/// A legend box whose top-left corner is at (x, y), one line per entry.
void drawLegend(cairo_t* cr, double x, double y, const std::vector<LegendEntry>& entries);

}  // namespace ondu::pictures
