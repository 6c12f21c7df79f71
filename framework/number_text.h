#pragma once
// The one place where numbers become text and text becomes numbers. Every form here ignores the
// locale: a point as decimal separator, no grouping, no blanks unless a field asks for them.
//
// Rounding to a fixed number of decimals works on the decimal the user sees, not on the binary
// double behind it. 99.9995 is stored as 99.99949999999999761..., yet it was typed, read from a
// document and shown by `plain` as 99.9995, so F3 gives "100.000", as the user expects from
// "halves away from zero". Precisely: a value is first taken to its shortest decimal text of at
// most 15 significant digits (its `plain` text), and that decimal is rounded.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ondu {

/// Shortest decimal text that reads back as `value`, cut to 15 significant digits when the
/// shortest needs more (0.1 + 0.2 gives "0.3"). Never an exponent: 1e21 gives
/// "1000000000000000000000", 1e-7 gives "0.0000001". Whole numbers carry no point ("25");
/// negative zero gives "0". Infinities and NaN give "inf", "-inf" and "nan".
std::string plain(double value);

/// The longest text `plain` gives (the digits of the largest and smallest doubles, no exponent).
inline constexpr std::size_t kLongestPlainText = 400;

/// `plain` written at `out`, which has room for kLongestPlainText characters, without building a
/// string (documents carry their numbers by the million); answers the end of the text.
char* writePlain(char* out, double value);

/// `value` with exactly `decimals` decimals (0 gives no point), the nearest such decimal with
/// halves away from zero, judged on the `plain` text (see the file comment): 0.0005 gives "0.001",
/// -2.5 with 0 decimals gives "-3". A result that rounds to zero carries no sign ("0.000", never
/// "-0.000"). Infinities and NaN give the same texts as `plain`.
std::string fixed(double value, int decimals);

/// `fixed` with 6 decimals: "12.500000".
inline std::string F6(double value) { return fixed(value, 6); }
/// `fixed` with 3 decimals: "2.500".
inline std::string F3(double value) { return fixed(value, 3); }

/// `text` right-aligned in `width` characters, padded with blanks on the left. A longer text is
/// returned whole, never cut: cutting would silently change the value. Readers of column formats
/// (the hydraulic model reads its geometry files by column, values filling their fields with no
/// separator between them) misread a wider text, so writers of such formats keep their texts
/// within the width, see `fixedWithin`.
std::string rightAlign(std::string_view text, std::size_t width);

/// `rightAlign` in 16 characters.
inline std::string R16(std::string_view text) { return rightAlign(text, 16); }
/// `rightAlign` in 8 characters.
inline std::string R8(std::string_view text) { return rightAlign(text, 8); }

/// `fixed(value, decimals)` when that fits in `width` characters; otherwise `fixed` with as many
/// fewer decimals as needed to fit (each rounded from the value itself, not from the longer text),
/// which is how the hydraulic model itself keeps wide values inside its columns: 10234.5678 with
/// 3 decimals in 8 characters gives "10234.57". Nothing when even the whole number is too wide.
std::optional<std::string> fixedWithin(double value, int decimals, std::size_t width);

/// `fixedWithin(value, decimals, field.size())` right-aligned in `field`, every character of it
/// written; false, with `field` left unspecified, where `fixedWithin` gives nothing. Builds no
/// string: column files carry their numbers by the million.
bool writeFixedField(std::span<char> field, double value, int decimals);

/// The number a user typed: blanks (spaces and tabs) around it, an optional sign, digits with an
/// optional point (".5" and "5." are numbers) and an optional exponent ("1e-3", "2E+4"). Nothing
/// for empty text, any other character (no grouping, no decimal comma, no hexadecimal, no "inf"
/// or "nan"), or a magnitude a double cannot hold (1e400, and 1e-400, which would read as 0).
std::optional<double> parseNumber(std::string_view text);

}  // namespace ondu
