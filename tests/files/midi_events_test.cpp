#include <algorithm>
#include <limits>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "playback/midi_output.h"

namespace tarnwick {
namespace {

constexpr std::uint8_t kDrumStatus = 0x99;

// A score in which no line ever rests, and eight distinct drum keys.
Score scoreWithoutRests() {
    Score score;
    score.voice1Notes.fill(70);
    score.voice2Notes.fill(60);
    score.harmonyNotes.fill(63);
    score.voice3Notes.fill(50);
    for (std::size_t slot = 0; slot < 8; ++slot) {
        score.drumNotes[slot] = static_cast<NoteByte>(35 + slot);
    }
    return score;
}

SongSettings noHoldNoHarmony() {
    SongSettings s;
    s.volume = {90, 90, 90};
    return s;
}

std::size_t countStatus(const std::vector<MidiEvent>& events, std::uint8_t status) {
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(),
                      [&](const MidiEvent& e) { return messageStatus(e.message) == status; }));
}

std::vector<MidiEvent> build(const SongSettings& s, const Score& score, std::uint32_t seed = 1) {
    RandomGenerator random(seed);
    return buildMidiEvents(s, score, random);
}

TEST(MidiEvents, RestsAppendNothingButStillDrawTheirVelocity) {
    SongSettings s; // harmony off, beat 8
    RandomGenerator random(3);
    EXPECT_TRUE(buildMidiEvents(s, Score{}, random).empty());

    // 1024 + 512 + 256 velocity draws, and per drum hit one velocity plus a
    // slot for six hits of every eight: 128 hits, 96 drawn slots.
    RandomGenerator replay(3);
    for (int i = 0; i < 1024 + 512 + 256 + 128 + 96; ++i) {
        replay.next();
    }
    EXPECT_EQ(random.state(), replay.state());
}

TEST(MidiEvents, EntriesAbove127AreRestsAndKeepTheRememberedNote) {
    Score score;
    score.voice1Notes[0] = 200;
    score.voice1Notes[1] = 128;
    score.voice1Notes[2] = 64;
    const std::vector<MidiEvent> events = build(noHoldNoHarmony(), score);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].timeMs, 2 * 175);
    EXPECT_EQ(events[0].message, packShortMessage(0x80, 0, 0)) << "note 0 is still remembered";
    EXPECT_EQ(messageStatus(events[1].message), 0x90);
    EXPECT_EQ(messageData1(events[1].message), 64);
}

TEST(MidiEvents, ANoteOffPrecedesEachNoteOnUnlessTheVoiceHolds) {
    Score score;
    score.voice1Notes[0] = 74;
    score.voice1Notes[1] = 74;
    score.voice2Notes[0] = 62;
    score.voice2Notes[1] = 63;
    SongSettings s = noHoldNoHarmony();
    s.hold[1] = 1;
    s.volume[0] = 10;
    const std::vector<MidiEvent> events = build(s, score);
    ASSERT_EQ(events.size(), 6u);
    const std::uint32_t statusAndNote[] = {0x0080, 0x4A90, 0x3E91, 0x4A80, 0x4A90, 0x3F91};
    const std::int64_t times[] = {0, 0, 0, 175, 175, 350};
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].message & 0xFFFF, statusAndNote[i]) << i;
        EXPECT_EQ(events[i].timeMs, times[i]) << i;
    }
    EXPECT_GE(messageData2(events[1].message), 10);
    EXPECT_LE(messageData2(events[1].message), 41);
    EXPECT_EQ(messageData2(events[3].message), 0) << "note-offs have velocity 0";
}

