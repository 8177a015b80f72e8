// The stems against the mix: equal lengths, silence where a line has not
// begun or never sounds, and a sum that is the mix before its limiter.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "synth/audio_render.h"
#include "synth/piece_renderer.h"
#include "synth/soundfont_locator.h"
#include "synth/stem_render.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

// A sound file's interleaved samples; empty when it cannot be read.
std::vector<float> readSamples(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// The level of what the stems' sum, brought back by `gainDb`, leaves of `mix`.
double residualDb(const std::vector<std::vector<float>>& stems, double gainDb,
                  const std::vector<float>& mix) {
    const double back = std::pow(10.0, -gainDb / 20.0);
    double residual = 0.0, energy = 0.0;
    for (std::size_t i = 0; i < mix.size(); ++i) {
        double sum = 0.0;
        for (const std::vector<float>& stem : stems) {
            sum += stem[i];
        }
        residual += std::pow(sum * back - mix[i], 2);
        energy += double{mix[i]} * mix[i];
    }
    return 10.0 * std::log10(residual / energy);
}

class StemRenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        font = findSoundFont(defaultSoundFontPaths());
        if (font.empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont (fluid-soundfont-gm)";
        }
    }
    // The start values, then `change`, at 20 ms per step (a 22.5 s piece):
    // shorter than the controls allow, so that the renders take less time.
    void compose(const std::function<void(SongSettings&)>& change) {
        RandomGenerator random(2024);
        const auto load = [&](SongSettings& s) {
            change(s);
            return FileResult::success({});
        };
        (void)prepareSession(random, load, settings, score);
        settings.stepMs = 20;
        events = buildLineEvents(settings, score, random);
    }
    // Renders the stems as WAV files and reads them back, in line order.
    StemsRenderResult renderStems() {
        StemsRenderResult result =
            renderStemFiles(dir.path().string(), AudioFileFormat::Wav, font, settings, events);
        stems.clear();
        for (const std::string& path : result.written) {
            stems.push_back(readSamples(path));
        }
        return result;
    }
    // The first frame at which `line` starts a note.
    std::size_t firstNoteFrame(PieceLine line) const {
        for (const LineEvent& e : events) {
            if (e.line == line && (e.event.message & 0xF0) == 0x90) {
                return static_cast<std::size_t>(eventFrame(e.event.timeMs));
            }
        }
        return SIZE_MAX;
    }

    std::string font;
    testing::TempDir dir;
    SongSettings settings;
    Score score;
    std::vector<LineEvent> events;
    std::vector<std::vector<float>> stems;
};

// Loud, the harmony on voice 2's held channel (where the two often strike the
// same key), portamento and modulation set, no drum sounding: one common
// gain, and the sum is the mix before its limiter.
TEST_F(StemRenderTest, LoudStemsShareOneGainAndAddUpToTheMixBeforeItsLimiter) {
    compose([](SongSettings& s) {
        s.instrument = {30, 48, 30};
        s.volume = {90, 90, 90};
        s.hold = {1, 1, 0};
        s.modulation = {0, 1, 0};
        s.portamento = {0, 1, 1};
        s.harmonyOffset = -5;
        s.voiceOffset = {24, 12, 48};
    });
    const StemsRenderResult result = renderStems();
    ASSERT_EQ(result.status, RenderStatus::Written) << result.file.message();
    std::vector<std::string> names;
    for (const std::string& path : result.written) {
        names.push_back(std::filesystem::path(path).filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"voice1.wav", "voice2.wav", "harmony.wav",
                                               "voice3.wav", "drums.wav"}));
    std::vector<std::string> left = dir.names();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"drums.wav", "harmony.wav", "voice1.wav",
                                              "voice2.wav", "voice3.wav"}))
        << "nothing else left in the folder";
    EXPECT_LT(result.gainDb, 0.0) << "this piece must need a lower gain";

    PieceRenderer mixer(renderSynthConfig(), {.ceilingDb = 60.0}); // no limiting
    ASSERT_EQ(mixer.loadSoundFont(font), "");
    std::vector<float> mix;
    ASSERT_TRUE(
        mixer.render(settings, untagged(events), [&](const float* l, const float* r, int n) {
            for (int i = 0; i < n; ++i) {
                mix.push_back(l[i]);
                mix.push_back(r[i]);
            }
            return true;
        }));
    for (std::size_t s = 0; s < stems.size(); ++s) {
        ASSERT_EQ(stems[s].size(), mix.size()) << names[s];
        const auto [low, high] = std::minmax_element(stems[s].begin(), stems[s].end());
        EXPECT_LE(std::max(-*low, *high), std::pow(10.0, -1.0 / 20.0)) << names[s];
        // Nothing before the line's first note; the drums never sound. (A
        // 16-bit file holds the effects' remainders, below 1e-7, as 0 or -1.)
        const std::size_t first = std::min(firstNoteFrame(stemLines(settings)[s]), mix.size() / 2);
        float before = 0.0f;
        for (std::size_t i = 0; i < 2 * first; ++i) {
            before = std::max(before, std::abs(stems[s][i]));
        }
        EXPECT_LE(before, 1.0f / 32768) << names[s];
    }
    EXPECT_EQ(firstNoteFrame(PieceLine::Drums), SIZE_MAX);
    EXPECT_LT(residualDb(stems, result.gainDb, mix), -50.0);
}

// A quiet piece the limiter leaves alone, without the harmony: the stems sum
// to Save as Audio's own file, and a file that is no font or a cancel leaves
// nothing.
TEST_F(StemRenderTest, QuietStemsAddUpToTheMixFileAndACancelLeavesNoFile) {
    compose([](SongSettings& s) {
        s.volume = {30, 30, 30};
        s.drumVolume = 30;
        s.beatLength = 4;
        s.drumKit = {10, 13, 0, 0, 0, 0, 0, 0};
    });
    const std::vector<MidiEvent> plain = untagged(events);
    const std::string mixPath = dir.file("mix.wav");
    ASSERT_EQ(renderAudioFile(mixPath, font, settings, plain).status, RenderStatus::Written);
    const std::vector<float> mix = readSamples(mixPath);
    EXPECT_EQ(renderStemFiles(dir.path().string(), AudioFileFormat::Wav, mixPath, settings, events)
                  .status,
              RenderStatus::FontUnusable);
    std::filesystem::remove(mixPath);

    EXPECT_EQ(renderStemFiles(dir.path().string(), AudioFileFormat::Flac, font, settings, events,
                              [](double done) { return done < 0.1; })
                  .status,
              RenderStatus::Cancelled);
    EXPECT_EQ(dir.names(), std::vector<std::string>{});

    const StemsRenderResult result = renderStems();
    ASSERT_EQ(result.status, RenderStatus::Written) << result.file.message();
    EXPECT_EQ(result.gainDb, 0.0);
    ASSERT_EQ(stems.size(), 4u) << "no harmony";
    for (const std::vector<float>& stem : stems) {
        ASSERT_EQ(stem.size(), mix.size());
    }
    EXPECT_LT(residualDb(stems, 0.0, mix), -50.0);
}

} // namespace
} // namespace tarnwick
