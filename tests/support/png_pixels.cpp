#include "support/png_pixels.h"

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace ondu::test {

PngPixels::PngPixels(const std::string& path)
    : image_(cairo_image_surface_create_from_png(path.c_str())) {
    if (cairo_surface_status(image_) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image_);
        throw std::runtime_error(path + " is not a readable PNG");
    }
    cairo_surface_flush(image_);
}

PngPixels::~PngPixels() { cairo_surface_destroy(image_); }

int PngPixels::width() const { return cairo_image_surface_get_width(image_); }
int PngPixels::height() const { return cairo_image_surface_get_height(image_); }

pictures::Rgb PngPixels::at(double x, double y) const {
    const int col = static_cast<int>(std::floor(x)), row = static_cast<int>(std::floor(y));
    if (col < 0 || row < 0 || col >= width() || row >= height())
        throw std::out_of_range("pixel outside the picture");
    const auto* data = cairo_image_surface_get_data(image_);
    const int stride = cairo_image_surface_get_stride(image_);
    const std::uint32_t pixel =
        *reinterpret_cast<const std::uint32_t*>(data + row * stride + col * 4);
    return {((pixel >> 16) & 0xff) / 255.0, ((pixel >> 8) & 0xff) / 255.0, (pixel & 0xff) / 255.0};
}

bool PngPixels::is(double x, double y, pictures::Rgb colour, double tolerance) const {
    const pictures::Rgb c = at(x, y);
    return std::abs(c.r - colour.r) <= tolerance && std::abs(c.g - colour.g) <= tolerance &&
           std::abs(c.b - colour.b) <= tolerance;
}

}  // namespace ondu::test
