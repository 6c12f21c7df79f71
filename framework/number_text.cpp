#include "framework/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace ondu {

namespace {

constexpr int kSignificantDigits = 15;

/// A finite value as a decimal: value = 0.d1d2...dn x 10^point, the digits without leading or
/// trailing zeros. Zero has no digits.
struct Decimal {
    bool negative = false;
    char digits[kSignificantDigits + 2] = {};  // room for a carry out of the first digit
    int count = 0;
    int point = 0;

    bool isZero() const { return count == 0; }
};

/// Reads scientific text ("-d.ddde+XX") into `decimal`. False when it has more than 15 digits.
bool readScientific(const char* text, Decimal& decimal) {
    decimal = Decimal{};
    decimal.negative = *text == '-';
    if (decimal.negative) ++text;
    for (; *text != 'e'; ++text) {
        if (*text == '.') continue;
        if (decimal.count == kSignificantDigits) return false;
        decimal.digits[decimal.count++] = *text;
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
    const bool negativeExponent = *++text == '-';
    int exponent = 0;
    while (*++text != '\0') exponent = exponent * 10 + (*text - '0');
    decimal.point = (negativeExponent ? -exponent : exponent) + 1;
    return true;
}

/// The shortest decimal that reads back as `value`, or its 15 significant digits when the
/// shortest needs more.
Decimal toDecimal(double value) {
    constexpr auto kScientific = std::chars_format::scientific;
    char text[40];
    Decimal decimal;
    *std::to_chars(text, text + sizeof text - 1, value, kScientific).ptr = '\0';
    if (!readScientific(text, decimal)) {
        *std::to_chars(text, text + sizeof text - 1, value, kScientific, kSignificantDigits - 1)
             .ptr = '\0';
        readScientific(text, decimal);
    }
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

char digitAt(const Decimal& decimal, int position) {
    return position >= 0 && position < decimal.count ? decimal.digits[position] : '0';
}

/// The decimal written with `decimals` decimals; digits beyond its own are zeros. Written in place
/// into a text sized beforehand: numbers are formatted by the million in large files.
std::string decimalText(const Decimal& decimal, int decimals) {
    std::string text(2 + std::max(decimal.point, 1) + decimals, '\0');
    char* out = text.data();
    if (decimal.negative && !decimal.isZero()) *out++ = '-';
    if (decimal.point <= 0) *out++ = '0';
    for (int position = 0; position < decimal.point; ++position) {
        *out++ = digitAt(decimal, position);
    }
    if (decimals > 0) *out++ = '.';
    for (int position = decimal.point; position < decimal.point + decimals; ++position) {
        *out++ = digitAt(decimal, position);
    }
    text.resize(out - text.data());
    return text;
}

std::string nonFiniteText(double value) {
    if (std::isnan(value)) return "nan";
    return value < 0 ? "-inf" : "inf";
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string plain(double value) {
    if (!std::isfinite(value)) return nonFiniteText(value);
    const Decimal decimal = toDecimal(value);
    return decimalText(decimal, std::max(decimal.count - decimal.point, 0));
}

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) return nonFiniteText(value);
    Decimal decimal = toDecimal(value);
    roundToDecimals(decimal, decimals);
    return decimalText(decimal, decimals);
}

std::string rightAlign(std::string_view text, std::size_t width) {
    std::string aligned(width > text.size() ? width - text.size() : 0, ' ');
    aligned += text;
    return aligned;
}

std::optional<std::string> fixedWithin(double value, int decimals, std::size_t width) {
    for (int fewer = decimals; fewer >= 0; --fewer) {
        std::string text = fixed(value, fewer);
        if (text.size() <= width) return text;
    }
    return std::nullopt;
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
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return negative ? -value : value;
}

}  // namespace ondu
