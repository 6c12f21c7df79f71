#include "framework/number_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <system_error>

namespace ondu {

namespace {

constexpr int kSignificantDigits = 15;

/// The powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMostExactDecimals = static_cast<int>(std::size(kExactPowersOfTen)) - 1;

/// A finite value as a decimal: value = 0.d1d2...dn x 10^point, the digits without leading or
/// trailing zeros. Zero has no digits.
struct Decimal {
    bool negative = false;
    char digits[kSignificantDigits + 2] = {};  // room for a carry out of the first digit
    int count = 0;
    int point = 0;

    bool isZero() const { return count == 0; }
};

/// The most digits a shortest round-trip text of a double has.
constexpr int kShortestDigits = 17;
static_assert(sizeof Decimal{}.digits >= kShortestDigits);

/// Reads scientific text ("-d.ddde+XX") into `decimal`. False when it has more than `limit`
/// digits.
bool readScientific(const char* text, Decimal& decimal, int limit = kSignificantDigits) {
    decimal = Decimal{};
    decimal.negative = *text == '-';
    if (decimal.negative) ++text;
    for (; *text != 'e'; ++text) {
        if (*text == '.') continue;
        if (decimal.count == limit) return false;
        decimal.digits[decimal.count++] = *text;
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
    const bool negativeExponent = *++text == '-';
    int exponent = 0;
    while (*++text != '\0') exponent = exponent * 10 + (*text - '0');
    decimal.point = (negativeExponent ? -exponent : exponent) + 1;
    return true;
}

void roundToDecimals(Decimal& decimal, int decimals);

/// Sets `decimal` to the whole number `magnitude` / 10^decimals.
void setScaledWholeNumber(Decimal& decimal, bool negative, std::uint64_t magnitude, int decimals) {
    decimal.negative = negative;
    decimal.count = static_cast<int>(
        std::to_chars(decimal.digits, decimal.digits + sizeof decimal.digits, magnitude).ptr -
        decimal.digits);
    decimal.point = decimal.count - decimals;
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
}

/// The whole numbers of 15 digits.
constexpr std::uint64_t kSmallestOf15Digits = 100'000'000'000'000;
constexpr std::uint64_t kLargestOf15Digits = 999'999'999'999'999;

/// `magnitude` x 10^scale rounded to the nearest whole number, computed exactly: the product's
/// rounding error is recovered with a fused multiply-add, so the rounding direction is that of the
/// exact product. Nothing for a scale whose power of ten a double does not hold exactly, a product
/// of 2^53 or more, and an exact tie (rare: left to the conversion that settles ties).
std::optional<std::uint64_t> roundedProduct(double magnitude, int scale) {
    constexpr double kLargestExactWhole = 9007199254740992.0;  // 2^53
    if (scale < 0 || scale > kMostExactDecimals) return std::nullopt;
    const double power = kExactPowersOfTen[scale];
    const double product = magnitude * power;
    if (!(product < kLargestExactWhole)) return std::nullopt;
    const double error = std::fma(magnitude, power, -product);  // product + error is exact
    const auto whole = static_cast<std::uint64_t>(product);
    const double aboveHalf = product - static_cast<double>(whole) - 0.5;  // exact below 2^53
    if (aboveHalf == -error) return std::nullopt;
    return whole + (aboveHalf > -error ? 1 : 0);
}

/// A decimal of 15 significant digits: digits x 10^-scale.
struct FifteenDigits {
    std::uint64_t digits;
    int scale;
};

/// The quick way to `toDecimal` for most values: a value's text of at most 15 significant digits
/// is its nearest decimal of 15 significant digits (two such decimals never read back as the same
/// double), and when the shortest text is longer, cutting it to 15 digits gives that nearest
/// decimal too. So rounding the exact value to 15 significant digits is enough, done in whole
/// numbers where the powers of ten are exact (1e-8 to 1e15). Nothing where it cannot tell, and
/// for zero.
std::optional<FifteenDigits> roundedToFifteenDigits(double magnitude) {
    if (magnitude == 0) return std::nullopt;
    // 2^e <= magnitude, and floor(e log10(2)) (78913 / 2^18 is log10(2) close enough for any
    // double's e) is the decimal exponent or one below it.
    const int binaryExponent =
        static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> 52) & 0x7ff) - 1023;
    int decimalExponent = (binaryExponent * 78913) >> 18;
    for (int attempt = 0; attempt < 2; ++attempt, ++decimalExponent) {
        const int scale = kSignificantDigits - 1 - decimalExponent;
        const std::optional<std::uint64_t> digits = roundedProduct(magnitude, scale);
        if (!digits || *digits < kSmallestOf15Digits) return std::nullopt;
        if (*digits > kLargestOf15Digits) continue;  // one decimal exponent up, or a carry
        return FifteenDigits{*digits, scale};
    }
    return std::nullopt;
}

/// Writes `digits` x 10^-scale (scale 0 to 22, no trailing zero in `digits` when scale is
/// above 0) in plain form at `out`, which has room for a point and 22 leading zeros more than the
/// digits; answers the end.
char* writeScaled(char* out, std::uint64_t digits, int scale) {
    char* end = std::to_chars(out, out + kLongestPlainText, digits).ptr;
    const int count = static_cast<int>(end - out);
    if (scale == 0) return end;
    if (count > scale) {
        // The last `scale` digits move one place on for the point.
        std::copy_backward(end - scale, end, end + 1);
        end[-scale] = '.';
        return end + 1;
    }
    const int zeros = scale - count;
    std::copy_backward(out, end, end + 2 + zeros);
    std::fill_n(std::copy_n("0.", 2, out), zeros, '0');
    return end + 2 + zeros;
}

/// The shortest decimal that reads back as `value`, or its 15 significant digits when the
/// shortest needs more.
///
/// Cutting 16 or 17 shortest digits to 15 rounds as cutting the value itself would, but for a
/// 16-digit shortest ending in 5 (a tie in its digits): a 15-digit rounding boundary has 16
/// digits, and none lies strictly between a value and its shortest text (it would read back as
/// the value too, and be the shortest or a closer one). Only the ties need the value's own
/// digits, which a second, much slower conversion gives.
Decimal toDecimal(double value) {
    constexpr auto kScientific = std::chars_format::scientific;
    char text[40];
    Decimal decimal;
    if (value == 0) return decimal;
    if (const auto rounded = roundedToFifteenDigits(std::fabs(value))) {
        setScaledWholeNumber(decimal, std::signbit(value), rounded->digits, rounded->scale);
        return decimal;
    }
    *std::to_chars(text, text + sizeof text - 1, value, kScientific).ptr = '\0';
    readScientific(text, decimal, kShortestDigits);
    if (decimal.count <= kSignificantDigits) return decimal;
    if (decimal.count == kSignificantDigits + 1 && decimal.digits[kSignificantDigits] == '5') {
        *std::to_chars(text, text + sizeof text - 1, value, kScientific, kSignificantDigits - 1)
             .ptr = '\0';
        readScientific(text, decimal);
        return decimal;
    }
    roundToDecimals(decimal, kSignificantDigits - decimal.point);
    return decimal;
}

/// Rounds to `decimals` decimals, halves away from zero: only the magnitude's digits change, so
/// "away from zero" is simply "a first dropped digit of 5 or more rounds up".
void roundToDecimals(Decimal& decimal, int decimals) {
    const int keep = decimal.point + decimals;
    if (keep >= decimal.count) return;
    if (keep < 0) {
        decimal.count = 0;
        return;
    }
    const bool roundUp = decimal.digits[keep] >= '5';
    decimal.count = keep;
    if (!roundUp) {
        while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
        return;
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '9') --decimal.count;
    if (decimal.count > 0) {
        ++decimal.digits[decimal.count - 1];
        return;
    }
    // Every kept digit was a 9 (or none was kept): the carry becomes a new first digit.
    decimal.digits[0] = '1';
    decimal.count = 1;
    ++decimal.point;
}

/// A decimal to be written with a given number of decimals; digits beyond its own are zeros.
struct DecimalText {
    Decimal decimal;
    int decimals = 0;

