#include "framework/pictures/drawing.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "framework/error.h"
#include "framework/number_text.h"

namespace ondu::pictures {

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext;
}

cairo_surface_t* createSurface(PictureFormat format, const std::string& path, int w, int h) {
    switch (format) {
        case PictureFormat::Svg:
            return cairo_svg_surface_create(path.c_str(), w, h);
        case PictureFormat::Pdf:
            return cairo_pdf_surface_create(path.c_str(), w, h);
        default:
            return cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    }
}

void checkStatus(cairo_status_t status, const std::string& path) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw HostError("The picture " + path +
                        " could not be written: " + cairo_status_to_string(status));
}

/// Writes an RGB24 image surface as PNG with the fastest compression: the drawing library's own
/// writer compresses hard and spent more time on a large map than drawing it.
void writePng(cairo_surface_t* image, const std::string& temporary, const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(temporary.c_str(), "wb"),
                                                         &std::fclose);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!file || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw HostError("The picture " + path + " could not be written");
    }
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    png_init_io(png, file.get());
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    // Maps are mostly runs of one colour, which compress well unfiltered; choosing a filter per
    // row cost as much as the compression.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    // Pixels are native-endian 32-bit words 0xXXRRGGBB: B, G, R, X in memory here.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int row = 0; row < height; ++row) png_write_row(png, data + row * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0)
        throw HostError("The picture " + path + " could not be written");
}

constexpr double kTickLength = 5;
constexpr double kLabelSize = 11;

}  // namespace

PictureFormat formatOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".png") return PictureFormat::Png;
    if (ext == ".svg") return PictureFormat::Svg;
    if (ext == ".pdf") return PictureFormat::Pdf;
    throw std::invalid_argument(path + ": a picture is written as .png, .svg or .pdf");
}

Canvas::Canvas(const std::string& path, int width, int height)
    : path_(path), format_(formatOf(path)), width_(width), height_(height) {
    if (width < 1 || height < 1)
        throw std::invalid_argument("a picture needs a size of at least 1 x 1");
    temporary_ = pending_.add(path);
    surface_ = createSurface(format_, temporary_, width, height);
    cr_ = cairo_create(surface_);
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        const cairo_status_t status = cairo_status(cr_);
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
        checkStatus(status, path_);
    }
    // An opaque white page: PNG readers and the pixel tests see no transparency.
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_paint(cr_);
    cairo_select_font_face(cr_, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

Canvas::~Canvas() {
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
}

void Canvas::save() {
    checkStatus(cairo_status(cr_), path_);
    if (format_ == PictureFormat::Png) writePng(surface_, temporary_, path_);
    cairo_surface_finish(surface_);
    checkStatus(cairo_surface_status(surface_), path_);
    pending_.commit();
}

void setColour(cairo_t* cr, Rgb colour) { cairo_set_source_rgb(cr, colour.r, colour.g, colour.b); }

void setStroke(cairo_t* cr, const Style& style) {
    setColour(cr, style.stroke);
    cairo_set_line_width(cr, style.width);
    cairo_set_dash(cr, style.dash.data(), static_cast<int>(style.dash.size()), 0);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
}

void paintPath(cairo_t* cr, const Style& style) {
    if (style.filled) {
        setColour(cr, style.fill);
        cairo_fill_preserve(cr);
    }
    setStroke(cr, style);
    cairo_stroke(cr);
}

void drawMarker(cairo_t* cr, double x, double y, double radius, const Style& style) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
    paintPath(cr, style);
}

void drawText(cairo_t* cr, double x, double y, const std::string& text, double size, Anchor anchor,
              Rgb colour) {
    cairo_set_font_size(cr, size);
    double dx = 0;
    if (anchor != Anchor::Start) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        dx = anchor == Anchor::Middle ? extents.x_advance / 2 : extents.x_advance;
    }
    setColour(cr, colour);
    cairo_move_to(cr, x - dx, y);
    cairo_show_text(cr, text.c_str());
    cairo_new_path(cr);
}

double textWidth(cairo_t* cr, const std::string& text, double size) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

double niceStep(double span, int maxSteps) {
    if (!(span > 0) || !std::isfinite(span) || maxSteps < 1) return 1;
    const double raw = span / maxSteps;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        // A relative slack keeps 0.3 / 3 from stepping past 0.1 on a rounding error.
        if (factor * power >= raw * (1 - 1e-9)) return factor * power;
    return 10 * power;
}

