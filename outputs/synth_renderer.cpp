#include "outputs/synth_renderer.h"

#include <algorithm>

#include <fluidsynth.h>

#include "outputs/fluid_log.h"

namespace tarnwick {

SynthRenderer::SynthRenderer(const SynthConfig& config, MessageScheduler& scheduler)
    : config_(config), scheduler_(scheduler), clock_(config.sampleRate) {
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

void SynthRenderer::render(float* left, float* right, int frames, SteadyClock::time_point now) {
    if (synth_ == nullptr) {
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
            scheduler_.applyDue(frame, clock_, [this](std::uint32_t message) { apply(message); });
        }
        // FluidSynth renders whole 64-frame blocks and hands them out in
        // pieces; asking for no more than the rest of the current block keeps
        // each message's block boundary exact.
        const int chunk = std::min(frames - done, kBlock - offset);
        fluid_synth_write_float(synth_, chunk, left, done, 1, right, done, 1);
        done += chunk;
    }
    position_ += frames;
}

void SynthRenderer::renderNow(void* renderer, float* left, float* right, int frames) {
    static_cast<SynthRenderer*>(renderer)->render(left, right, frames, SteadyClock::now());
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
