#include "framework/channel_model.h"

#include <gtest/gtest.h>

namespace ondu::channel {
namespace {

TEST(LinkKey, EndsLinkWhenEqualAtThreeDecimals) {
    EXPECT_TRUE(linksTo(Point(1.0004, 2), Point(0.9996, 2)));
    EXPECT_FALSE(linksTo(Point(1.0004, 2), Point(1.0006, 2)));
    EXPECT_FALSE(linksTo(Point(5, 1.0004), Point(5, 1.0006)));  // Y counts as much as X
    EXPECT_TRUE(linksTo(Point(-0.0004, 0), Point(0.0004, 0)));  // no negative zero
}

TEST(LinkKey, HalvesRoundAwayFromZeroAsWritten) {
    // 1.0005 and 2.0005 lie just below the half in binary; the decimal a user sees counts.
    EXPECT_EQ(linkKey(Point(1.0005, -2.0005)), (LinkKey{"1.001", "-2.001"}));
    EXPECT_EQ(linkKey(Point(12345.6784999, 0)), (LinkKey{"12345.678", "0.000"}));
    EXPECT_THROW(linkKey(Point()), std::invalid_argument);
}

}  // namespace
}  // namespace ondu::channel
