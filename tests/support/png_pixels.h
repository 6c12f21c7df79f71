#pragma once
// Reads a PNG the pictures wrote, so that tests check colours where shapes must fall.

#include <string>

#include "framework/pictures/drawing.h"

namespace ondu::test {

class PngPixels {
public:
    /// Throws std::runtime_error when the file is not a readable PNG.
    explicit PngPixels(const std::string& path);
    ~PngPixels();
    PngPixels(const PngPixels&) = delete;
    PngPixels& operator=(const PngPixels&) = delete;

    int width() const;
    int height() const;
    /// The colour of the pixel that holds device point (x, y).
    pictures::Rgb at(double x, double y) const;
    /// Whether the pixel's colour lies within `tolerance` (0..1 per channel) of `colour`.
    bool is(double x, double y, pictures::Rgb colour, double tolerance = 0.02) const;

private:
    cairo_surface_t* image_;
};

}  // namespace ondu::test
