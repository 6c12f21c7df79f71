#include "framework/pictures/drawing.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <future>
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

/// One band of an image's rows deflated on its own: raw deflate data that ends on a byte
/// boundary (or ends the stream, for the last band), with the Adler-32 checksum and length of
/// the scanlines it holds.
struct DeflatedBand {
    std::vector<unsigned char> data;
    uLong adler = adler32(0, nullptr, 0);
    uLong length = 0;
};

/// The rows [first, last) of an RGB24 image as PNG scanlines (filter type None, then R, G, B per
/// pixel), deflated at the fastest level. Maps are mostly runs of one colour, which compress well
/// unfiltered; choosing a filter per row cost as much as the compression.
DeflatedBand deflateRows(cairo_surface_t* image, int first, int last, bool endsStream) {
    const int width = cairo_image_surface_get_width(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    DeflatedBand band;
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    std::vector<unsigned char> scanline(1 + 3 * static_cast<std::size_t>(width));
    auto deflateAll = [&](int flush) {
        do {
            const std::size_t done = band.data.size();
            band.data.resize(done + 65536);
            z.next_out = band.data.data() + done;
            z.avail_out = 65536;
            deflate(&z, flush);
            band.data.resize(band.data.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (int row = first; row < last; ++row) {
        // Pixels are native 32-bit words 0xXXRRGGBB.
        const auto* pixels = reinterpret_cast<const std::uint32_t*>(data + row * stride);
        for (int col = 0; col < width; ++col) {
            scanline[1 + 3 * col] = static_cast<unsigned char>(pixels[col] >> 16);
            scanline[2 + 3 * col] = static_cast<unsigned char>(pixels[col] >> 8);
            scanline[3 + 3 * col] = static_cast<unsigned char>(pixels[col]);
        }
        band.adler = adler32(band.adler, scanline.data(), static_cast<uInt>(scanline.size()));
        band.length += scanline.size();
        z.next_in = scanline.data();
        z.avail_in = static_cast<uInt>(scanline.size());
        deflateAll(Z_NO_FLUSH);
    }
    // A full flush ends the band on a byte boundary with no reference to earlier data, so the
    // next band's deflate data may follow it directly.
    deflateAll(endsStream ? Z_FINISH : Z_FULL_FLUSH);
    deflateEnd(&z);
    return band;
}

void appendBigEndian(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

/// A PNG chunk: length, type, data and the CRC of type and data.
void writeChunk(std::FILE* file, const char* type, const std::vector<unsigned char>& data) {
    std::vector<unsigned char> chunk;
    appendBigEndian(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    appendBigEndian(chunk, static_cast<std::uint32_t>(
                               crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4))));
    std::fwrite(chunk.data(), 1, chunk.size(), file);
}

/// Writes an RGB24 image surface as an 8-bit RGB PNG with the fastest compression, the upper and
/// lower halves of the image deflated on two threads and joined into one zlib stream. The drawing
/// library's own writer compresses hard on one thread and spent more time on a large map than
/// drawing it; libpng compresses on one thread only.
void writePng(cairo_surface_t* image, const std::string& temporary, const std::string& path) {
    cairo_surface_flush(image);
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    const int middle = height / 2;
    auto upper = std::async(std::launch::async, deflateRows, image, 0, middle, false);
    const DeflatedBand lower = deflateRows(image, middle, height, true);
    const DeflatedBand top = upper.get();

    std::vector<unsigned char> header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    // Bit depth 8, colour type RGB, deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 2, 0, 0, 0});
    // A zlib stream: its header (deflate, 32K window, fastest), both bands, the checksum.
    std::vector<unsigned char> stream{0x78, 0x01};
    stream.insert(stream.end(), top.data.begin(), top.data.end());
    stream.insert(stream.end(), lower.data.begin(), lower.data.end());
    appendBigEndian(
        stream, static_cast<std::uint32_t>(adler32_combine(top.adler, lower.adler, lower.length)));

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(temporary.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) throw HostError("The picture " + path + " could not be written");
    constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::fwrite(kSignature, 1, sizeof kSignature, file.get());
    writeChunk(file.get(), "IHDR", header);
    writeChunk(file.get(), "IDAT", stream);
    writeChunk(file.get(), "IEND", {});
    if (std::ferror(file.get()) || std::fflush(file.get()) != 0)
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
