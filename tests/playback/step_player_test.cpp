#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/recording_output.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "tests/playback/message_text.h"

namespace tarnwick {
namespace {

using testing::messageText;
using testing::messageTexts;
using Texts = std::vector<std::string>;

std::string hex(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// A performance pumped by hand: settings, score and state, with a recording
// output. `expected` replays the generator to know the velocities.
struct Performance {
    SongSettings settings;
    Score score;
    PlayState state;
    RandomGenerator random{77};
    RandomGenerator expected{77};
    RecordingOutput output;
    ManualStepTimer timer;

    Performance() {
        settings.volume = {90, 80, 70};
        settings.drumVolume = 60;
        settings.beatLength = 8;
    }

    void start() { startPlayback(settings, score, state, output, timer); }

    Texts tick() {
        output.messages.clear();
        playStep(state, score, settings, random, output);
        return messageTexts(output.messages);
    }

    std::string velocity(int base) { return hex(base + randBelow(expected, 32)); }
};

TEST(PlayStep, FirstTickAfterStartPlaysEveryLineAndDrumSlotZero) {
    Performance p;
    p.settings.harmonyOffset = 4;
    p.settings.hold = {0, 0, 0};
    p.settings.drumKit[0] = 9; // key 35
    p.score.voice1Notes[0] = 72;
    p.score.voice2Notes[0] = 60;
    p.score.harmonyNotes[0] = 64;
    p.score.voice3Notes[0] = 48;
    p.state.lastNote = {1, 2, 3, 4};
    p.start();
    const Texts messages = p.tick();
    EXPECT_EQ(messages, (Texts{"80 01 00", "90 48 " + p.velocity(90), "81 02 00",
                               "91 3C " + p.velocity(80), "81 04 00", "91 40 " + p.velocity(80),
                               "82 03 00", "92 30 " + p.velocity(70), "99 23 " + p.velocity(60)}));
    EXPECT_EQ(p.state.lastNote, (std::array<std::int32_t, 4>{72, 60, 48, 64}));
    EXPECT_EQ(p.state.playPosition, 1);
    EXPECT_EQ(p.random.state(), p.expected.state());
}

TEST(PlayStep, HeldLinesSendNoNoteOffsAndRestsSendNothing) {
    Performance p;
    p.settings.hold = {1, 0, 0};
    p.score.voice1Notes[0] = 72;
    // voice 2 and voice 3 rest at step 0; the harmony is off
    p.start();
    EXPECT_EQ(p.tick(), (Texts{"90 48 " + p.velocity(90)}));
    EXPECT_EQ(p.state.lastNote[0], 0);
    randBelow(p.expected, 32); // the silent drum hit still draws its velocity
    EXPECT_EQ(p.random.state(), p.expected.state()) << "a rest draws nothing";
}

TEST(PlayStep, HarmonyNoteOffEndsVoiceTwosNewNoteOfTheSameKey) {
    Performance p;
    p.settings.hold = {0, 0, 0};
    p.settings.harmonyOffset = 7;
    p.score.voice2Notes[0] = 60;
    p.state.lastNote[static_cast<int>(Line::Harmony)] = 60;
    p.score.harmonyNotes[0] = 67;
    p.start();
    const Texts messages = p.tick();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[1].substr(0, 5), "91 3C");
    EXPECT_EQ(messages[2], "81 3C 00"); // the same channel: voice 2's key is ended at once
}

TEST(PlayStep, HarmonyOffsetZeroSilencesTheHarmonyLine) {
    Performance p;
    p.settings.hold = {0, 0, 0};
    p.score.harmonyNotes.fill(64);
    p.state.lastNote[static_cast<int>(Line::Harmony)] = 50;
    p.start();
    for (int i = 0; i < 16; ++i) {
        for (const auto& m : p.tick()) {
            EXPECT_EQ(m.find("40"), std::string::npos) << m;
        }
    }
    EXPECT_EQ(p.state.lastNote[static_cast<int>(Line::Harmony)], 50);
}

TEST(PlayStep, ClearingHoldWhilePlayingEndsTheLastNoteStruckUnheld) {
    Performance p;
    p.settings.hold = {0, 0, 0};
    p.score.voice1Notes[0] = 60;
    p.score.voice1Notes[1] = 62;
    p.score.voice1Notes[2] = 64;
    p.start();
    p.tick(); // 60 struck with the flag clear
    p.settings.hold[0] = 1;
    p.tick(); // 62 struck under the flag: no note-off, last note stays 60
    p.settings.hold[0] = 0;
    EXPECT_EQ(p.tick()[0], "80 3C 00");
}

TEST(PlayStep, RepeatedNoteIsEndedAndStruckAgain) {
    Performance p;
    p.settings.hold = {0, 0, 0};
    p.score.voice1Notes[0] = 60;
    p.score.voice1Notes[1] = 60;
    p.start();
    p.tick();
    const Texts second = p.tick();
    EXPECT_EQ(second[0], "80 3C 00");
    EXPECT_EQ(second[1].substr(0, 5), "90 3C");
}

TEST(PlayStep, WrapsFromTheLastStepToTheFirst) {
    Performance p;
    p.settings.hold = {0, 0, 0};
    p.score.voice1Notes[1023] = 70;
    p.score.voice1Notes[0] = 71;
    p.start();
    p.state.playPosition = 1023;
    p.tick();
    EXPECT_EQ(p.state.playPosition, 1024);
    const Texts wrapped = p.tick();
    EXPECT_EQ(p.state.playPosition, 1);
    EXPECT_EQ(wrapped[0], "80 46 00");
    EXPECT_EQ(wrapped[1].substr(0, 5), "90 47");
}

TEST(PlayStep, EntriesAbove127AreRestsWithoutDraws) {
    Performance p;
    p.settings.hold = {0, 0, 0};
    p.settings.harmonyOffset = 1;
    p.settings.beatLength = 100;
    p.score.voice1Notes[0] = 128;
    p.score.voice2Notes[0] = 200;
    p.score.harmonyNotes[0] = 255;
    p.score.voice3Notes[0] = 129;
    p.settings.drumKit[0] = 9;
    p.start();
    p.score.drumNotes[0] = 130;
    randBelow(p.expected, 32); // only the drum velocity is drawn
    EXPECT_EQ(p.tick(), Texts{});
    EXPECT_EQ(p.random.state(), p.expected.state());
}

TEST(PlayStep, VelocitiesStayInsideADataByte) {
    Performance p;
    p.settings.hold = {1, 1, 1};
    p.settings.volume = {200, -50, 2147483647};
    p.settings.drumVolume = -2147483647 - 1;
    p.settings.drumKit[0] = 9;
    p.score.voice1Notes[0] = 60;
    p.score.voice2Notes[0] = 60;
    p.score.voice3Notes[0] = 60;
    p.start();
    EXPECT_EQ(p.tick(), (Texts{"90 3C 7F", "91 3C 00", "92 3C 7F", "99 23 00"}));
}

// The steps of one pass on which a drum is struck, for every slot sounding.
std::vector<int> drumSteps(Performance& p, int ticks) {
    for (auto& drum : p.settings.drumKit) {
        drum = 9;
    }
    p.start();
    std::vector<int> steps;
    for (int i = 0; i < ticks; ++i) {
        const int step = p.state.playPosition % kStepCount;
        const Texts messages = p.tick();
        if (!messages.empty() && messages.back().rfind("99", 0) == 0) {
            steps.push_back(step);
        }
    }
    return steps;
}

TEST(PlayStep, DrumBeatCountsTicksAcrossTheWrap) {
    Performance every;
    every.settings.beatLength = 1;
    EXPECT_EQ(drumSteps(every, 1024).size(), 1024u);

    Performance eight;
    const std::vector<int> steps8 = drumSteps(eight, 2048);
    ASSERT_EQ(steps8.size(), 256u);
    EXPECT_EQ(steps8[128], 0); // the second pass hits the same steps
    EXPECT_EQ(steps8[129], 8);

    Performance seven;
    seven.settings.beatLength = 7;
    const std::vector<int> steps7 = drumSteps(seven, 2048);
    EXPECT_EQ((std::vector<int>(steps7.begin(), steps7.begin() + 3)), (std::vector<int>{0, 7, 14}));
    // 1024 = 146 * 7 + 2: the first hit of the second pass falls on step 5.
    EXPECT_EQ(steps7[147], 5);
    EXPECT_EQ(steps7[148], 12);
    EXPECT_EQ(steps7[149], 19);
}

TEST(PlayStep, DrumCycleStrikesSlotsZeroAndOneThenDrawsSix) {
    Performance p;
    p.settings.beatLength = 1;
    p.settings.drumKit = {1, 2, 3, 4, 5, 6, 7, 8};
    p.start();
    for (int hit = 0; hit < 24; ++hit) {
        const std::string velocity = p.velocity(60);
        int slot = hit % 8;
        if (slot >= 2) {
            slot = randBelow(p.expected, 8);
        }
        EXPECT_EQ(p.tick(), Texts{"99 " + hex(27 + slot) + " " + velocity}) << "hit " << hit;
    }
}

TEST(PlayStep, SilentDrumSlotsStillCountAndDraw) {
    Performance p;
    p.settings.beatLength = 1;
    p.start();
    for (int hit = 0; hit < 16; ++hit) {
        EXPECT_EQ(p.tick(), Texts{});
        randBelow(p.expected, 32);
        if (hit % 8 >= 2) {
            randBelow(p.expected, 8);
        }
    }
    EXPECT_EQ(p.random.state(), p.expected.state());
    EXPECT_EQ(p.state.drumSlotCounter, 8);
}

TEST(PlayStep, SmallerBeatWhilePlayingStrikesAtTheNextTick) {
    Performance p;
    p.settings.drumKit[0] = p.settings.drumKit[1] = 9;
    p.start();
    p.tick(); // hit at step 0
    for (int i = 0; i < 5; ++i) {
        p.tick();
    }
    p.settings.beatLength = 3; // the counter already stands at 5
    EXPECT_EQ(p.tick().back().substr(0, 5), "99 23");
}

// Whole passes at start values and at randomised settings: every message is
// a note-off or note-on with data bytes inside 0..127, and nothing trips the
// sanitizers.
TEST(PlayStep, FullPassesStayWellFormed) {
    for (bool randomised : {false, true}) {
        Performance p;
        if (randomised) {
            randomiseAll(p.settings, p.random);
            p.settings.hold = {0, 0, 0};
            p.settings.harmonyOffset = 300;
        } else {
            applyStartValues(p.settings, p.random);
        }
        generateScore(p.settings, p.score);
        p.start();
        std::size_t messages = 0;
        for (int i = 0; i < 2 * kStepCount; ++i) {
            p.output.messages.clear();
            playStep(p.state, p.score, p.settings, p.random, p.output);
            ASSERT_LE(p.output.messages.size(), 9u);
            for (auto m : p.output.messages) {
                const int status = messageStatus(m) & 0xF0;
                ASSERT_TRUE(status == 0x80 || status == 0x90) << messageText(m);
                ASSERT_LT(messageData1(m), 128);
                ASSERT_LT(messageData2(m), 128);
                ASSERT_EQ(m >> 24, 0u);
            }
            messages += p.output.messages.size();
        }
        EXPECT_GT(messages, 1000u);
        EXPECT_EQ(p.state.playPosition, kStepCount);
    }
}

} // namespace
} // namespace tarnwick
