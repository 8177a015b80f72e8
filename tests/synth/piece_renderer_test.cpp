// The piece rendered with the real SoundFont: length, onsets, level, files.

#include <algorithm>
#include <cmath>
#include <csignal>
#include <string>
#include <sys/resource.h>
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
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

TEST(PieceLength, IsThePassAndTwoSecondsToTheNearestFrame) {
    EXPECT_EQ(pieceFrames(175), 7'990'920); // 181.2 s
    EXPECT_EQ(pieceFrames(51), 2'391'278);  // 54.224 s: 2391278.4 frames
    EXPECT_EQ(eventFrame(175), 7744);       // 7717.5 frames: block 120.6 -> 121
    EXPECT_EQ(eventFrame(1023 * 175), 7'894'976);
}

// A sound file's format and its samples, decoded.
std::pair<SF_INFO, std::vector<float>> readSoundFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> samples(file != nullptr ? static_cast<std::size_t>(info.frames * 2) : 0);
    if (file != nullptr) {
        sf_readf_float(file, samples.data(), info.frames);
        sf_close(file);
    }
    return {info, samples};
}

class PieceRendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        font = findSoundFont(defaultSoundFontPaths());
        if (font.empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont (fluid-soundfont-gm)";
        }
    }
    // The start values at 50 ms per step (a 53.2 s piece), then `change`.
    void compose(const std::function<void(SongSettings&)>& change = {}) {
        RandomGenerator random(2024);
        const auto load = [&](SongSettings& s) {
            s.stepMs = 50;
            if (change) {
                change(s);
            }
            return FileResult::success({});
        };
        (void)prepareSession(random, load, settings, score);
        events = buildMidiEvents(settings, score, random);
    }
    // Renders into `left`; the peak and RMS level of both channels.
    void render() {
        PieceRenderer renderer;
        ASSERT_EQ(renderer.loadSoundFont(font), "");
        left.clear();
        double energy = 0.0;
        peak = 0.0;
        EXPECT_TRUE(renderer.render(settings, events, [&](const float* l, const float* r, int n) {
            left.insert(left.end(), l, l + n);
            for (int i = 0; i < n; ++i) {
                peak = std::max({peak, std::fabs(double{l[i]}), std::fabs(double{r[i]})});
                energy += double{l[i]} * l[i] + double{r[i]} * r[i];
            }
            return true;
        }));
        rmsDb = 10.0 * std::log10(energy / (2.0 * static_cast<double>(left.size())));
        cut = renderer.stage().deepestCut();
    }

    std::string font;
    SongSettings settings;
    Score score;
    std::vector<MidiEvent> events;
    std::vector<float> left;
    double peak = 0.0, rmsDb = 0.0, cut = 1.0;
};

TEST_F(PieceRendererTest, NotesStartOnTheStepsWhereTheListHasNoteOns) {
    // A wood block in slot 0 only, no voices: the note-ons fall irregularly.
    compose([](SongSettings& s) {
        s.stepMs = 100;
        s.beatLength = 3;
        s.drumKit = {50, 0, 0, 0, 0, 0, 0, 0}; // key 76, Hi Wood Block
    });
    RandomGenerator random(5);
    events = buildMidiEvents(settings, Score{.drumNotes = score.drumNotes}, random);
    ASSERT_GT(events.size(), 20u); // drum note-ons only
    render();
    ASSERT_EQ(static_cast<std::int64_t>(left.size()), pieceFrames(100));
    EXPECT_EQ(left.back(), 0.0f) << "faded out";
    // Onsets (a loud 64-frame block after 16 quiet) within a block of the note-on.
    std::size_t next = 0;
    int quiet = 16;
    for (std::size_t b = 0; b + 64 <= left.size(); b += 64) {
        float loudest = 0.0f;
        std::for_each_n(left.begin() + static_cast<std::ptrdiff_t>(b), 64,
                        [&](float s) { loudest = std::max(loudest, std::abs(s)); });
        if (loudest > 0.05f && quiet >= 16 && next++ < events.size()) {
            const std::int64_t due = eventFrame(events[next - 1].timeMs);
            EXPECT_LE(std::abs(static_cast<std::int64_t>(b) - due), 64) << "note-on " << next;
        }
        quiet = loudest < 0.01f ? quiet + 1 : 0;
    }
    EXPECT_EQ(next, events.size()) << "onsets";
}

