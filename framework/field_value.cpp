#include <charconv>
#include <cstdlib>

#include "framework/host_operations.h"
#include "framework/number_text.h"

namespace ondu {

bool isNull(const FieldValue& v) { return std::holds_alternative<std::monostate>(v); }

std::optional<double> toDouble(const FieldValue& v) {
    if (auto* i = std::get_if<long long>(&v)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* s = std::get_if<std::string>(&v)) return parseNumber(*s);
    return std::nullopt;
}

std::string toText(const FieldValue& v) {
    if (auto* i = std::get_if<long long>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) return plain(*d);
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    return "";
}

}  // namespace ondu
