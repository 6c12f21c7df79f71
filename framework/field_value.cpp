#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "framework/field_names.h"
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

int findFieldByName(const std::vector<Field>& fields, const std::string& name) {
    auto same = [&](const Field& f) {
        return f.name.size() == name.size() &&
               std::equal(f.name.begin(), f.name.end(), name.begin(),
                          [](unsigned char x, unsigned char y) {
                              return std::tolower(x) == std::tolower(y);
                          });
    };
    auto it = std::find_if(fields.begin(), fields.end(), same);
    return it == fields.end() ? -1 : static_cast<int>(it - fields.begin());
}

}  // namespace ondu
