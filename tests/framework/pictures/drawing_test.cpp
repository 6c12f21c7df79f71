// Ticks a reader can count in (1-2-5 steps, labels without float noise), picture formats by
// extension, and pictures that never leave half-written files.

#include "framework/pictures/drawing.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>

#include "framework/geometry/geometry.h"
#include "support/cli_runner.h"
#include "support/png_pixels.h"

namespace ondu::pictures {
namespace {

bool isOneTwoFive(double step) {
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
    return std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
           std::abs(mantissa - 5) < 1e-9;
}

TEST(NiceStep, IsTheSmallestOneTwoFiveStepThatFits) {
    struct Case {
        double span;
        int maxSteps;
        double step;
    };
    for (const Case& c : {Case{10, 5, 2}, Case{7, 8, 1}, Case{0.3, 3, 0.1}, Case{95, 10, 10},
                          Case{1e6, 4, 5e5}, Case{0.0042, 4, 0.002}, Case{12, 5, 5}}) {
        EXPECT_DOUBLE_EQ(niceStep(c.span, c.maxSteps), c.step) << c.span << " / " << c.maxSteps;
    }
}

TEST(NiceStep, DegenerateSpansGiveOne) {
    for (double span : {0.0, -3.0, kNaN, HUGE_VAL}) EXPECT_EQ(niceStep(span, 5), 1) << span;
}

TEST(NiceAxis, CoversTheDataWithWholeOneTwoFiveSteps) {
    const std::pair<double, double> ranges[] = {{0.13, 9.7},      {-41.2, -3}, {92.04, 97.31},
                                                {1e5, 1.00004e5}, {3, 3},      {-0.001, 0.002}};
    for (auto [low, high] : ranges) {
        const Axis axis = niceAxis(low, high, 6, "");
        EXPECT_LE(axis.low, low);
        EXPECT_GE(axis.high, high);
        EXPECT_LT(axis.low, axis.high);
        EXPECT_TRUE(isOneTwoFive(axis.step)) << axis.step;
        const double steps = (axis.high - axis.low) / axis.step;
        EXPECT_NEAR(steps, std::round(steps), 1e-6);
        EXPECT_LE(std::round(steps), 12) << low << ".." << high;
        EXPECT_NEAR(axis.low / axis.step, std::round(axis.low / axis.step), 1e-6);
    }
}

TEST(TicksWithin, KeepsTheEndsDespiteRoundingErrors) {
    EXPECT_EQ(ticksWithin(0, 0.3, 0.1).size(), 4u);
    EXPECT_EQ(ticksWithin(-0.25, 1.05, 0.5), (std::vector<double>{0, 0.5, 1}));
}

TEST(TickLabel, HasTheDecimalsOfItsStepAndNoNoise) {
    struct Case {
        double value, step;
        const char* text;
    };
    for (const Case& c :
         {Case{1.5, 0.5, "1.5"}, Case{0.1 + 0.2, 0.1, "0.3"}, Case{1000, 500, "1000"},
          Case{0.05, 0.05, "0.05"}, Case{-1e-12, 0.2, "0.0"}, Case{4000000, 2e6, "4000000"}})
        EXPECT_EQ(tickLabel(c.value, c.step), c.text);
}

TEST(FormatOf, FollowsTheExtensionInAnyCase) {
    EXPECT_EQ(formatOf("a/map.png"), PictureFormat::Png);
    EXPECT_EQ(formatOf("map.SVG"), PictureFormat::Svg);
    EXPECT_EQ(formatOf("map.Pdf"), PictureFormat::Pdf);
    for (const char* bad : {"map.jpg", "map", "png"})
        EXPECT_THROW(formatOf(bad), std::invalid_argument);
}

TEST(Canvas, AnUnsavedPictureLeavesTheOldFileAlone) {
    test::TempDir dir;
    const std::string path = dir.file("map.png");
    test::writeFile(path, "old");
    {
        Canvas canvas(path, 50, 40);
        drawText(canvas.cr(), 5, 20, "half done", 10);
    }
    EXPECT_EQ(test::readFile(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(Canvas, PngHoldsEveryPixelExactly) {
    // Noise does not compress, so the halves compressed apart span many output buffers; an odd
    // height splits them unevenly, and one row leaves the upper half empty.
    test::TempDir dir;
    std::mt19937 random(3);
    for (auto [w, h] : {std::pair{301, 157}, std::pair{1, 1}, std::pair{4, 1}}) {
        const std::string path = dir.file("noise.png");
        std::vector<std::uint32_t> written;
        {
            Canvas canvas(path, w, h);
            cairo_surface_t* image = cairo_get_target(canvas.cr());
            cairo_surface_flush(image);
            unsigned char* data = cairo_image_surface_get_data(image);
            const int stride = cairo_image_surface_get_stride(image);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    written.push_back(random() & 0xffffffu);
                    reinterpret_cast<std::uint32_t*>(data + y * stride)[x] = written.back();
                }
            cairo_surface_mark_dirty(image);
            canvas.save();
        }
        test::PngPixels pixels(path);
        ASSERT_EQ(pixels.width(), w);
        ASSERT_EQ(pixels.height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t p = written[y * w + x];
                const Rgb expected{(p >> 16 & 0xff) / 255.0, (p >> 8 & 0xff) / 255.0,
                                   (p & 0xff) / 255.0};
                ASSERT_TRUE(pixels.is(x + 0.5, y + 0.5, expected, 1e-9)) << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace ondu::pictures
