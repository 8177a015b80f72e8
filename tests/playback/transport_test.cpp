#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/recording_output.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/transport.h"
#include "tests/playback/message_text.h"

namespace tarnwick {
namespace {

using testing::messageTexts;
using Texts = std::vector<std::string>;

TEST(StartPlayback, SetsUpEachVoiceChannelInOrder) {
    SongSettings s;
    s.instrument = {200, 40, 127}; // a program outside the table is kept in a data byte
    s.modulation = {0, 1, 0};
    s.portamento = {1, 0, 5}; // any non-zero value counts as set
    Score score;
    PlayState state;
    RecordingOutput output;
    ManualStepTimer timer;
    startPlayback(s, score, state, output, timer);
    EXPECT_EQ(messageTexts(output.messages),
              (Texts{// channel 0: all sound off, program, wheel 0, portamento on with
                     // time 63 and control from note 1
                     "B0 78 00", "C0 7F 00", "B0 01 00", "B0 41 01", "B0 05 3F", "B0 54 01",
                     // channel 1: wheel at 63, portamento switched off
                     "B1 78 00", "C1 28 00", "B1 01 3F", "B1 41 00",
                     // channel 2
                     "B2 78 00", "C2 7F 00", "B2 01 00", "B2 41 01", "B2 05 3F", "B2 54 01"}));
}

TEST(StartPlayback, ResetsCountersKeepsLastNotesAndStartsTheTimer) {
    SongSettings s;
    s.beatLength = 7;
    s.stepMs = 133;
    s.drumKit = {0, 1, 61, 62, -1, 9, 2147483647, 30};
    Score score;
    PlayState state{517, 3, 5, {60, 61, 62, 63}};
    RecordingOutput output;
    ManualStepTimer timer;
    startPlayback(s, score, state, output, timer);
    EXPECT_EQ(state, (PlayState{0, 7, 0, {60, 61, 62, 63}}));
    EXPECT_TRUE(timer.running);
    EXPECT_EQ(timer.period, 133);
    // Entries outside the drum table give no hit.
    EXPECT_EQ(score.drumNotes, (std::array<NoteByte, 8>{0, 27, 87, 0, 0, 35, 0, 56}));
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
