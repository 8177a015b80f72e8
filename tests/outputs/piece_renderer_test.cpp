// Rendering the piece to sound with the real SoundFont: its length, where its
// notes sound, its level, and the files it writes or, cancelled or failed,
// does not leave.

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
#include "midi/midi_output.h"
#include "outputs/audio_render.h"
#include "outputs/piece_renderer.h"
#include "outputs/soundfont_locator.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

struct Sound {
    std::vector<float> left, right;
    double peak = 0.0;
    double rms = 0.0;
};

Sound renderToMemory(const SongSettings& settings, const std::vector<MidiEvent>& events,
                     PieceRenderer& renderer) {
    Sound sound;
    EXPECT_TRUE(renderer.render(settings, events, [&](const float* l, const float* r, int n) {
        sound.left.insert(sound.left.end(), l, l + n);
        sound.right.insert(sound.right.end(), r, r + n);
        return true;
    }));
    double energy = 0.0;
    for (std::size_t i = 0; i < sound.left.size(); ++i) {
        sound.peak = std::max(
            {sound.peak, std::fabs(double{sound.left[i]}), std::fabs(double{sound.right[i]})});
        energy += double{sound.left[i]} * sound.left[i] + double{sound.right[i]} * sound.right[i];
    }
    sound.rms = std::sqrt(energy / (2.0 * static_cast<double>(sound.left.size())));
    return sound;
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
        (void)prepareSession(
            random,
            [&](SongSettings& s) {
                s.stepMs = 50;
                if (change) {
                    change(s);
                }
                return FileResult::success({});
            },
            settings, score);
        events = buildMidiEvents(settings, score, random);
    }
    Sound render() {
        PieceRenderer renderer;
        EXPECT_EQ(renderer.loadSoundFont(font), "");
        Sound sound = renderToMemory(settings, events, renderer);
        cut = renderer.stage().deepestCut();
        return sound;
    }

    std::string font;
    SongSettings settings;
    Score score;
    std::vector<MidiEvent> events;
    double cut = 1.0;
};

TEST(PieceLength, IsThePassAndTwoSecondsToTheNearestFrame) {
    EXPECT_EQ(pieceFrames(175), 7'990'920); // 181.2 s
    EXPECT_EQ(pieceFrames(50), 2'346'120);
    EXPECT_EQ(pieceFrames(51), 2'391'278); // 54.224 s = 2391278.4 frames
    EXPECT_EQ(pieceFrames(0), pieceFrames(1));
    EXPECT_EQ(eventFrame(0), 0);
    EXPECT_EQ(eventFrame(175), 7744); // 7717.5 frames: block 120.6 -> 121
    EXPECT_EQ(eventFrame(1023 * 175), 7'894'976);
}

TEST_F(PieceRendererTest, LastsThePieceSoundsAndEndsInSilence) {
    compose();
    const Sound sound = render();
    ASSERT_EQ(static_cast<std::int64_t>(sound.left.size()), pieceFrames(50));
    EXPECT_GT(20.0 * std::log10(sound.rms), -40.0) << "not silent";
    EXPECT_EQ(sound.left.back(), 0.0f);
    EXPECT_EQ(sound.right.back(), 0.0f);
}

