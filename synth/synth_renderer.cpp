#include "synth/synth_renderer.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

SynthRenderer::SynthRenderer(const SynthConfig& config, MessageScheduler& scheduler)
    : config_(config), scheduler_(scheduler), clock_(config.sampleRate), synth_(config),
      stage_(OutputStageConfig{.sampleRate = config.sampleRate}),
      quietFrames_(static_cast<std::int64_t>(kQuietSeconds * config.sampleRate)),
      staleAfterNs_(scheduler.config().staleAfter.count()) {}

std::string SynthRenderer::loadSoundFont(const std::string& path) {
    return synth_.loadSoundFont(path);
}

bool SynthRenderer::render(const AudioPeriod& period) {
    float* left = period.left;
    float* right = period.right;
    const int frames = period.frames;
    const std::int64_t latencyNs = sinkLatencyNs_.load(std::memory_order_relaxed);
    clock_.update(period.heardAt.time_since_epoch().count() - latencyNs, position_,
                  period.restarted);
    const bool waiting = scheduler_.pending() > 0;
    const bool wasQuiet = static_cast<double>(quietFrames_) >= kQuietSeconds * config_.sampleRate;
    if (!synth_.isValid() || (!waiting && wasQuiet)) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        position_ += frames;
        delayNs_ = 0;
        return false;
    }
    if (wasQuiet) {
        catchUp();
    }
    constexpr int kBlock = MessageScheduler::kBlockFrames;
    int done = 0;
    while (done < frames) {
        const std::int64_t frame = position_ + done;
        const int offset = static_cast<int>(frame % kBlock);
        if (offset == 0) {
            scheduler_.applyDue(frame, clock_, delayNs_,
                                [this](std::uint32_t message) { synth_.apply(message); });
        }
        // FluidSynth renders whole 64-frame blocks and hands them out in
        // pieces; asking for no more than the rest of the current block keeps
        // each message's block boundary exact.
        const int chunk = std::min(frames - done, kBlock - offset);
        synth_.write(left, right, done, chunk);
        done += chunk;
    }
    stage_.process(left, right, frames);
    position_ += frames;
    quietFrames_ = waiting || !quiet(period) ? 0 : quietFrames_ + frames;
    return true;
}

void SynthRenderer::catchUp() {
    const auto due = scheduler_.nextDueNs();
    if (!due) {
        return;
    }
    // Later than a stale note: those are dropped, not waited for.
    const double lateNs =
        (static_cast<double>(position_) - clock_.frameAt(*due)) / config_.sampleRate * 1e9;
    const bool catchable = lateNs > 0.0 && lateNs < static_cast<double>(staleAfterNs_);
    delayNs_ = catchable ? static_cast<std::int64_t>(lateNs) : 0;
}

bool SynthRenderer::quiet(const AudioPeriod& period) const {
    const auto loud = [&](const float* channel) {
        return std::any_of(channel, channel + period.frames,
                           [](float sample) { return std::abs(sample) > kQuietLevel; });
    };
    return synth_.activeVoices() == 0 && !loud(period.left) && !loud(period.right);
}

} // namespace tarnwick
