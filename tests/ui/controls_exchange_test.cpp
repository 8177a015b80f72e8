#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/song_settings.h"
#include "ui/control_ids.h"
#include "ui/controls_exchange.h"
#include "ui/memory_panel.h"

namespace tarnwick {
namespace {

// A panel showing the start values, for tests that then type into a box.
class ControlsExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        RandomGenerator random(5);
        applyStartValues(start, random);
        writeControls(start, panel);
    }

    // Types `text` into the edit and reads every control.
    SongSettings readWith(int id, const std::string& text) {
        panel.writeText(id, text);
        SongSettings settings = start;
        readControls(panel, settings);
        return settings;
    }

    SongSettings start;
    MemoryPanel panel;
};

TEST_F(ControlsExchange, TheStartValuesSurviveTheRoundTrip) {
    SongSettings read;
    read.reserved.fill(4); // not a control: left alone
    readControls(panel, read);
    SongSettings expected = start;
    expected.reserved.fill(4);
    EXPECT_EQ(read, expected);
}

TEST_F(ControlsExchange, NumericBoxesAreClamped) {
    struct Case {
        int id;
        const char* text;
        std::int32_t SongSettings::*field;
        std::int32_t expected;
    };
    for (const Case& c : {
             Case{control::kStepMs, "", &SongSettings::stepMs, 50},
             Case{control::kStepMs, "49", &SongSettings::stepMs, 50},
             Case{control::kBeat, "0", &SongSettings::beatLength, 1},
             Case{control::kBeat, "", &SongSettings::beatLength, 1},
             Case{control::kDrumVolume, "95", &SongSettings::drumVolume, 90},
             Case{control::kTranspose, "-20", &SongSettings::transpose, -11},
             Case{control::kTranspose, "15", &SongSettings::transpose, 11},
             Case{control::kTranspose, "-11", &SongSettings::transpose, -11},
             Case{control::kRepeat, "12", &SongSettings::repeatLength, 12},
             Case{control::kHarmonyOffset, "-40", &SongSettings::harmonyOffset, -40},
             // Unsigned reads too large for the signed field: the field's upper
             // bound, or the largest signed value where there is none.
             Case{control::kDrumVolume, "4294967295", &SongSettings::drumVolume, 90},
             Case{control::kStepMs, "2147483648", &SongSettings::stepMs, 2147483647},
             Case{control::kRepeat, "4294967295", &SongSettings::repeatLength, 2147483647},
             Case{control::kBeat, "3000000000", &SongSettings::beatLength, 2147483647},
             Case{control::kBeat, "4294967296", &SongSettings::beatLength, 1}, // reads as 0
         }) {
        const SongSettings read = readWith(c.id, c.text);
        EXPECT_EQ(read.*c.field, c.expected) << c.id << " \"" << c.text << '"';
        panel.writeSigned(c.id, start.*c.field);
    }
}

TEST_F(ControlsExchange, VoiceVolumesAndOctaveRanges) {
    EXPECT_EQ(readWith(control::kVolume, "120").volume[0], 90);
    EXPECT_EQ(readWith(control::kVolume, "").volume[0], 0);
    EXPECT_EQ(readWith(control::kVolume + 2, "2147483648").volume[2], 90);
    EXPECT_EQ(readWith(control::kVoiceOffset + 1, "-2147483648").voiceOffset[1], -2147483647 - 1);

    struct Pair {
        const char* low;
        const char* high;
        std::int32_t expectedLow;
        std::int32_t expectedHigh;
    };
    for (const Pair& p : {Pair{"12", "3", 1, 10}, Pair{"10", "10", 1, 10}, Pair{"0", "0", 0, 1},
                          Pair{"5", "30", 5, 11}, Pair{"9", "11", 9, 11},
                          Pair{"4294967295", "4294967295", 10, 11}, // 10 and 11 stand
                          Pair{"3000000000", "", 1, 10}, Pair{"2", "2147483648", 2, 11}}) {
        panel.writeText(control::kLowOctave + 1, p.low);
        const SongSettings read = readWith(control::kHighOctave + 1, p.high);
        EXPECT_EQ(read.lowOctave[1], p.expectedLow) << p.low << ' ' << p.high;
        EXPECT_EQ(read.highOctave[1], p.expectedHigh) << p.low << ' ' << p.high;
    }
    panel.writeText(control::kLowOctave, "4294967295");
    EXPECT_EQ(readWith(control::kHighOctave, "4294967295").lowOctave[0], 10);
}

TEST_F(ControlsExchange, ValuesFromAFileAreShownUnclampedAndClampedOnRead) {
    SongSettings loaded = start;
    loaded.volume[0] = -1;    // shown as 4294967295, read back as 90
    loaded.lowOctave[2] = 12; // shown as 12, reset with the pair rule
    loaded.highOctave[2] = 3;
    loaded.hold[0] = 5;         // shown checked, read back as 1
    loaded.instrument[1] = 200; // no selection: kept
    loaded.drumKit[3] = -4;
    loaded.scaleIndex = 40;
    writeControls(loaded, panel);
    EXPECT_EQ(panel.readText(control::kVolume), "4294967295");
    EXPECT_EQ(panel.readText(control::kLowOctave + 2), "12");
    EXPECT_EQ(panel.readSelection(control::kInstrument + 1), -1);

    SongSettings read = loaded;
    readControls(panel, read);
    EXPECT_EQ(read.volume[0], 90);
    EXPECT_EQ(read.lowOctave[2], 1);
    EXPECT_EQ(read.highOctave[2], 10);
    EXPECT_EQ(read.hold[0], 1);
    EXPECT_EQ(read.instrument[1], 200);
    EXPECT_EQ(read.drumKit[3], -4);
    EXPECT_EQ(read.scaleIndex, 40);

    panel.writeSelection(control::kDrumSlot + 3, 61);
    readControls(panel, read);
    EXPECT_EQ(read.drumKit[3], 61);
}

TEST_F(ControlsExchange, TheSeedBox) {
    SongSettings read = readWith(control::kSeed, "5 -3 0x10 010");
    EXPECT_EQ(read.seedCount, 4);
    EXPECT_EQ((std::array<std::int32_t, 4>{read.seed[0], read.seed[1], read.seed[2], read.seed[3]}),
              (std::array<std::int32_t, 4>{5, -3, 16, 8}));
    EXPECT_EQ(read.seed[7], start.seed[7]) << "entries beyond the count keep their values";

    read = readWith(control::kSeed, "abc");
    EXPECT_EQ(read.seedCount, 0) << "kept as parsed; the generator uses seed[0] alone";
    EXPECT_EQ(read.seed, start.seed);
    EXPECT_EQ(readWith(control::kSeed, "").seedCount, -1);

    // Only the first 63 characters are read: a number cut there is read cut.
    const std::string text = std::string(60, ' ') + "12345";
    read = readWith(control::kSeed, text);
    EXPECT_EQ(read.seedCount, 1);
    EXPECT_EQ(read.seed[0], 123);

    SongSettings three = start;
    three.seedCount = 3;
    writeControls(three, panel);
    EXPECT_EQ(panel.readText(control::kSeed), std::to_string(start.seed[0]) + " " +
                                                  std::to_string(start.seed[1]) + " " +
                                                  std::to_string(start.seed[2]));
}

} // namespace
} // namespace tarnwick
