// The built-in synthesiser as the window opens it: in the background, with
// a stand-in sound card (this machine has none) that the test drives.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "playback/outputs/builtin_synth_output.h"
#include "playback/outputs/soundfont_locator.h"
#include "tests/outputs/midi_messages.h"
#include "tests/outputs/render_harness.h"

namespace tarnwick::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A sound card that plays only when the test asks it for audio.
struct ManualCard {
    struct Sink : AudioSink {
        explicit Sink(ManualCard& card) : card_(card) {}
        ~Sink() override { card_.callback = {}; }
        double sampleRate() const override { return kRate; }
        ManualCard& card_;
    };

    // Renders `frames` frames in periods of 256, as the sound card would.
    std::vector<float> play(int frames) {
        std::vector<float> left(256), right(256), audio;
        for (int done = 0; done < frames; done += 256) {
            callback.render(callback.user, left.data(), right.data(), 256);
            audio.insert(audio.end(), left.begin(), left.end());
        }
        return audio;
    }

    BuiltinSynthOptions options(std::vector<std::string> accepted = {"manual"}) {
        BuiltinSynthOptions options;
        options.drivers = {"pulseaudio", "manual"};
        options.openSink = [this, accepted](std::string_view driver, double,
                                            RenderCallback render) -> std::unique_ptr<AudioSink> {
            for (const std::string& name : accepted) {
                if (driver == name) {
                    callback = render;
                    return std::make_unique<Sink>(*this);
                }
            }
            return nullptr;
        };
        return options;
    }

    RenderCallback callback;
};

class BuiltinSynthOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (findSoundFont(defaultSoundFontPaths()).empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        }
    }
    ManualCard card;
};

TEST_F(BuiltinSynthOutputTest, APlayPressedWhileTheFontLoadsIsHeardOnceItIsReady) {
    BuiltinSynthOutput output(card.options());
    // Right after opening, before the font can have loaded: the set-up of a
    // start and a first note.
    EXPECT_FALSE(output.isSilent());
    output.setMessageTime(SteadyClock::now());
    output.send(allSoundOff(0));
    output.send(programChange(0, 19));
    output.send(noteOn(0, 60, 100));
    ASSERT_TRUE(output.waitUntilOpen(seconds(60)));
    EXPECT_FALSE(output.isSilent());
    EXPECT_EQ(output.status(), "Built-in synthesiser: " +
                                   soundFontDisplayName(findSoundFont(defaultSoundFontPaths())) +
                                   " (manual)");
    output.setMessageTime(SteadyClock::now() - milliseconds(20));
    output.send(noteOn(0, 64, 100));
    const std::vector<float> audio = card.play(22050);
    EXPECT_GT(rms(audio, 0, 22050), 1e-3);
}

TEST_F(BuiltinSynthOutputTest, WithoutAnyAudioDeviceItIsSilentAndSaysSo) {
    BuiltinSynthOutput output(card.options({}));
    ASSERT_TRUE(output.waitUntilOpen(seconds(60)));
    EXPECT_TRUE(output.isSilent());
    EXPECT_EQ(output.status(),
              "No sound: no audio device could be opened (pulseaudio, alsa, jack, sdl2)");
    output.send(noteOn(0, 60, 100)); // nothing happens
}

TEST_F(BuiltinSynthOutputTest, ANamedFontThatCannotBeReadIsReportedAtOnce) {
    BuiltinSynthOptions options = card.options();
    options.soundFont = "/nonexistent/tarnwick-test.sf2";
    BuiltinSynthOutput output(options);
    EXPECT_TRUE(output.isSilent());
    EXPECT_EQ(output.status(),
              "No sound: cannot read the SoundFont /nonexistent/tarnwick-test.sf2");
}

TEST_F(BuiltinSynthOutputTest, AFileThatIsNoSoundFontLeavesItSilentAndClosesTheDevice) {
    const std::string path = ::testing::TempDir() + "tarnwick-not-a-font.sf2";
    std::ofstream(path) << "RIFF but not a SoundFont";
    BuiltinSynthOptions options = card.options();
    options.soundFont = path;
    {
        BuiltinSynthOutput output(options);
        ASSERT_TRUE(output.waitUntilOpen(seconds(60)));
        EXPECT_TRUE(output.isSilent());
        EXPECT_EQ(output.status(), "No sound: the SoundFont " + path + " could not be loaded");
        EXPECT_EQ(card.callback.render, nullptr); // the sink was closed again
    }
    std::remove(path.c_str());
}

TEST_F(BuiltinSynthOutputTest, CanBeClosedWhileItIsStillOpening) {
    auto output = std::make_unique<BuiltinSynthOutput>(card.options());
    output->send(noteOn(0, 60, 100));
    output.reset();
    EXPECT_EQ(card.callback.render, nullptr);
}

} // namespace
} // namespace tarnwick::testing
