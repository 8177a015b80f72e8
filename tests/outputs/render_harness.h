#pragma once
// Renders the built-in synthesiser into memory with the real SoundFont and no
// audio driver. Each render call is stamped with the exact time its first
// frame plays, as a perfectly regular sound card would call it, so the
// scheduling can be checked to the frame without a wall clock.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "playback/outputs/message_scheduler.h"
#include "playback/outputs/soundfont_locator.h"
#include "playback/outputs/synth_renderer.h"

namespace tarnwick::testing {

inline constexpr double kRate = 44100.0;

// The scheduler seen as the MIDI output that the transport and the step
// player send to (the built-in output does the same).
struct SchedulerOutput : MidiOutput {
    explicit SchedulerOutput(MessageScheduler& scheduler) : scheduler_(scheduler) {}
    void send(std::uint32_t message) override { scheduler_.send(message); }
    void setMessageTime(SteadyClock::time_point time) override { scheduler_.setMessageTime(time); }
    MessageScheduler& scheduler_;
};

struct RenderHarness {
    explicit RenderHarness(SchedulerConfig schedulerConfig = {}, bool effects = false)
        : scheduler(schedulerConfig), renderer(SynthConfig{kRate, 0.4, effects}, scheduler) {}

    // Loads the default General MIDI font; an empty result means success.
    std::string loadFont() {
        const std::string font = findSoundFont(defaultSoundFontPaths());
        return font.empty() ? std::string("no General MIDI SoundFont installed")
                            : renderer.loadSoundFont(font);
    }

    // The moment frame `frame` plays.
    SteadyClock::time_point timeOfFrame(double frame) const {
        return epoch + std::chrono::duration_cast<SteadyClock::duration>(
                           std::chrono::duration<double>(frame / kRate));
    }

    // Renders `frames` more frames in callbacks of `period` frames, keeping
    // the left channel.
    void render(int frames, int period = 256) {
        std::vector<float> left(static_cast<std::size_t>(period));
        std::vector<float> right(static_cast<std::size_t>(period));
        while (frames > 0) {
            const int chunk = std::min(frames, period);
            renderer.render(left.data(), right.data(), chunk,
                            timeOfFrame(static_cast<double>(renderer.position())));
            audio.insert(audio.end(), left.begin(), left.begin() + chunk);
            frames -= chunk;
        }
    }

    SteadyClock::time_point epoch = SteadyClock::time_point(std::chrono::seconds(1000));
    MessageScheduler scheduler;
    SynthRenderer renderer;
    SchedulerOutput output{scheduler};
    std::vector<float> audio;
};

// The first frame at or after `from` whose magnitude exceeds `threshold`, or
// -1 if there is none.
inline std::int64_t firstSoundAt(const std::vector<float>& audio, std::int64_t from,
                                 float threshold = 1e-4f) {
    for (auto i = static_cast<std::size_t>(from); i < audio.size(); ++i) {
        if (audio[i] > threshold || audio[i] < -threshold) {
            return static_cast<std::int64_t>(i);
        }
    }
    return -1;
}

// Root mean square over frames [from, to).
inline double rms(const std::vector<float>& audio, std::int64_t from, std::int64_t to) {
    double sum = 0.0;
    for (auto i = static_cast<std::size_t>(from); i < static_cast<std::size_t>(to); ++i) {
        sum += static_cast<double>(audio[i]) * static_cast<double>(audio[i]);
    }
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

} // namespace tarnwick::testing
