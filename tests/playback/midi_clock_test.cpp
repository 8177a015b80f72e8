// MIDI clock around a performance: what each output gets, and at which message time.

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/manual_step_timer.h"
#include "playback/midi_clock.h"
#include "playback/play_state.h"
#include "playback/transport.h"
#include "tests/support/message_text.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;

// A one-note piece played to a log of messages with their times after kStart.
struct Performance : MidiOutput {
    explicit Performance(bool isPort) : port(isPort) {
        score.voice1Notes[0] = 60;
        settings.beatLength = 1000; // a drum on the first tick only
        settings.drumKit.fill(0);
    }
    void send(std::uint32_t message) override {
        const auto ms = std::chrono::duration<double, std::milli>(time - kStart).count();
        lines.push_back(testing::messageText(message) + " @" + std::to_string(ms).substr(0, 6));
    }
    void setMessageTime(SteadyClock::time_point t) override { time = t; }
    bool takesClock() const override { return port; }

    void start() {
        setMessageTime(kStart);
        startPlayback(settings, score, state, *this, timer);
        clock.start(*this);
    }
    void tick(int k) {
        playClockedStep(
            state, score, settings, random, clock, *this,
            {.time = kStart + milliseconds(150 * k), .length = milliseconds(timer.periodMs())});
    }

    static constexpr SteadyClock::time_point kStart{std::chrono::seconds(50)};
    bool port;
    SteadyClock::time_point time = kStart;
    std::vector<std::string> lines;
    SongSettings settings;
    Score score;
    PlayState state;
    RandomGenerator random{1};
    ManualStepTimer timer;
    MidiClock clock;
};

TEST(MidiClock, StartsAfterTheSetUpPulsesThriceAStepAndStopsAfterStop) {
    std::vector<std::string> port, synth;
    for (std::vector<std::string>* lines : {&port, &synth}) {
        Performance p(lines == &port);
        p.settings.stepMs = 150;
        p.clock.setEnabled(true, p);
        p.start();
        p.tick(1);
        p.tick(2);
        p.setMessageTime(Performance::kStart + milliseconds(340));
        stopPlayback(p, p.timer);
        p.clock.stop(p);
        *lines = p.lines;
    }
    // The voice channels' set-up (12 messages), then:
    const std::vector<std::string> tail(port.begin() + 12, port.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{
                  "FA 00 00 @0.0000", // Start
                  "F8 00 00 @150.00", "80 00 00 @150.00", "90 3C 00 @150.00", "F8 00 00 @200.00",
                  "F8 00 00 @250.00", // a third and two thirds on
                  "F8 00 00 @300.00", "F8 00 00 @350.00", "F8 00 00 @400.00", "B0 78 00 @340.00",
                  "B1 78 00 @340.00", "B2 78 00 @340.00", "FC 00 00 @340.00"})); // Stop
    // A synthesiser gets the same performance without the clock.
    std::erase_if(port, [](const std::string& line) { return line.starts_with("F"); });
    EXPECT_EQ(synth, port);
}

TEST(MidiClock, AnOutputThatJoinsLateContinuesFromTheNextSixteenth) {
    Performance p(true);
    p.start(); // the clock is off
    p.tick(1);
    p.tick(2);
    p.clock.setEnabled(true, p); // during step 1: joins at step 2
    p.tick(3);
    p.tick(4);
    p.clock.leave(p); // another output is chosen
    p.clock.setEnabled(false, p);
    p.clock.stop(p);
    const std::vector<std::string> clock(p.lines.begin() + 14, p.lines.end());
    EXPECT_EQ(clock,
              (std::vector<std::string>{"F2 01 00 @450.00", // Song Position: sixteenth 1, step 2
                                        "FB 00 00 @450.00", // Continue
                                        "F8 00 00 @450.00", "F8 00 00 @508.33", "F8 00 00 @566.66",
                                        "F8 00 00 @600.00", "F8 00 00 @658.33", "F8 00 00 @716.66",
                                        "FC 00 00 @600.00"})); // Stop, once
}

TEST(MidiClock, SixteenthStepsPulseSixTimesAndARelocationJoinsAgainWithSongPosition) {
    Performance p(true);
    p.settings.stepMs = 150;
    p.clock.setStepsPerBeat(4);
    p.clock.setEnabled(true, p);
    p.start();
    p.tick(1);
    p.clock.relocate(p); // the next step is step 5: a sixteenth each
    p.state.playPosition = 5;
    p.tick(2);
    const std::vector<std::string> clock(p.lines.begin() + 12, p.lines.end());
    EXPECT_EQ(clock,
              (std::vector<std::string>{"FA 00 00 @0.0000", "F8 00 00 @150.00", "80 00 00 @150.00",
                                        "90 3C 00 @150.00", "F8 00 00 @175.00", "F8 00 00 @200.00",
                                        "F8 00 00 @225.00", "F8 00 00 @250.00", "F8 00 00 @275.00",
                                        "FC 00 00 @150.00", // Stop where the jump was asked for
                                        "F2 05 00 @300.00", "FB 00 00 @300.00", "F8 00 00 @300.00",
                                        "F8 00 00 @325.00", "F8 00 00 @350.00", "F8 00 00 @375.00",
                                        "F8 00 00 @400.00", "F8 00 00 @425.00"}));
}

} // namespace
} // namespace tarnwick
