// The trace output's lines, as scripts read them.

#include <cstdint>
#include <sstream>

#include <gtest/gtest.h>

#include "playback/outputs/trace_output.h"
#include "tests/outputs/midi_messages.h"

namespace tarnwick::testing {
namespace {

TEST(TraceOutput, WritesTheTickAndThreeUppercaseHexBytesPerMessage) {
    std::ostringstream out;
    std::int64_t ticks = 0;
    TraceOutput trace(out, ticks);
    trace.send(allSoundOff(2));
    trace.send(programChange(1, 127)); // second data byte written as 00
    ticks = 1;
    trace.send(noteOn(0, 60, 90));
    ticks = 1023;
    trace.send(noteOff(15, 0));
    trace.send(noteOn(kDrumChannel, 42, 121));
    EXPECT_EQ(out.str(), "0 B2 78 00\n"
                         "0 C1 7F 00\n"
                         "1 90 3C 5A\n"
                         "1023 8F 00 00\n"
                         "1023 99 2A 79\n");
    EXPECT_FALSE(trace.isSilent());
}

TEST(TraceOutput, WritesEveryBitOfTheThreeBytes) {
    EXPECT_EQ(formatTraceLine(12345678901, 0x00FFABCDu), "12345678901 CD AB FF");
    // Bits 24-31 are not part of a short message.
    EXPECT_EQ(formatTraceLine(0, 0xFF000000u), "0 00 00 00");
}

} // namespace
} // namespace tarnwick::testing
