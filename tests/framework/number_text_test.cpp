#include "framework/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace ondu {
namespace {

TEST(PlainText, IsTheShortestDecimalWithoutExponentOrGrouping) {
    EXPECT_EQ(plain(0), "0");
    EXPECT_EQ(plain(-0.0), "0");
    EXPECT_EQ(plain(25), "25");
    EXPECT_EQ(plain(-2.5), "-2.5");
    EXPECT_EQ(plain(0.1 + 0.2), "0.3");  // 17 digits cut to 15
    EXPECT_EQ(plain(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(plain(1e21), "1000000000000000000000");
    EXPECT_EQ(plain(1e-7), "0.0000001");
    EXPECT_EQ(plain(std::numeric_limits<double>::infinity()), "inf");
}

TEST(PlainText, ReadsBackAsTheSameValue) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-1e6, 1e6);
    std::uniform_int_distribution<int> exponent(-12, 12);
    for (int i = 0; i < 20000; ++i) {
        const double value =
            *parseNumber(plain(mantissa(random) * std::pow(10.0, exponent(random))));
        ASSERT_EQ(parseNumber(plain(value)), value) << plain(value);
    }
}

TEST(FixedText, RoundsTheDecimalTheUserSeesHalvesAwayFromZero) {
    EXPECT_EQ(F3(99.9995), "100.000");  // the double lies just below the half
    EXPECT_EQ(F3(1.0005), "1.001");     // here too
    EXPECT_EQ(F3(0.0005), "0.001");
    EXPECT_EQ(F3(-0.0005), "-0.001");
    EXPECT_EQ(F3(0.00049), "0.000");
    EXPECT_EQ(fixed(2.5, 0), "3");
    EXPECT_EQ(fixed(-2.5, 0), "-3");
    EXPECT_EQ(fixed(9.96, 1), "10.0");
    EXPECT_EQ(F6(12.5), "12.500000");
    EXPECT_EQ(F6(0.1234565), "0.123457");
    EXPECT_EQ(F3(1e20), "100000000000000000000.000");
}

TEST(FixedText, ZeroCarriesNoSign) {
    EXPECT_EQ(F3(-0.0), "0.000");
    EXPECT_EQ(F3(-0.0004), "0.000");
    EXPECT_EQ(fixed(-0.4, 0), "0");
}

TEST(RightAlignedText, PadsOnTheLeftAndNeverCuts) {
    EXPECT_EQ(R8("2.500"), "   2.500");
    EXPECT_EQ(R16("Butte"), "           Butte");
    EXPECT_EQ(R8("1234.567"), "1234.567");  // exactly fills the field
    EXPECT_EQ(R8("10234.567"), "10234.567");
}

TEST(FixedTextWithinWidth, DropsDecimalsOnlyWhenTheFieldIsTooNarrow) {
    EXPECT_EQ(fixedWithin(-234.5675, 3, 8), "-234.568");
    EXPECT_EQ(fixedWithin(10234.5678, 3, 8), "10234.57");
    EXPECT_EQ(fixedWithin(9999.9996, 3, 8), "10000.00");  // the carry widens the text
    EXPECT_EQ(fixedWithin(12345678.4, 3, 8), "12345678");
    EXPECT_EQ(fixedWithin(123456789, 3, 8), std::nullopt);
}

TEST(NumberParsing, AcceptsWhatAUserTypes) {
    EXPECT_EQ(parseNumber("12.5"), 12.5);
    EXPECT_EQ(parseNumber("  -3 \t"), -3);
    EXPECT_EQ(parseNumber("+.5"), 0.5);
    EXPECT_EQ(parseNumber("5."), 5);
    EXPECT_EQ(parseNumber("-2E+4"), -20000);
}

TEST(NumberParsing, RejectsEverythingElse) {
    for (const char* text : {"", "   ", "-", ".", "1,5", "1 000", "12abc", "--1", "+-1", "1e",
                             "0x10", "inf", "-nan", "1e400"}) {
        EXPECT_EQ(parseNumber(text), std::nullopt) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace ondu
