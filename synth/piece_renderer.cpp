#include "synth/piece_renderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_file.h"

namespace tarnwick {

namespace {

// FluidSynth renders up to this many frames in one go; larger calls gain
// nothing, smaller ones cost more per frame.
constexpr int kChunkFrames = 8192;

} // namespace

std::int64_t framesForMs(std::int64_t ms) {
    return (ms * kRenderSampleRate + 500) / 1000;
}

void fadeOutEnd(float* left, float* right, int frames, std::int64_t first, std::int64_t total) {
    const std::int64_t fadeFrames = std::min(total, framesForMs(kRenderFadeMs));
    const std::int64_t fadeStart = total - fadeFrames;
    for (int i = std::max(0, static_cast<int>(std::min<std::int64_t>(fadeStart - first, frames)));
         i < frames; ++i) {
        const std::int64_t frame = first + i;
        const double t =
            static_cast<double>(frame - fadeStart + 1) / static_cast<double>(fadeFrames);
        const auto gain = static_cast<float>(0.5 * (1.0 + std::cos(std::numbers::pi * t)));
        left[i] *= gain;
        right[i] *= gain;
    }
}

bool renderTimedEvents(std::size_t count, const std::function<std::int64_t(std::size_t)>& frameOf,
                       const std::function<void(std::size_t)>& apply, std::int64_t end,
                       const std::function<bool(std::int64_t position, int frames)>& render) {
    std::size_t next = 0;
    std::int64_t position = 0;
    while (position < end) {
        for (; next < count && frameOf(next) <= position; ++next) {
            apply(next);
        }
        std::int64_t until = end;
        if (next < count) {
            until = std::min(until, frameOf(next));
        }
        const auto frames =
            static_cast<int>(std::min<std::int64_t>(until - position, kChunkFrames));
        if (!render(position, frames)) {
            return false;
        }
        position += frames;
    }
    return true;
}

std::int64_t pieceFrames(std::int32_t stepMs) {
    return framesForMs(std::int64_t{kStepCount} * std::max(stepMs, 1) + kRenderTailMs);
}

std::int64_t eventFrame(std::int64_t timeMs) {
    // timeMs * 44.1 / 64 blocks, rounded: the exact fraction in integers.
    const std::int64_t blocks = (timeMs * kRenderSampleRate + 32'000) / 64'000;
    return blocks * kSynthBlockFrames;
}

SynthConfig renderSynthConfig() {
    SynthConfig config;
    config.sampleRate = kRenderSampleRate;
    config.cpuCores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    config.loadSamplesOnDemand = true;
    return config;
}

PieceRenderer::PieceRenderer(const SynthConfig& config, const OutputStageConfig& stage)
    : synth_(config), stage_(stage) {}

std::string PieceRenderer::loadSoundFont(const std::string& path) {
    return synth_.loadSoundFont(path);
}

bool PieceRenderer::render(const SongSettings& settings, std::span<const MidiEvent> events,
                           const AudioConsumer& consume) {
    for (const std::uint32_t message : fileSetUpMessages(settings)) {
        synth_.apply(message);
    }
    const std::int64_t total = pieceFrames(settings.stepMs);
    // The stage delays the sound: render that much more, and drop as much.
    const std::int64_t latency = stage_.latencyFrames();

    std::vector<float> left(kChunkFrames);
    std::vector<float> right(kChunkFrames);
    return renderTimedEvents(
        events.size(), [&](std::size_t i) { return eventFrame(events[i].timeMs); },
        [&](std::size_t i) { synth_.apply(events[i].message); }, total + latency,
        [&](std::int64_t position, int frames) {
            synth_.write(left.data(), right.data(), 0, frames);
            stage_.process(left.data(), right.data(), frames);
            // The part of this chunk that is sound, after the stage's delay.
            const std::int64_t skip = std::clamp<std::int64_t>(latency - position, 0, frames);
            const auto kept = static_cast<int>(frames - skip);
            if (kept == 0) {
                return true;
            }
            const auto offset = static_cast<std::size_t>(skip);
            fadeOutEnd(left.data() + offset, right.data() + offset, kept, position + skip - latency,
                       total);
            return consume(left.data() + offset, right.data() + offset, kept);
        });
}

} // namespace tarnwick
