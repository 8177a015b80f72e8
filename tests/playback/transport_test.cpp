#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/recording_output.h"
#include "playback/transport.h"
#include "tests/playback/message_text.h"

namespace tarnwick {
namespace {

using testing::messageTexts;
using Texts = std::vector<std::string>;

struct Started {
    Texts messages;
    PlayState state;
    ManualStepTimer timer;
    Score score;
};

Started start(const SongSettings& settings, PlayState state = {}) {
    Started result;
    RecordingOutput output;
    result.state = state;
    startPlayback(settings, result.score, result.state, output, result.timer);
    result.messages = messageTexts(output.messages);
    return result;
}

TEST(StartPlayback, SetsUpEachVoiceChannelInOrder) {
    SongSettings s;
    s.instrument = {0, 40, 127};
    s.modulation = {0, 1, 0};
    s.portamento = {0, 0, 1};
    EXPECT_EQ(start(s).messages,
              (Texts{// channel 0: all sound off, program, wheel 0, portamento off
                     "B0 78 00", "C0 00 00", "B0 01 00", "B0 41 00",
                     // channel 1: wheel at 63
                     "B1 78 00", "C1 28 00", "B1 01 3F", "B1 41 00",
                     // channel 2: portamento on, time 63, control from note 1
                     "B2 78 00", "C2 7F 00", "B2 01 00", "B2 41 01", "B2 05 3F", "B2 54 01"}));
}

TEST(StartPlayback, SendsEighteenMessagesWithEveryFlagSet) {
    SongSettings s;
    s.modulation = {1, 1, 1};
    s.portamento = {5, 5, 5}; // any non-zero value counts as set
    const Texts messages = start(s).messages;
    ASSERT_EQ(messages.size(), 18u);
    EXPECT_EQ(messages[2], "B0 01 3F");
    EXPECT_EQ(messages[17], "B2 54 01");
}

TEST(StartPlayback, ProgramOutsideTheTableIsKeptInADataByte) {
    SongSettings s;
    s.instrument = {200, -5, 128};
    const Texts messages = start(s).messages;
    EXPECT_EQ(messages[1], "C0 7F 00");
    EXPECT_EQ(messages[5], "C1 00 00");
    EXPECT_EQ(messages[9], "C2 7F 00");
}

TEST(StartPlayback, ResetsCountersKeepsLastNotesAndStartsTheTimer) {
    SongSettings s;
    s.beatLength = 7;
    s.stepMs = 133;
    s.drumKit = {0, 1, 61, 62, -1, 9, 2147483647, 30};
    PlayState before;
    before.playPosition = 517;
    before.drumSlotCounter = 5;
    before.beatCounter = 3;
    before.lastNote = {60, 61, 62, 63};
    const Started started = start(s, before);
    EXPECT_EQ(started.state.playPosition, 0);
    EXPECT_EQ(started.state.drumSlotCounter, 0);
    EXPECT_EQ(started.state.beatCounter, 7);
    EXPECT_EQ(started.state.lastNote, before.lastNote);
    EXPECT_TRUE(started.timer.running);
    EXPECT_EQ(started.timer.period, 133);
    // Entries outside the drum table give no hit.
    EXPECT_EQ(started.score.drumNotes, (std::array<NoteByte, 8>{0, 27, 87, 0, 0, 35, 0, 56}));
}

TEST(StopPlayback, SilencesTheVoiceChannelsOnlyEvenWhenIdle) {
    for (bool playing : {true, false}) {
        RecordingOutput output;
        ManualStepTimer timer;
        timer.running = playing;
        stopPlayback(output, timer);
        EXPECT_FALSE(timer.running);
        EXPECT_EQ(messageTexts(output.messages), (Texts{"B0 78 00", "B1 78 00", "B2 78 00"}));
    }
}

} // namespace
} // namespace tarnwick
