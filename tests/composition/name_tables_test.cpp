#include <gtest/gtest.h>

#include "composition/name_tables.h"

namespace tarnwick {
namespace {

TEST(NameTables, InstrumentsAreTheGeneralMidiPrograms) {
    EXPECT_EQ(instrumentName(0), "Piano 1");
    EXPECT_EQ(instrumentName(40), "Violin");
    EXPECT_EQ(instrumentName(127), "Gun Shot");
    EXPECT_EQ(instrumentName(-1), "");
    EXPECT_EQ(instrumentName(128), "");
    for (int i = 0; i < kInstrumentCount; ++i) {
        EXPECT_FALSE(instrumentName(i).empty());
        EXPECT_LE(instrumentName(i).size(), 19u);
    }
}

TEST(NameTables, DrumEntriesMapToPercussionKeys) {
    EXPECT_EQ(drumName(0), "Silence");
    EXPECT_EQ(drumNote(0), 0);
    EXPECT_EQ(drumName(1), "Hi Q");
    EXPECT_EQ(drumNote(1), 27);
    EXPECT_EQ(drumName(9), "Bass Drum 1");
    EXPECT_EQ(drumNote(9), 35);
    EXPECT_EQ(drumName(61), "Bass Drum Open");
    EXPECT_EQ(drumNote(61), 87);
    for (int outside : {-1, 62, 1000, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(drumNote(outside), 0) << outside;
        EXPECT_EQ(drumName(outside), "") << outside;
    }
}

} // namespace
} // namespace tarnwick
