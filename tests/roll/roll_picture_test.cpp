#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "midi/recording_output.h"
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

TEST(RollText, NoteNamesAndWhatHoveringSays) {
    const std::pair<int, const char*> names[] = {{60, "C4"}, {64, "E4"},  {61, "C#4"},
                                                 {0, "C-1"}, {11, "B-1"}, {127, "G9"}};
    for (const auto& [note, name] : names) {
        EXPECT_EQ(noteName(note), name) << note;
    }
    EXPECT_EQ(describeNote({RollLine::Voice2, 96, 2, 64}), "voice 2, step 96, E4");

    // The note on top at a step it sounds through; nothing on a resting row.
    const RollPicture picture{
        {{RollLine::Voice1, 0, 8, 60}, {RollLine::Voice3, 4, 8, 60}, {RollLine::Voice2, 0, 2, 72}},
        {{16, 39}}};
    const RollLayout layout(kWindowMetrics, pitchSpanOf(picture.notes));
    const auto at = [&](int step, double y) {
        return describeAt(picture, layout, layout.stepX(step) + 0.5, y);
    };
    EXPECT_EQ(at(3, layout.noteCentreY(60)), "voice 1, step 0, C4");
    EXPECT_EQ(at(5, layout.noteCentreY(60)), "voice 3, step 4, C4");
    EXPECT_EQ(at(5, layout.noteCentreY(61)), "");
    EXPECT_EQ(at(16, layout.laneRect().y + 1), "drums, step 16, Hand Clap");
}

TEST(RollFollower, MarksTheBeatAheadAndFillsInWhatIsHeard) {
    SongSettings settings;
    settings.beatLength = 7;
    Score score;
    score.drumNotes.fill(36);
    PlayState state;
    state.beatCounter = settings.beatLength; // as a start leaves it
    RandomGenerator random(1);
    RecordingOutput output;
    RollFollower follower;
    follower.restart(state, settings.beatLength);
    EXPECT_EQ(follower.beatsAhead().front(), 0);
    EXPECT_EQ(follower.beatsAhead().back(), 1022);
    const auto tick = [&] {
        output.messages.clear();
        playStep(state, score, settings, random, output);
        std::ranges::for_each(output.messages, [&](std::uint32_t m) { follower.hear(m); });
        return follower.follow(state, settings.beatLength);
    };

    RollChange change = tick();
    EXPECT_EQ(change.oldPlayhead, std::nullopt);
    EXPECT_EQ(change.newPlayhead, 0);
    EXPECT_FALSE(change.wholeLane);
    EXPECT_EQ(follower.hits(), (std::vector<DrumHit>{{0, 36}}));
    EXPECT_EQ(follower.beatsAhead().front(), 7);

    // The wrap clears the hits; the beat counts ticks, so the second pass's
    // beats fall on steps 5, 12, ...
    while (state.playPosition < kStepCount) {
        tick();
    }
    EXPECT_EQ(follower.hits().size(), 147u);
    change = tick();
    EXPECT_EQ(change.oldPlayhead, 1023);
    EXPECT_EQ(change.newPlayhead, 0);
    EXPECT_TRUE(change.wholeLane);
    EXPECT_TRUE(follower.hits().empty());
    EXPECT_EQ(follower.beatsAhead().front(), 5);

    settings.beatLength = 4; // a beat changed while playing moves the marks
    EXPECT_TRUE(tick().wholeLane);
}

} // namespace
} // namespace tarnwick::testing