    bool hasSign() const { return decimal.negative && !decimal.isZero(); }
    std::size_t size() const {
        return hasSign() + std::max(decimal.point, 1) + (decimals > 0 ? 1 + decimals : 0);
    }
};

/// Writes `text`, exactly `text.size()` characters, at `out`: numbers are formatted by the
/// million in large files, so no form of them builds a string on the way.
void writeDecimalText(char* out, const DecimalText& text) {
    const Decimal& decimal = text.decimal;
    const char* digits = decimal.digits;
    if (text.hasSign()) *out++ = '-';
    // Whole part: the digits before the point, zeros after the last digit; "0" when none.
    const int wholeDigits = std::clamp(decimal.point, 0, decimal.count);
    out = std::copy(digits, digits + wholeDigits, out);
    out = std::fill_n(out, decimal.point > 0 ? decimal.point - wholeDigits : 1, '0');
    if (text.decimals == 0) return;
    // Decimals: zeros before the first digit, the digits kept, zeros up to their number.
    *out++ = '.';
    const int leadingZeros = std::min(std::max(-decimal.point, 0), text.decimals);
    out = std::fill_n(out, leadingZeros, '0');
    const int shown = std::clamp(decimal.count - wholeDigits, 0, text.decimals - leadingZeros);
    out = std::copy(digits + wholeDigits, digits + wholeDigits + shown, out);
    std::fill_n(out, text.decimals - leadingZeros - shown, '0');
}

std::string toString(const DecimalText& text) {
    std::string written(text.size(), '\0');
    writeDecimalText(written.data(), text);
    return written;
}

/// The quick way to the rounded decimal, for the common value whose scaled binary value is
/// clearly not near a half. `value` lies within 5e-15 of its size from the decimal that
/// `toDecimal` reads off it (half a unit in the 15th digit when that decimal is cut), and
/// scaling by 10^decimals adds at most half a unit in the last place; so where the scaled
/// value's fraction is farther than 1e-14 of its size from one half, both round to the same
/// whole number. Below 1e13 that margin stays far under one half. False where it cannot tell.
bool roundFromBinary(Decimal& decimal, double value, int decimals) {
    constexpr double kLargestScaled = 1e13;
    constexpr double kMarginPerUnit = 1e-14;
    if (decimals < 0 || decimals > kMostExactDecimals) return false;
    const double scaled = std::fabs(value) * kExactPowersOfTen[decimals];
    if (!(scaled < kLargestScaled)) return false;
    const auto whole = static_cast<std::uint64_t>(scaled);
    // Exact: the whole part is zero or at least half of the scaled value.
    const double fraction = scaled - static_cast<double>(whole);
    if (std::fabs(fraction - 0.5) <= scaled * kMarginPerUnit) return false;
    setScaledWholeNumber(decimal, std::signbit(value), whole + (fraction > 0.5 ? 1 : 0), decimals);
    return true;
}

/// Sets `text` to a finite `value` rounded to `decimals` decimals as the file comment says.
void roundInto(DecimalText& text, double value, int decimals) {
    text.decimals = decimals;
    if (roundFromBinary(text.decimal, value, decimals)) return;
    text.decimal = toDecimal(value);
    roundToDecimals(text.decimal, decimals);
}

/// `roundInto` with `decimals` decimals, or fewer when needed to fit in `width`; false when
/// even none fit.
bool roundWithin(DecimalText& text, double value, int decimals, std::size_t width) {
    for (int fewer = decimals; fewer >= 0; --fewer) {
        roundInto(text, value, fewer);
        if (text.size() <= width) return true;
    }
    return false;
}

std::string nonFiniteText(double value) {
    if (std::isnan(value)) return "nan";
    return value < 0 ? "-inf" : "inf";
}

/// The quick way to read the common plain decimal ("123.8416", "5.", ".5"): where its digits
/// make a whole number below 2^53 and it has at most 22 decimals, that number and the power of
/// ten are both exact doubles, so one division gives the correctly rounded value, the one
/// `std::from_chars` gives. Nothing for any other text.
std::optional<double> readPlainDecimal(std::string_view text) {
    constexpr std::uint64_t kLargestExactWhole = std::uint64_t{1} << 53;
    std::uint64_t whole = 0;
    int decimals = 0;
    bool pointSeen = false;
    for (const char c : text) {
        if (c == '.' && !pointSeen) {
            pointSeen = true;
        } else if (c >= '0' && c <= '9') {
            whole = whole * 10 + static_cast<unsigned>(c - '0');
            if (whole >= kLargestExactWhole) return std::nullopt;
            if (pointSeen) ++decimals;
        } else {
            return std::nullopt;
        }
    }
    const bool hasDigits = text.size() > (pointSeen ? 1u : 0u);
    if (!hasDigits || decimals > kMostExactDecimals) return std::nullopt;
    return static_cast<double>(whole) / kExactPowersOfTen[decimals];
}

/// `text` right-aligned in `field`; false when it is wider.
bool alignInto(std::span<char> field, std::string_view text) {
    if (text.size() > field.size()) return false;
    std::copy(text.begin(), text.end(), std::fill_n(field.data(), field.size() - text.size(), ' '));
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string plain(double value) {
    char text[kLongestPlainText];
    return {text, writePlain(text, value)};
}

char* writePlain(char* out, double value) {
    if (!std::isfinite(value)) {
        const std::string text = nonFiniteText(value);
        return std::copy(text.begin(), text.end(), out);
    }
    if (const auto rounded = roundedToFifteenDigits(std::fabs(value))) {
        auto [digits, scale] = *rounded;
        for (; scale > 0 && digits % 10 == 0; --scale) digits /= 10;
        if (value < 0) *out++ = '-';
        return writeScaled(out, digits, scale);
    }
    const Decimal decimal = toDecimal(value);
    const DecimalText text{decimal, std::max(decimal.count - decimal.point, 0)};
    writeDecimalText(out, text);
    return out + text.size();
}

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) return nonFiniteText(value);
    DecimalText text;
    roundInto(text, value, decimals);
    return toString(text);
}

std::string rightAlign(std::string_view text, std::size_t width) {
    std::string aligned(width > text.size() ? width - text.size() : 0, ' ');
    aligned += text;
    return aligned;
}

std::optional<std::string> fixedWithin(double value, int decimals, std::size_t width) {
    if (!std::isfinite(value)) {
        std::string text = nonFiniteText(value);
        return text.size() <= width ? std::optional(std::move(text)) : std::nullopt;
    }
    DecimalText text;
    if (!roundWithin(text, value, decimals, width)) return std::nullopt;
    return toString(text);
}

bool writeFixedField(std::span<char> field, double value, int decimals) {
    if (!std::isfinite(value)) return alignInto(field, nonFiniteText(value));
    DecimalText text;
    if (!roundWithin(text, value, decimals, field.size())) return false;
    writeDecimalText(std::fill_n(field.data(), field.size() - text.size(), ' '), text);
    return true;
}

std::optional<double> parseNumber(std::string_view text) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars alone would also take "inf", "nan" and a second sign.
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) {
        return std::nullopt;
    }
    if (const std::optional<double> quick = readPlainDecimal(text)) {
        return negative ? -*quick : *quick;
    }
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return negative ? -value : value;
}

}  // namespace ondu