std::vector<double> ticksWithin(double low, double high, double step) {
    std::vector<double> ticks;
    const double slack = step * 1e-9;
    for (double k = std::ceil((low - slack) / step); k * step <= high + slack; ++k)
        ticks.push_back(k * step);
    return ticks;
}

std::string tickLabel(double value, double step) {
    // A 1-2-5 step's shortest text has exactly the decimals its ticks need ("0.2", "0.05").
    const std::string stepText = plain(step);
    const auto point = stepText.find('.');
    return fixed(value,
                 point == std::string::npos ? 0 : static_cast<int>(stepText.size() - point - 1));
}

Axis niceAxis(double low, double high, int steps, std::string caption) {
    if (!(high > low)) {
        low -= 1;
        high += 1;
    }
    const double step = niceStep(high - low, steps);
    return {std::floor(low / step + 1e-9) * step, std::ceil(high / step - 1e-9) * step, step,
            std::move(caption)};
}

void drawFrame(cairo_t* cr, const Box& box, const Axis& x, const Axis& y) {
    const Scale sx{x.low, x.high, box.left, box.right};
    const Scale sy{y.low, y.high, box.bottom, box.top};
    cairo_save(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_line_width(cr, 0.5);
    setColour(cr, {0.88, 0.88, 0.88});
    for (double t : ticksWithin(x.low, x.high, x.step)) {
        cairo_move_to(cr, sx(t), box.top);
        cairo_line_to(cr, sx(t), box.bottom);
    }
    for (double t : ticksWithin(y.low, y.high, y.step)) {
        cairo_move_to(cr, box.left, sy(t));
        cairo_line_to(cr, box.right, sy(t));
    }
    cairo_stroke(cr);
    setColour(cr, {});
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, box.left, box.top, box.width(), box.height());
    for (double t : ticksWithin(x.low, x.high, x.step)) {
        cairo_move_to(cr, sx(t), box.bottom);
        cairo_line_to(cr, sx(t), box.bottom + kTickLength);
    }
    for (double t : ticksWithin(y.low, y.high, y.step)) {
        cairo_move_to(cr, box.left, sy(t));
        cairo_line_to(cr, box.left - kTickLength, sy(t));
    }
    cairo_stroke(cr);
    for (double t : ticksWithin(x.low, x.high, x.step))
        drawText(cr, sx(t), box.bottom + kTickLength + kLabelSize + 2, tickLabel(t, x.step),
                 kLabelSize, Anchor::Middle);
    for (double t : ticksWithin(y.low, y.high, y.step))
        drawText(cr, box.left - kTickLength - 3, sy(t) + kLabelSize / 3, tickLabel(t, y.step),
                 kLabelSize, Anchor::End);
    drawText(cr, (box.left + box.right) / 2, box.bottom + kTickLength + 2 * kLabelSize + 10,
             x.caption, kLabelSize + 1, Anchor::Middle);
    cairo_save(cr);
    cairo_translate(cr, box.left - 58, (box.top + box.bottom) / 2);
    cairo_rotate(cr, -M_PI / 2);
    drawText(cr, 0, 0, y.caption, kLabelSize + 1, Anchor::Middle);
    cairo_restore(cr);
    cairo_restore(cr);
}

void drawLegend(cairo_t* cr, double x, double y, const std::vector<LegendEntry>& entries) {
    constexpr double line = 18, swatch = 26, pad = 6;
    double widest = 0;
    for (const auto& e : entries) widest = std::max(widest, textWidth(cr, e.label, kLabelSize));
    cairo_save(cr);
    cairo_rectangle(cr, x, y, swatch + widest + 3 * pad, entries.size() * line + pad);
    paintPath(cr, areaStyle({0.5, 0.5, 0.5}, 0.8, {1, 1, 1}));
    double row = y + pad;
    for (const auto& e : entries) {
        const double mid = row + line / 2 - 2;
        if (e.marker) {
            drawMarker(cr, x + pad + swatch / 2, mid, 3.5, e.style);
        } else if (e.style.filled) {
            cairo_rectangle(cr, x + pad, mid - 5, swatch, 10);
            paintPath(cr, e.style);
        } else {
            cairo_move_to(cr, x + pad, mid);
            cairo_line_to(cr, x + pad + swatch, mid);
            paintPath(cr, e.style);
        }
        drawText(cr, x + 2 * pad + swatch, mid + kLabelSize / 3, e.label, kLabelSize);
        row += line;
    }
    cairo_restore(cr);
}

}  // namespace ondu::pictures
