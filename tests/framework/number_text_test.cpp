#include "framework/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

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

TEST(PlainText, EdgesOfTheFifteenDigitCut) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {-0.0, "0"},
        {1e15, "1000000000000000"},
        {1e-8, "0.00000001"},
        {0.1 + 0.7, "0.8"},                      // 16 digits
        {9.999999999999998, "10"},               // the carry adds a digit
        {99999999999999.95, "100000000000000"},  // and reaches the whole part
        {999999999999999.4, "999999999999999"},
        {999999999999999.5, "1000000000000000"},  // a tie held exactly by the double
        {1234567890123.125, "1234567890123.12"},  // exact ties go to the even digit
        {1234567890123.375, "1234567890123.38"},
        {123456789012345680, "123456789012346000"},
        {1.2345678901234567e-8, "0.0000000123456789012346"},
        {2.0 / 3 * 1e14, "66666666666666.7"},
    };
    for (const auto& c : cases) EXPECT_EQ(plain(c.value), c.text) << c.value;
}

/// The value of `value` rounded to 15 significant digits, as the standard library rounds it.
double roundedTo15Digits(double value) {
    char text[40];
    const char* end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14).ptr;
    double rounded = 0;
    std::from_chars(text, end, rounded);
    return rounded;
}

TEST(PlainText, IsTheValueRoundedToFifteenDigitsWithoutExponentOverTheWholeRange) {
    std::mt19937_64 random(5);
    std::uniform_int_distribution<int> decimalExponent(-10, 17);
    for (int i = 0; i < 200000; ++i) {
        // Any bit pattern, and values crowding the range the quick rounding covers.
        const double value = i % 2 ? std::bit_cast<double>(random())
                                   : std::bit_cast<double>(random() >> 12 | 0x3ff0000000000000) *
                                         std::pow(10.0, decimalExponent(random));
        if (!std::isfinite(value)) continue;
        const std::string text = plain(value);
        ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        ASSERT_EQ(parseNumber(text), roundedTo15Digits(value)) << text;
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

/// `fixed` worked out by hand on the `plain` text: its digits cut after `decimals` decimals and
/// raised by one in the last place kept when the first digit cut is 5 or more.
std::string roundedByHand(double value, int decimals) {
    std::string text = plain(value);
    const bool negative = text.front() == '-';
    if (negative) text.erase(0, 1);
    const std::size_t point = std::min(text.find('.'), text.size());
    std::string fraction = point < text.size() ? text.substr(point + 1) : "";
    fraction.resize(std::max<std::size_t>(fraction.size(), decimals + 1), '0');
    // The value in units of the last decimal kept, led by a 0 for a carry to grow into.
    std::string digits = "0" + text.substr(0, point) + fraction.substr(0, decimals);
    if (fraction[decimals] >= '5') {
        std::size_t at = digits.size() - 1;
        for (; digits[at] == '9'; --at) digits[at] = '0';
        ++digits[at];
    }
    const std::size_t wholeSize = digits.size() - decimals;
    const std::size_t firstDigit = std::min(digits.find_first_not_of('0'), wholeSize - 1);
    std::string rounded = digits.substr(firstDigit, wholeSize - firstDigit);
    if (decimals > 0) rounded += "." + digits.substr(wholeSize);
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    return (negative && !zero ? "-" : "") + rounded;
}

TEST(FixedText, AgreesWithRoundingThePlainTextByHand) {
    std::mt19937_64 random(11);
    std::uniform_int_distribution<long long> units(-20'000'000'000, 20'000'000'000);
    std::uniform_int_distribution<int> scale(0, 9);
    std::uniform_int_distribution<int> form(0, 2);
    for (int i = 0; i < 50000; ++i) {
        const double unit = std::pow(10.0, -scale(random));
        const long long count = units(random);
        // Values ending in a 5 are halves one decimal up; quotients carry all 17 digits.
        const int chosen = form(random);
        const double value = chosen == 0   ? (count * 10 + 5) * unit
                             : chosen == 1 ? count / 7.0 * unit
                                           : count * unit;
        for (int decimals : {0, 1, 3, 6}) {
            ASSERT_EQ(fixed(value, decimals), roundedByHand(value, decimals))
                << plain(value) << " to " << decimals << " decimals";
        }
    }
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

TEST(FixedField, IsFixedWithinRightAlignedInTheWholeField) {
    const auto field = [](double value, int decimals, std::size_t width) -> std::string {
        std::string text(width, '#');
        return writeFixedField(text, value, decimals) ? text : "refused";
    };
    EXPECT_EQ(field(2.5, 3, 8), "   2.500");
    EXPECT_EQ(field(-234.5675, 3, 8), "-234.568");
    EXPECT_EQ(field(10234.5678, 3, 8), "10234.57");
    EXPECT_EQ(field(12.5, 6, 16), "       12.500000");
    EXPECT_EQ(field(-0.0004, 3, 8), "   0.000");
    EXPECT_EQ(field(123456789, 3, 8), "refused");
    EXPECT_EQ(field(-std::numeric_limits<double>::infinity(), 3, 8), "    -inf");
    EXPECT_EQ(field(std::numeric_limits<double>::quiet_NaN(), 3, 2), "refused");

    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> value(-2e5, 2e5);
    for (int i = 0; i < 20000; ++i) {
        const double number = value(random);
        const std::optional<std::string> within = fixedWithin(number, 3, 8);
        ASSERT_EQ(field(number, 3, 8), within ? R8(*within) : "refused") << plain(number);
    }
}

TEST(NumberParsing, AcceptsWhatAUserTypes) {
    EXPECT_EQ(parseNumber("12.5"), 12.5);
    EXPECT_EQ(parseNumber("  -3 \t"), -3);
    EXPECT_EQ(parseNumber("+.5"), 0.5);
    EXPECT_EQ(parseNumber("5."), 5);
    EXPECT_EQ(parseNumber("-2E+4"), -20000);
}

TEST(NumberParsing, ReadsPlainDecimalsToTheNearestDouble) {
    const auto nearest = [](const std::string& text) {
        double value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    };
    for (const char* text :
         {"0", "0.000", "5.", ".5", "007.250", "9007199254740991", "9007199254740993",
          "123456789012345678901234567890", "0.0000000000000000000001",
          "0.00000000000000000000001234", "0.30000000000000004", "1.7976931348623157"}) {
        EXPECT_EQ(parseNumber(text), nearest(text)) << text;
    }
    std::mt19937_64 random(3);
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> length(1, 19);
    for (int i = 0; i < 50000; ++i) {
        std::string text(length(random), '0');
        for (char& c : text) c = static_cast<char>('0' + digit(random));
        text.insert(std::uniform_int_distribution<std::size_t>(0, text.size())(random), ".");
        ASSERT_EQ(parseNumber(text), nearest(text)) << text;
        ASSERT_EQ(parseNumber("-" + text), -nearest(text)) << text;
    }
}

TEST(NumberParsing, RejectsEverythingElse) {
    for (const char* text : {"", "   ", "-", ".", "1,5", "1 000", "12abc", "--1", "+-1", "1e",
                             "0x10", "inf", "-nan", "1e400"}) {
        EXPECT_EQ(parseNumber(text), std::nullopt) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace ondu
