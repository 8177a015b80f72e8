#include "outputs/synth_renderer.h"

#include <algorithm>
#include <cmath>

#include <fluidsynth.h>

#include "outputs/fluid_log.h"

namespace tarnwick {

SynthRenderer::SynthRenderer(const SynthConfig& config, MessageScheduler& scheduler)
    : config_(config), scheduler_(scheduler), clock_(config.sampleRate),
      quietFrames_(static_cast<std::int64_t>(kQuietSeconds * config.sampleRate)),
      staleAfterNs_(scheduler.config().staleAfter.count()) {
    silenceFluidSynthLog();
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", config.sampleRate);
    fluid_settings_setnum(settings_, "synth.gain", config.gain);
    fluid_settings_setint(settings_, "synth.reverb.active", config.effects ? 1 : 0);
    fluid_settings_setint(settings_, "synth.chorus.active", config.effects ? 1 : 0);
    // Pinning a 140 MB font in memory is not worth a warning when it fails.
    fluid_settings_setint(settings_, "synth.lock-memory", 0);
    synth_ = new_fluid_synth(settings_);
}

SynthRenderer::~SynthRenderer() {
    if (synth_ != nullptr) {
        delete_fluid_synth(synth_);
    }
    if (settings_ != nullptr) {
        delete_fluid_settings(settings_);
    }
}

std::string SynthRenderer::loadSoundFont(const std::string& path) {
    if (synth_ == nullptr) {
        return "the synthesiser could not be created";
    }
    if (fluid_synth_sfload(synth_, path.c_str(), 1) == FLUID_FAILED) {
        return "the SoundFont " + path + " could not be loaded";
    }
    return {};
}

bool SynthRenderer::render(const AudioPeriod& period) {
    float* left = period.left;
    float* right = period.right;
    const int frames = period.frames;
    const std::int64_t latencyNs = sinkLatencyNs_.load(std::memory_order_relaxed);
    clock_.update(period.heardAt.time_since_epoch().count() - latencyNs, position_);
    const bool waiting = scheduler_.pending() > 0;
    const bool wasQuiet = static_cast<double>(quietFrames_) >= kQuietSeconds * config_.sampleRate;
    if (synth_ == nullptr || (!waiting && wasQuiet)) {
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
                                [this](std::uint32_t message) { apply(message); });
        }
        // FluidSynth renders whole 64-frame blocks and hands them out in
        // pieces; asking for no more than the rest of the current block keeps
        // each message's block boundary exact.
        const int chunk = std::min(frames - done, kBlock - offset);
        fluid_synth_write_float(synth_, chunk, left, done, 1, right, done, 1);
        done += chunk;
    }
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
    return fluid_synth_get_active_voice_count(synth_) == 0 && !loud(period.left) &&
           !loud(period.right);
}

void SynthRenderer::apply(std::uint32_t message) {
    const std::uint8_t status = messageStatus(message);
    const int channel = status & 0x0F;
    const int data1 = messageData1(message) & 0x7F;
    const int data2 = messageData2(message) & 0x7F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth_, channel, data1);
        break;
    case 0x90: // a velocity of 0 is a note-off
        fluid_synth_noteon(synth_, channel, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth_, channel, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth_, channel, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth_, channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth_, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth_, channel, (data2 << 7) | data1);
        break;
    default: // not a channel message
        break;
    }
}

} // namespace tarnwick
