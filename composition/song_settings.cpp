#include "composition/song_settings.h"

#include "composition/randomisers.h"

namespace tarnwick {

void resetVoice(SongSettings& settings, std::size_t voice) {
    settings.lowOctave[voice] = 1;
    settings.highOctave[voice] = 10;
    settings.volume[voice] = 90;
    settings.hold[voice] = 0;
    settings.modulation[voice] = 0;
    settings.portamento[voice] = 0;
}

void applyStartValues(SongSettings& settings, RandomGenerator& random) {
    drawSeed(settings, random);
    settings.transpose = 0;
    settings.repeatLength = 0;
    settings.harmonyOffset = 0;
    for (std::size_t k = 0; k < kVoiceCount; ++k) {
        settings.instrument[k] = 0;
        resetVoice(settings, k);
    }
    // Three voices an octave apart, starting on C5, C4 and C3 (pitches 72, 60
    // and 48); the middle voice holds its notes.
    settings.voiceOffset = {24, 12, 0};
    settings.hold[1] = 1;
}

} // namespace tarnwick