TEST_F(PieceRendererTest, NotesStartOnTheStepsWhereTheListHasNoteOns) {
    // Rests in every voice; a wood block in drum slot 0 only, so the hits
    // drawn to other slots are silent and the note-ons fall irregularly.
    compose([](SongSettings& s) {
        s.stepMs = 100;
        s.beatLength = 3;
        s.drumVolume = 90;
        s.drumKit = {50, 0, 0, 0, 0, 0, 0, 0}; // key 76, Hi Wood Block
    });
    const Score drums{.drumNotes = score.drumNotes};
    RandomGenerator random(5);
    events = buildMidiEvents(settings, drums, random);
    std::vector<std::int64_t> expected;
    for (const MidiEvent& event : events) {
        if ((messageStatus(event.message) & 0xF0) == 0x90) {
            expected.push_back(eventFrame(event.timeMs));
        }
    }
    ASSERT_GT(expected.size(), 20u);
    const Sound sound = render();
    // An onset: a 64-frame block louder than 0.05 after 16 quiet ones.
    std::vector<std::int64_t> onsets;
    int quiet = 16;
    for (std::size_t b = 0; b * 64 < sound.left.size(); ++b) {
        const auto begin = sound.left.begin() + static_cast<std::ptrdiff_t>(b * 64);
        const auto end = sound.left.begin() +
                         static_cast<std::ptrdiff_t>(std::min(b * 64 + 64, sound.left.size()));
        float peak = 0.0f;
        std::for_each(begin, end, [&](float s) { peak = std::max(peak, std::abs(s)); });
        if (peak > 0.05f && quiet >= 16) {
            onsets.push_back(static_cast<std::int64_t>(b) * 64);
        }
        quiet = peak < 0.01f ? quiet + 1 : 0;
    }
    ASSERT_EQ(onsets.size(), expected.size());
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        EXPECT_NEAR(onsets[i], expected[i], 64) << "note-on " << i;
    }
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
    const Sound loud = render();
    EXPECT_LT(cut, 0.8) << "this piece must need the limiter";
    EXPECT_LE(loud.peak, std::pow(10.0, -1.0 / 20.0));
    EXPECT_GT(20.0 * std::log10(loud.rms), -20.0) << "not made quiet";

    compose([](SongSettings& s) { s.volume = {20, 20, 20}; });
    static_cast<void>(render());
    EXPECT_EQ(cut, 1.0);
}

TEST_F(PieceRendererTest, WritesEachFormatWhole) {
    compose();
    testing::TempDir dir;
    struct Case {
        const char* name;
        int format;
    };
    for (const Case c : {Case{"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                         Case{"b.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                         Case{"c.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}}) {
        const AudioRenderResult r = renderAudioFile(dir.file(c.name), font, settings, events);
        ASSERT_EQ(r.status, RenderStatus::Written) << r.file.message();
        SF_INFO info{};
        SNDFILE* file = sf_open(dir.file(c.name).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << c.name;
        EXPECT_EQ(info.format, c.format) << c.name;
        EXPECT_EQ(info.samplerate, 44100);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.frames, pieceFrames(50)) << c.name;
        sf_close(file);
    }
    EXPECT_EQ(dir.names().size(), 3u);
}

// Whatever stops a render, the target keeps its old content and nothing else
// is left in the folder.
TEST_F(PieceRendererTest, ACancelledOrFailedRenderLeavesNoFile) {
    compose();
    testing::TempDir dir;
    const std::string target = dir.file("old.wav");
    testing::writeBytes(target, {1, 2, 3});
    double seen = 0.0;
    const auto cancelHalfway = [&](double done) {
        seen = done;
        return done < 0.5;
    };
    const AudioRenderResult cancelled =
        renderAudioFile(target, font, settings, events, cancelHalfway);
    EXPECT_EQ(cancelled.status, RenderStatus::Cancelled);
    EXPECT_GE(seen, 0.5);

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
    EXPECT_NE(failed.file.reason.find("File too large"), std::string::npos) << failed.file.reason;

    struct Refused {
        std::string path, font;
        std::int32_t stepMs;
        RenderStatus status;
        std::string reason;
    };
    for (const Refused& r : {
             Refused{dir.file("a.mp3"), font, 50, RenderStatus::CannotWrite,
                     "the file name must end in .wav, .flac or .ogg"},
             Refused{dir.file("no/a.wav"), font, 50, RenderStatus::CannotWrite,
                     "No such file or directory"},
             Refused{target, target, 50, RenderStatus::FontUnusable,
                     "the SoundFont " + target + " could not be loaded"},
             Refused{target, font, 21'100, RenderStatus::CannotWrite,
                     "at 21100 ms per step the piece lasts longer than the 6 hours"},
         }) {
        settings.stepMs = r.stepMs;
        const AudioRenderResult result = renderAudioFile(r.path, r.font, settings, events);
        EXPECT_EQ(result.status, r.status) << r.path;
        EXPECT_TRUE(result.file.reason.starts_with(r.reason)) << result.file.reason;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"old.wav"});
    EXPECT_EQ(testing::readBytes(target), (std::vector<std::uint8_t>{1, 2, 3}));
}

} // namespace
} // namespace tarnwick
