#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "files/midi_events.h"
#include "midi/channel_messages.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "roll/roll_drawing.h"
#include "roll/roll_follower.h"
#include "roll_test_scores.h"

namespace tarnwick::testing {
namespace {

TEST(SoundingNotes, EachNoteSoundsUntilItsLinesNextPlayableNote) {
    for (const RollCase& c : rollCases()) {
        const std::vector<RollNote> notes = soundingNotes(c.score, c.settings);
        // The picture's notes up to the last expected step of their line.
        std::vector<RollNote> start;
        std::ranges::copy_if(notes, std::back_inserter(start), [&](const RollNote& n) {
            return std::ranges::any_of(c.expectedStart, [&](const RollNote& e) {
                return e.line == n.line && n.step <= e.step;
            });
        });
        EXPECT_EQ(start, c.expectedStart) << c.name;
        EXPECT_EQ(std::ranges::count(notes, RollLine::Harmony, &RollNote::line) > 0,
                  c.settings.harmonyOffset != 0)
            << c.name;
    }
}

TEST(SoundingNotes, DrumHitsAreTheExportsChannelNineNoteOns) {
    SongSettings settings = workedExampleSettings();
    settings.stepMs = 90;
    settings.beatLength = 3;
    Score score;
    score.drumNotes = {36, 0, 38, 42, 0, 46, 49, 51}; // silent slots strike nothing
    RandomGenerator random(7);
    const std::vector<MidiEvent> events = buildMidiEvents(settings, score, random);
    const std::vector<DrumHit> hits = drumHitsOf(events, settings.stepMs);

    ASSERT_EQ(hits.front(), (DrumHit{0, 36}));
    EXPECT_EQ(hits.size(), static_cast<std::size_t>(std::ranges::count_if(
                               events, [](auto& e) { return messageStatus(e.message) == 0x99; })));
    for (const DrumHit& hit : hits) {
        EXPECT_EQ(hit.step % 3, 0);
        EXPECT_TRUE(std::ranges::find(score.drumNotes, hit.note) != score.drumNotes.end());
    }
}

TEST(RollText, NoteNamesAndHoverDescriptions) {
    const std::pair<int, const char*> names[] = {{60, "C4"},  {64, "E4"}, {61, "C#4"}, {0, "C-1"},
                                                 {11, "B-1"}, {24, "C1"}, {127, "G9"}};
    for (const auto& [note, name] : names) {
        EXPECT_EQ(noteName(note), name) << note;
    }
    EXPECT_EQ(describeNote({RollLine::Voice2, 96, 2, 64}), "voice 2, step 96, E4");
    EXPECT_EQ(describeDrumHit({40, 39}), "drums, step 40, Hand Clap");

    // Hover: the note on top at a step it sounds through; nothing on a rest row.
    const RollPicture picture{
        {{RollLine::Voice1, 0, 8, 60}, {RollLine::Voice3, 4, 8, 60}, {RollLine::Voice2, 0, 2, 72}},
        {{16, 39}}};
    const RollLayout layout(kWindowMetrics, pitchSpanOf(picture.notes));
    const auto at = [&](int step, int note) {
        return describeAt(picture, layout, layout.stepX(step) + 0.5, layout.noteCentreY(note));
    };
    EXPECT_EQ(at(3, 60), "voice 1, step 0, C4");
    EXPECT_EQ(at(5, 60), "voice 3, step 4, C4");
    EXPECT_EQ(at(5, 61), "");
    EXPECT_EQ(describeAt(picture, layout, layout.stepX(16), layout.laneRect().y + 1),
              "drums, step 16, Hand Clap");
}

TEST(RollLayout, PitchRowsCoverWholeOctavesOfTheNotes) {
    const std::pair<std::vector<int>, PitchSpan> cases[] = {
        {{}, {24, 107}}, {{61, 64}, {60, 71}}, {{59, 60}, {48, 71}}, {{1, 127}, {0, 127}}};
    for (const auto& [notes, span] : cases) {
        std::vector<RollNote> rollNotes;
        for (const int n : notes) {
            rollNotes.push_back({RollLine::Voice1, 0, 1, n});
        }
        EXPECT_EQ(pitchSpanOf(rollNotes), span) << notes.size();
    }
}

// After `ticks` steps played from a start with this beat.
PlayState playedFromStart(int ticks, int beatLength) {
    PlayState state;
    state.beatCounter = beatLength; // as a start sets it
    for (int t = 0; t < ticks; ++t) {
        if (state.playPosition >= kStepCount) {
            state.playPosition = 0;
        }
        ++state.playPosition;
        countDrumTick(state.beatCounter, beatLength);
    }
    return state;
}

TEST(RollFollower, MarksTheBeatAheadAndFillsInWhatIsHeard) {
    RollFollower follower;
    follower.restart(playedFromStart(0, 7), 7);
    EXPECT_EQ(follower.beatsAhead().front(), 0);
    EXPECT_EQ(follower.beatsAhead().back(), 1022);

    follower.hear(midi::noteOn(9, 36, 90));
    follower.hear(midi::noteOn(0, 60, 90)); // not a drum
    RollChange change = follower.follow(playedFromStart(1, 7), 7);
    EXPECT_EQ(change.oldPlayhead, std::nullopt);
    EXPECT_EQ(change.newPlayhead, 0);
    EXPECT_FALSE(change.wholeLane);
    EXPECT_EQ(follower.hits(), (std::vector<DrumHit>{{0, 36}}));
    EXPECT_EQ(follower.beatsAhead().front(), 7);

    // A changed beat moves the marks ahead.
    EXPECT_TRUE(follower.follow(playedFromStart(2, 7), 4).wholeLane);

    // The pass wraps: the hits heard are cleared, and the beat, which counts
    // ticks, falls on steps 5, 12, ... in the second pass.
    follower.follow(playedFromStart(1024, 7), 7);
    follower.hear(midi::noteOn(9, 38, 90));
    change = follower.follow(playedFromStart(1025, 7), 7);
    EXPECT_EQ(change.oldPlayhead, 1023);
    EXPECT_EQ(change.newPlayhead, 0);
    EXPECT_TRUE(change.wholeLane);
    EXPECT_EQ(follower.hits(), (std::vector<DrumHit>{{0, 38}}));
    EXPECT_EQ(follower.beatsAhead().front(), 5);
}

} // namespace
} // namespace tarnwick::testing