TEST(MidiEvents, CountsForFullScores) {
    const Score score = scoreWithoutRests();
    SongSettings s = noHoldNoHarmony();
    EXPECT_EQ(build(s, score).size(), 2048u + 1024 + 512 + 128) << "3712: no hold, no harmony";

    s.harmonyOffset = 3;
    s.beatLength = 1;
    const std::vector<MidiEvent> busiest = build(s, score);
    EXPECT_EQ(busiest.size(), kMaxMidiEvents) << "the largest list is never cut";
    EXPECT_EQ(countStatus(busiest, kDrumStatus), 1024u);
    EXPECT_EQ(busiest.back().timeMs, 1023 * 175);

    s.hold[1] = 1; // voice 2 and harmony: note-ons only
    EXPECT_EQ(countStatus(build(s, score), 0x91), 512u + 512);
    s.harmonyOffset = 0; // the harmony line is off although it holds notes
    EXPECT_EQ(countStatus(build(s, score), 0x91), 512u);
}

TEST(MidiEvents, BeatLengthPlacesTheDrumHits) {
    const Score score = scoreWithoutRests();
    SongSettings s = noHoldNoHarmony();
    for (const std::int32_t beat : {1024, std::numeric_limits<std::int32_t>::max()}) {
        s.beatLength = beat;
        const std::vector<MidiEvent> events = build(s, score);
        ASSERT_EQ(countStatus(events, kDrumStatus), 1u);
        const auto hit = std::find_if(events.begin(), events.end(), [](const MidiEvent& e) {
            return messageStatus(e.message) == kDrumStatus;
        });
        EXPECT_EQ(hit->timeMs, 0);
        EXPECT_EQ(messageData1(hit->message), 35) << "slot 0";
    }
    for (const std::int32_t beat : {0, -5}) { // below 1 counts as 1
        s.beatLength = beat;
        EXPECT_EQ(countStatus(build(s, score), kDrumStatus), 1024u);
    }
}

TEST(MidiEvents, DrumCycleOfEightHits) {
    Score score = scoreWithoutRests();
    SongSettings s = noHoldNoHarmony();
    std::vector<std::pair<std::int64_t, int>> hits; // (step, key)
    for (const MidiEvent& e : build(s, score, 7)) {
        if (messageStatus(e.message) == kDrumStatus) {
            hits.emplace_back(e.timeMs / 175, messageData1(e.message));
        }
    }
    ASSERT_EQ(hits.size(), 128u);
    for (std::size_t h = 0; h < hits.size(); ++h) {
        EXPECT_EQ(hits[h].first, static_cast<std::int64_t>(8 * h));
        if (h % 8 < 2) {
            EXPECT_EQ(hits[h].second, 35 + static_cast<int>(h % 8)) << "hit " << h;
        }
    }

    score.drumNotes[0] = 0; // a silent first slot still counts as a hit
    hits.clear();
    for (const MidiEvent& e : build(s, score, 7)) {
        if (messageStatus(e.message) == kDrumStatus && e.timeMs / 175 % 64 < 16) {
            hits.emplace_back(e.timeMs / 175, messageData1(e.message));
        }
    }
    ASSERT_EQ(hits.size(), 16u);
    EXPECT_EQ(hits.front(), (std::pair<std::int64_t, int>{8, 36}));
    EXPECT_EQ(hits.back(), (std::pair<std::int64_t, int>{968, 36}));
}

TEST(MidiEvents, VelocitiesStayInRangeAndTimesDoNotOverflow) {
    Score score;
    score.voice1Notes.fill(60);
    score.voice3Notes.fill(50);
    SongSettings s = noHoldNoHarmony();
    s.hold = {1, 1, 1};
    s.volume = {-100, 0, std::numeric_limits<std::int32_t>::max()};
    s.stepMs = std::numeric_limits<std::int32_t>::max();
    const std::vector<MidiEvent> events = build(s, score);
    for (const MidiEvent& e : events) {
        const int velocity = messageData2(e.message);
        EXPECT_EQ(velocity, messageStatus(e.message) == 0x90 ? 0 : 127);
    }
    EXPECT_EQ(events.back().timeMs, std::int64_t{1023} * std::numeric_limits<std::int32_t>::max());
}

} // namespace
} // namespace tarnwick
