#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/recording_output.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "roll/roll_drawing.h"
#include "roll/roll_follower.h"

namespace tarnwick::testing {
namespace {

struct RollCase {
    const char* name;
    SongSettings settings;
    Score score;
    std::vector<RollNote> expectedStart; // the first notes of the picture, line by line
};

// A hand-made score: rests and entries above 127 on every line.
Score restsScore() {
    Score score;
    score.voice1Notes[0] = 60;
    score.voice1Notes[1] = 200; // no MIDI note: 60 sounds on
    score.voice1Notes[3] = 64;
    score.voice1Notes[1020] = 67; // to the end of the pass
    score.voice2Notes[1] = 62;    // step 2
    score.voice2Notes[2] = 128;
    score.harmonyNotes[1] = 65;
    score.voice3Notes[255] = 48; // step 1020
    return score;
}

std::vector<RollCase> rollCases() {
    using enum RollLine;
    std::vector<RollCase> cases;
    RollCase worked{"worked example",
                    {.seedCount = 2,
                     .seed = {2, -1},
                     .lowOctave = {1, 1, 1},
                     .highOctave = {10, 10, 10},
                     .voiceOffset = {24, 12, 0},
                     .repeatLength = 1,
                     .harmonyOffset = 3},
                    {},
                    {}};
    generateScore(worked.settings, worked.score);
    // Voice 1 from 74, 75, 77, 75, 77, 0, 80, 80, 82, 0, 0, 82; a rest holds on.
    worked.expectedStart = {
        {Voice1, 0, 1, 74},  {Voice1, 1, 1, 75},  {Voice1, 2, 1, 77}, {Voice1, 3, 1, 75},
        {Voice1, 4, 2, 77},  {Voice1, 6, 1, 80},  {Voice1, 7, 1, 80}, {Voice1, 8, 3, 82},
        {Voice1, 11, 1, 82}, {Voice2, 0, 2, 62},  {Voice2, 2, 2, 63}, {Harmony, 0, 4, 65},
        {Harmony, 4, 4, 65}, {Harmony, 8, 4, 70}, {Voice3, 0, 4, 50}, {Voice3, 4, 4, 50}};
    cases.push_back(worked);

    RollCase rests{"rests and entries above 127", {}, restsScore(), {}};
    rests.settings.harmonyOffset = 5;
    rests.expectedStart = {{Voice1, 0, 3, 60},    {Voice1, 3, 1017, 64},  {Voice1, 1020, 4, 67},
                           {Voice2, 2, 1022, 62}, {Harmony, 2, 1022, 65}, {Voice3, 1020, 4, 48}};
    cases.push_back(rests);

    RollCase held = rests;
    held.name = "held lines draw as released ones";
    held.settings.hold = {1, 1, 1};
    cases.push_back(held);

    RollCase harmonyOff = rests;
    harmonyOff.name = "harmony off";
    harmonyOff.settings.harmonyOffset = 0;
    std::erase_if(harmonyOff.expectedStart, [](const RollNote& n) { return n.line == Harmony; });
    cases.push_back(harmonyOff);
    return cases;
}

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
    EXPECT_EQ(layout.pitchSpan(), (PitchSpan{60, 83})); // whole octaves
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

    // The wrap clears the hits; the second pass's beats fall on steps 5, 12, ...
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
