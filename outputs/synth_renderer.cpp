#include "outputs/synth_renderer.h"

#include <algorithm>

namespace tarnwick {

SynthRenderer::SynthRenderer(const SynthConfig& config, MessageScheduler& scheduler)
    : config_(config), scheduler_(scheduler), clock_(config.sampleRate), synth_(config),
      stage_(OutputStageConfig{.sampleRate = config.sampleRate}) {}

std::string SynthRenderer::loadSoundFont(const std::string& path) {
    return synth_.loadSoundFont(path);
}

void SynthRenderer::render(float* left, float* right, int frames, SteadyClock::time_point now) {
    if (!synth_.isValid()) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    clock_.update(now.time_since_epoch().count(), position_);
    constexpr int kBlock = MessageScheduler::kBlockFrames;
    int done = 0;
    while (done < frames) {
        const std::int64_t frame = position_ + done;
        const int offset = static_cast<int>(frame % kBlock);
        if (offset == 0) {
            scheduler_.applyDue(frame, clock_,
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
}

void SynthRenderer::renderNow(void* renderer, float* left, float* right, int frames) {
    static_cast<SynthRenderer*>(renderer)->render(left, right, frames, SteadyClock::now());
}

} // namespace tarnwick
