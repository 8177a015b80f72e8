#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/recording_output.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "tests/playback/message_text.h"

namespace tarnwick {
namespace {

using testing::messageTexts;
using Texts = std::vector<std::string>;

std::string hex(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// A performance pumped by hand. `replay` runs in step with the player's
// generator to know the velocities and slots it must draw.
struct Performance {
    SongSettings settings;
    Score score;
    PlayState state;
    RandomGenerator random{77};
    RandomGenerator replay{77};
    RecordingOutput output;
    ManualStepTimer timer;

    Performance() { settings.volume = {90, 80, 70}; }

    void start() { startPlayback(settings, score, state, output, timer); }

    Texts tick() {
        output.messages.clear();
        playStep(state, score, settings, random, output);
        return messageTexts(output.messages);
    }

    std::string velocity(int base) { return hex(base + randBelow(replay, 32)); }
};

TEST(PlayStep, FirstTickPlaysEveryLineInOrderThenDrumSlotZero) {
    Performance p;
    p.settings.harmonyOffset = 4;
    p.settings.drumKit[0] = 9; // key 35
    p.score.voice1Notes[0] = 72;
    p.score.voice2Notes[0] = 60;
    p.score.harmonyNotes[0] = 64;
    p.score.voice3Notes[0] = 48;
    p.state.lastNote = {1, 2, 3, 4};
    p.start();
    // Voice 2 and the harmony share voice 2's hold flag, set at start values
    // here, so they send note-ons only.
    p.settings.hold = {0, 1, 0};
    EXPECT_EQ(p.tick(), (Texts{"80 01 00", "90 48 " + p.velocity(90), "91 3C " + p.velocity(80),
                               "91 40 " + p.velocity(80), "82 03 00", "92 30 " + p.velocity(70),
                               "99 23 " + p.velocity(60)}));
    EXPECT_EQ(p.state.lastNote, (std::array<std::int32_t, 4>{72, 2, 48, 4}));
    EXPECT_EQ(p.state.playPosition, 1);
}

TEST(PlayStep, HarmonyNoteOffEndsVoiceTwosNewNoteOfTheSameKey) {
    Performance p;
    p.settings.harmonyOffset = 7;
    p.score.voice2Notes[0] = 60;
    p.score.harmonyNotes[0] = 67;
    p.state.lastNote[static_cast<int>(Line::Harmony)] = 60;
    p.start();
    const Texts messages = p.tick();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[1].substr(0, 5), "91 3C");
    EXPECT_EQ(messages[2], "81 3C 00");
    // With the harmony off it sends nothing and keeps its last note.
    p.settings.harmonyOffset = 0;
    p.state.playPosition = 0;
    EXPECT_EQ(p.tick().size(), 2u);
    EXPECT_EQ(p.state.lastNote[static_cast<int>(Line::Harmony)], 67);
}

TEST(PlayStep, NoteOffsFollowTheLastNoteStruckWithTheFlagClear) {
    Performance p;
    for (int i = 0; i < 4; ++i) {
        p.score.voice1Notes[static_cast<std::size_t>(i)] = static_cast<NoteByte>(60 + 2 * i);
    }
    p.score.voice1Notes[4] = 66; // a repeated key is ended and struck again
    p.start();
    p.tick(); // 60 struck with the flag clear
    p.settings.hold[0] = 1;
    EXPECT_EQ(p.tick().size(), 1u); // 62 struck under the flag: no note-off
    p.settings.hold[0] = 0;
    EXPECT_EQ(p.tick()[0], "80 3C 00"); // ends 60, the last note struck unheld
    EXPECT_EQ(p.tick()[0], "80 40 00");
    EXPECT_EQ(p.tick()[0], "80 42 00");
}

TEST(PlayStep, RestsAndEntriesAbove127SendAndDrawNothing) {
    Performance p;
    p.settings.harmonyOffset = 1;
    p.score.voice1Notes[0] = 128;
    p.score.voice2Notes[0] = 200;
    p.score.harmonyNotes[0] = 255;
    p.score.voice3Notes[1] = 60; // not voice 3's turn at step 1
    p.score.voice1Notes[1023] = 70;
    p.start();
    p.score.drumNotes[0] = 130;
    EXPECT_EQ(p.tick(), Texts{});
    randBelow(p.replay, 32); // only the drum velocity is drawn, even for a silent hit
    EXPECT_EQ(p.random.state(), p.replay.state());
    EXPECT_EQ(p.tick(), Texts{}); // step 1: voice 1 rests, voice 3 is not due
    // After step 1023 the player wraps to step 0.
    p.state.playPosition = 1023;
    EXPECT_EQ(p.tick()[1].substr(0, 5), "90 46");
    EXPECT_EQ(p.state.playPosition, 1024);
    p.tick();
    EXPECT_EQ(p.state.playPosition, 1);
}

TEST(PlayStep, VelocitiesStayInsideADataByte) {
    Performance p;
    p.settings.hold = {1, 1, 1};
    p.settings.volume = {200, -50, 2147483647};
    p.settings.drumVolume = -2147483647 - 1;
    p.settings.drumKit[0] = 9;
    p.score.voice1Notes[0] = p.score.voice2Notes[0] = p.score.voice3Notes[0] = 60;
    p.start();
    EXPECT_EQ(p.tick(), (Texts{"90 3C 7F", "91 3C 00", "92 3C 7F", "99 23 00"}));
}

// The steps on which a drum is struck, with every slot sounding.
std::vector<int> drumSteps(int beatLength, int ticks) {
    Performance p;
    p.settings.beatLength = beatLength;
    p.settings.drumKit.fill(9);
    p.start();
    std::vector<int> steps;
    for (int i = 0; i < ticks; ++i) {
        const int step = p.state.playPosition % kStepCount;
        if (!p.tick().empty()) {
            steps.push_back(step);
        }
    }
    return steps;
}

TEST(PlayStep, DrumBeatCountsTicksAcrossTheWrap) {
    EXPECT_EQ(drumSteps(1, 1024).size(), 1024u);
    const std::vector<int> eight = drumSteps(8, 2048);
    ASSERT_EQ(eight.size(), 256u);
    EXPECT_EQ(eight[128], 0); // the second pass hits the same steps
    EXPECT_EQ(eight[129], 8);
    // 1024 = 146 * 7 + 2: the second pass is shifted to steps 5, 12, 19, ...
    const std::vector<int> seven = drumSteps(7, 2048);
    EXPECT_EQ((std::vector<int>(seven.begin(), seven.begin() + 3)), (std::vector<int>{0, 7, 14}));
    EXPECT_EQ((std::vector<int>(seven.begin() + 147, seven.begin() + 150)),
              (std::vector<int>{5, 12, 19}));
}

TEST(PlayStep, DrumCycleStrikesSlotsZeroAndOneThenDrawsSix) {
    Performance p;
    p.settings.beatLength = 1;
    p.settings.drumKit = {1, 2, 0, 4, 5, 6, 7, 8}; // slot 2 silent
    p.start();
    for (int hit = 0; hit < 24; ++hit) {
        const std::string velocity = p.velocity(60);
        const int slot = hit % 8 < 2 ? hit % 8 : randBelow(p.replay, 8);
        const Texts expected = slot == 2 ? Texts{} : Texts{"99 " + hex(27 + slot) + " " + velocity};
        EXPECT_EQ(p.tick(), expected) << "hit " << hit;
    }
    // A beat made smaller than the count so far strikes at the next tick.
    p.settings.beatLength = 3;
    p.state.beatCounter = 5;
    EXPECT_EQ(p.tick().size(), 1u);
}

// Whole passes at start values and at randomised settings: every message is
// a note-off or note-on with its data bytes in range.
TEST(PlayStep, FullPassesStayWellFormed) {
    for (bool randomised : {false, true}) {
        Performance p;
        if (randomised) {
            randomiseAll(p.settings, p.random);
            p.settings.harmonyOffset = 300;
        } else {
            applyStartValues(p.settings, p.random);
        }
        generateScore(p.settings, p.score);
        p.start();
        for (int i = 0; i < 2 * kStepCount; ++i) {
            p.output.messages.clear();
            playStep(p.state, p.score, p.settings, p.random, p.output);
            ASSERT_LE(p.output.messages.size(), 9u);
            for (auto m : p.output.messages) {
                ASSERT_TRUE((m & 0xE0) == 0x80 && (m & 0x8080'00) == 0 && m >> 24 == 0) << m;
            }
        }
    }
}

} // namespace
} // namespace tarnwick