TEST_F(PieceRendererTest, TheLimiterHoldsALoudPieceAndLeavesAQuietOneAlone) {
    compose([](SongSettings& s) { // held distortion guitars, all loud, a drum every step
        s.instrument = {30, 30, 30};
        s.volume = {90, 90, 90};
        s.hold = {1, 1, 1};
        s.harmonyOffset = 7;
        s.beatLength = 1;
        s.drumVolume = 90;
        s.drumKit = {10, 13, 16, 19, 22, 25, 28, 31};
    });
    render();
    EXPECT_LT(cut, 0.8) << "this piece must need the limiter";
    EXPECT_LE(peak, std::pow(10.0, -1.0 / 20.0));
    EXPECT_GT(rmsDb, -16.0) << "not made quiet";
    // Also once a lossy encoder has had it.
    testing::TempDir dir;
    ASSERT_EQ(renderAudioFile(dir.file("a.ogg"), font, settings, events).status,
              RenderStatus::Written);
    const std::vector<float> decoded = readSoundFile(dir.file("a.ogg")).second;
    const auto [low, high] = std::minmax_element(decoded.begin(), decoded.end());
    EXPECT_LE(std::max(-*low, *high), std::pow(10.0, -1.0 / 20.0));

    compose([](SongSettings& s) { s.volume = {20, 20, 20}; });
    render();
    EXPECT_EQ(cut, 1.0);
    EXPECT_GT(rmsDb, -45.0) << "not silent";
}

TEST_F(PieceRendererTest, WritesEachFormatWholeOrLeavesNoFile) {
    compose();
    testing::TempDir dir;
    for (const auto& [name, format] : {std::pair{"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                       {"b.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                       {"c.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}}) {
        const AudioRenderResult r = renderAudioFile(dir.file(name), font, settings, events);
        ASSERT_EQ(r.status, RenderStatus::Written) << r.file.message();
        const SF_INFO info = readSoundFile(dir.file(name)).first;
        EXPECT_EQ(std::tuple(info.format, info.samplerate, info.channels, info.frames),
                  std::tuple(format, 44100, 2, pieceFrames(50)))
            << name;
        std::filesystem::remove(dir.file(name));
    }

    // Whatever stops a render, the target is kept and nothing else is left.
    const std::string target = dir.file("old.wav");
    testing::writeBytes(target, {1, 2, 3});
    const auto halfway = [](double done) { return done < 0.5; };
    EXPECT_EQ(renderAudioFile(target, font, settings, events, halfway).status,
              RenderStatus::Cancelled);

    // A file-size limit stops the writes half way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = 4'000'000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const AudioRenderResult failed = renderAudioFile(target, font, settings, events);
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(failed.status, RenderStatus::CannotWrite);
    EXPECT_EQ(failed.file.message(), target + ": System error : File too large.");

    // Refused before anything is written: a font that is none, a piece too long.
    EXPECT_EQ(renderAudioFile(target, target, settings, events).status, RenderStatus::FontUnusable);
    settings.stepMs = 21'100;
    EXPECT_EQ(renderAudioFile(target, font, settings, events).file.reason,
              "at 21100 ms per step the piece lasts longer than the 6 hours an audio file may "
              "hold");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"old.wav"});
    EXPECT_EQ(testing::readBytes(target), (std::vector<std::uint8_t>{1, 2, 3}));
}

} // namespace
} // namespace tarnwick
