#include "framework/channel_model.h"

#include <stdexcept>

#include "framework/number_text.h"

namespace ondu::channel {

namespace {
constexpr int kLinkDecimals = 3;
}

LinkKey linkKey(const Point& end) {
    if (end.isEmpty())
        throw std::invalid_argument("a line end without coordinates cannot be linked");
    return {fixed(end.x, kLinkDecimals), fixed(end.y, kLinkDecimals)};
}

bool linksTo(const Point& end, const Point& start) { return linkKey(end) == linkKey(start); }

}  // namespace ondu::channel
