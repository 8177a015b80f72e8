#pragma once
// Scores shared by the piano roll's tests, with the notes each should show.

#include <vector>

#include "composition/canon_generator.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "roll/roll_picture.h"

namespace tarnwick::testing {

struct RollCase {
    const char* name;
    SongSettings settings;
    Score score;
    std::vector<RollNote> expectedStart; // the first notes of the picture, line by line
};

// Seed 2 -1, repeat length 1, harmony offset 3, the rest at the start values.
inline SongSettings workedExampleSettings() {
    return {.seedCount = 2,
            .seed = {2, -1},
            .lowOctave = {1, 1, 1},
            .highOctave = {10, 10, 10},
            .voiceOffset = {24, 12, 0},
            .repeatLength = 1,
            .harmonyOffset = 3};
}

// A hand-made score: rests and entries above 127 on every line.
inline Score restsScore() {
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

inline std::vector<RollCase> rollCases() {
    using enum RollLine;
    std::vector<RollCase> cases;
    RollCase worked{"worked example", workedExampleSettings(), {}, {}};
    generateScore(worked.settings, worked.score);
    // Voice 1 from 74, 75, 77, 75, 77, 0, 80, 80, 82, 0, 0, 82; the harmony's
    // rests let each note sound for four steps.
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

} // namespace tarnwick::testing
