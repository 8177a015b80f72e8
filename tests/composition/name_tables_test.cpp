#include <gtest/gtest.h>

#include "composition/name_tables.h"

namespace tarnwick {
namespace {

TEST(NameTables, LookupsStayInsideTheirTables) {
    EXPECT_EQ(instrumentName(0), "Piano 1");
    EXPECT_EQ(instrumentName(127), "Gun Shot");
    EXPECT_EQ(drumName(0), "Silence");
    EXPECT_EQ(drumName(61), "Bass Drum Open");
    EXPECT_EQ(drumNote(0), 0);
    EXPECT_EQ(drumNote(1), 27);
    EXPECT_EQ(drumNote(61), 87);
    for (int outside : {-1, 62, 128, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(drumNote(outside), 0) << outside;
        EXPECT_EQ(drumName(outside), "") << outside;
        EXPECT_EQ(instrumentName(outside == 62 ? 128 : outside), "") << outside;
    }
}

} // namespace
} // namespace tarnwick
