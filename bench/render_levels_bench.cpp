// The levels of rendered pieces: many varied pieces (as drawn by "Random All",
// with loud instruments and the harmony line, with drums on every step, with
// short steps) rendered whole through the output stage. Reports the highest
// peak of all (the aim: at most -1 dBFS), the median RMS level (the aim: at
// least -26 dBFS) and how often and how deeply the limiter had to act.

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "synth/piece_renderer.h"
#include "synth/soundfont_locator.h"

namespace tarnwick {
namespace {

constexpr int kPieces = 16;
// Programs that sound loud in General MIDI fonts: organs, distortion guitar,
// brass, saw lead.
constexpr std::array<int, 6> kLoudPrograms = {16, 19, 30, 56, 61, 81};

double decibels(double level) {
    return 20.0 * std::log10(std::max(level, 1e-10));
}

// Piece n: "Random All" with seed n, then one of four treatments.
SongSettings variedPiece(int n, Score& score, std::vector<MidiEvent>& events) {
    RandomGenerator random(static_cast<std::uint32_t>(n));
    SongSettings settings;
    const auto draw = [&](SongSettings& s) {
        randomiseAll(s, random);
        switch (n % 4) {
        case 1: // loud instruments, loud voices, the harmony line on
            for (std::size_t k = 0; k < kVoiceCount; ++k) {
                s.instrument[k] = kLoudPrograms[static_cast<std::size_t>(n + static_cast<int>(k)) %
                                                kLoudPrograms.size()];
                s.volume[k] = 90;
            }
            s.harmonyOffset = 7;
            s.hold[1] = 0;
            break;
        case 2: // a drum on every step of every slot
            s.beatLength = 1;
            s.drumVolume = 90;
            for (std::size_t slot = 0; slot < s.drumKit.size(); ++slot) {
                s.drumKit[slot] = 10 + static_cast<std::int32_t>(slot) * 3;
            }
            break;
        case 3: // short steps, everything loud
            s.stepMs = 50;
            s.volume = {90, 90, 90};
            s.drumVolume = 90;
            s.harmonyOffset = 4;
            break;
        default:
            break;
        }
        return FileResult::success({});
    };
    (void)prepareSession(random, draw, settings, score);
    events = buildMidiEvents(settings, score, random);
    return settings;
}

void BM_RenderedLevels(benchmark::State& state) {
    const std::string font = findSoundFont(defaultSoundFontPaths());
    if (font.empty()) {
        state.SkipWithError("no General MIDI SoundFont");
        return;
    }
    std::vector<double> rms;
    double highestPeak = 0.0;
    double deepestCut = 1.0;
    int limited = 0;
    for (auto _ : state) {
        for (int n = 1; n <= kPieces; ++n) {
            Score score;
            std::vector<MidiEvent> events;
            const SongSettings settings = variedPiece(n, score, events);
            PieceRenderer renderer;
            if (!renderer.loadSoundFont(font).empty()) {
                state.SkipWithError("the SoundFont does not load");
                return;
            }
            double peak = 0.0;
            double energy = 0.0;
            std::int64_t frames = 0;
            (void)renderer.render(settings, events, [&](const float* l, const float* r, int count) {
                for (int i = 0; i < count; ++i) {
                    peak = std::max({peak, std::fabs(double{l[i]}), std::fabs(double{r[i]})});
                    energy += double{l[i]} * l[i] + double{r[i]} * r[i];
                }
                frames += count;
                return true;
            });
            rms.push_back(std::sqrt(energy / (2.0 * static_cast<double>(frames))));
            highestPeak = std::max(highestPeak, peak);
            deepestCut = std::min(deepestCut, renderer.stage().deepestCut());
            limited += renderer.stage().deepestCut() < 1.0 ? 1 : 0;
        }
    }
    std::sort(rms.begin(), rms.end());
    state.counters["highest_peak_dBFS"] = decibels(highestPeak);
    state.counters["median_rms_dBFS"] = decibels(rms[rms.size() / 2]);
    state.counters["quietest_rms_dBFS"] = decibels(rms.front());
    state.counters["loudest_rms_dBFS"] = decibels(rms.back());
    state.counters["pieces_limited"] = limited;
    state.counters["deepest_cut_dB"] = decibels(deepestCut);
}
BENCHMARK(BM_RenderedLevels)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace tarnwick
