#include <algorithm>
#include <limits>
#include <numeric>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "midi/midi_output.h"

namespace tarnwick {
namespace {

using Events = std::vector<MidiEvent>;
using Hits = std::vector<std::pair<std::int64_t, int>>; // drum (step, key) at 175 ms per step
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

// No line ever rests; the eight drum slots hold keys 35..42.
Score scoreWithoutRests() {
    Score score;
    score.voice1Notes.fill(70);
    score.voice2Notes.fill(60);
    score.harmonyNotes.fill(63);
    score.voice3Notes.fill(50);
    std::iota(score.drumNotes.begin(), score.drumNotes.end(), NoteByte{35});
    return score;
}

Events build(const SongSettings& s, const Score& score = scoreWithoutRests(),
             std::uint32_t seed = 1) {
    RandomGenerator random(seed);
    return buildMidiEvents(s, score, random);
}

std::size_t countStatus(const Events& events, std::uint8_t status) {
    return static_cast<std::size_t>(std::count_if(
        events.begin(), events.end(), [&](auto& e) { return messageStatus(e.message) == status; }));
}

Hits drumHits(const Events& events) {
    Hits hits;
    for (const MidiEvent& e : events) {
        if (messageStatus(e.message) == 0x99) {
            hits.emplace_back(e.timeMs / 175, messageData1(e.message));
        }
    }
    return hits;
}

TEST(MidiEvents, RestsAppendNothingButStillDrawTheirVelocity) {
    RandomGenerator random(3);
    EXPECT_TRUE(buildMidiEvents(SongSettings{}, Score{}, random).empty());
    // 1024 + 512 + 256 velocity draws (harmony off), and per drum hit (beat 8)
    // one velocity plus a slot for six hits of every eight: 128 hits, 96 slots.
    RandomGenerator replay(3);
    for (int i = 0; i < 1024 + 512 + 256 + 128 + 96; ++i) {
        replay.next();
    }
    EXPECT_EQ(random.state(), replay.state());
}

// Voice 1 ends its remembered note (0 at first) before each note-on; entries
// above 127 are rests that keep the remembered note; voice 2 holds.
TEST(MidiEvents, NoteOffsPrecedeNoteOnsUnlessTheVoiceHolds) {
    Score score;
    std::copy_n(std::array<NoteByte, 5>{74, 74, 200, 128, 64}.begin(), 5,
                score.voice1Notes.begin());
    score.voice2Notes[0] = 62;
    score.voice2Notes[1] = 63;
    SongSettings s;
    s.hold[1] = 1;
    s.volume[0] = 10;
    std::vector<std::uint32_t> statusAndNote;
    std::vector<std::int64_t> times;
    for (const MidiEvent& e : build(s, score)) {
        statusAndNote.push_back(e.message & 0xFFFF);
        times.push_back(e.timeMs);
        const int velocity = messageData2(e.message);
        EXPECT_TRUE(messageStatus(e.message) < 0x90 ? velocity == 0
                                                    : velocity >= 10 && velocity <= 41);
    }
    EXPECT_EQ(statusAndNote, (std::vector<std::uint32_t>{0x0080, 0x4A90, 0x3E91, 0x4A80, 0x4A90,
                                                         0x3F91, 0x4A80, 0x4090}));
    EXPECT_EQ(times, (std::vector<std::int64_t>{0, 0, 0, 175, 175, 350, 700, 700}));
}

TEST(MidiEvents, CountsForFullScores) {
    SongSettings s;
    EXPECT_EQ(build(s).size(), 2048u + 1024 + 512 + 128) << "3712: no hold, no harmony";
    s.harmonyOffset = 3;
    s.beatLength = 1;
    const Events busiest = build(s);
    EXPECT_EQ(busiest.size(), kMaxMidiEvents) << "the largest list is never cut";
    EXPECT_EQ(drumHits(busiest).size(), 1024u);
    EXPECT_EQ(busiest.back().timeMs, 1023 * 175);
    s.hold[1] = 1; // voice 2 and harmony: note-ons only
    EXPECT_EQ(countStatus(build(s), 0x91), 512u + 512);
    s.harmonyOffset = 0; // the harmony line is off although it holds notes
    EXPECT_EQ(countStatus(build(s), 0x91), 512u);
}

// A hit every beatLength steps (below 1 counts as 1). Of each cycle of eight
// hits the first plays slot 0, the second slot 1, the others a drawn slot.
TEST(MidiEvents, DrumHitsAndTheirCycleOfEight) {
    for (const std::int32_t beat : {1024, kMaxInt}) {
        EXPECT_EQ(drumHits(build({.beatLength = beat})), (Hits{{0, 35}})) << beat;
    }
    for (const std::int32_t beat : {0, -5}) {
        EXPECT_EQ(drumHits(build({.beatLength = beat})).size(), 1024u) << beat;
    }
    Score score = scoreWithoutRests();
    const Hits hits = drumHits(build({}, score, 7));
    ASSERT_EQ(hits.size(), 128u);
    for (std::size_t h = 0; h < hits.size(); ++h) {
        EXPECT_EQ(hits[h].first, static_cast<std::int64_t>(8 * h));
        if (h % 8 < 2) {
            EXPECT_EQ(hits[h].second, 35 + static_cast<int>(h % 8)) << "hit " << h;
        }
    }
    Hits withoutSlot0 = hits;
    std::erase_if(withoutSlot0, [](const auto& hit) { return hit.second == 35; });
    score.drumNotes[0] = 0; // a silent slot: its hits go, the cycle and the draws go on
    EXPECT_EQ(drumHits(build({}, score, 7)), withoutSlot0);
}

TEST(MidiEvents, VelocitiesStayInRangeAndTimesDoNotOverflow) {
    Score score;
    score.voice1Notes.fill(60);
    score.voice3Notes.fill(50);
    const Events events =
        build({.volume = {-100, 0, kMaxInt}, .hold = {1, 1, 1}, .stepMs = kMaxInt}, score);
    for (const MidiEvent& e : events) {
        EXPECT_EQ(messageData2(e.message), messageStatus(e.message) == 0x90 ? 0 : 127);
    }
    EXPECT_EQ(events.back().timeMs, std::int64_t{1023} * kMaxInt);
}

} // namespace
} // namespace tarnwick
