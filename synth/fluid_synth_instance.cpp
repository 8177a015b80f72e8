#include "synth/fluid_synth_instance.h"

#include <fluidsynth.h>

#include "audio/fluid_log.h"
#include "midi/midi_output.h"
#include "midi/status_bytes.h"

namespace tarnwick {

FluidSynthInstance::FluidSynthInstance(const SynthConfig& config) {
    silenceFluidSynthLog();
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", config.sampleRate);
    fluid_settings_setnum(settings_, "synth.gain", config.gain);
    fluid_settings_setint(settings_, "synth.reverb.active", config.effects ? 1 : 0);
    fluid_settings_setint(settings_, "synth.chorus.active", config.effects ? 1 : 0);
    // Pinning a 140 MB font in memory is not worth a warning when it fails.
    fluid_settings_setint(settings_, "synth.lock-memory", 0);
    fluid_settings_setint(settings_, "synth.cpu-cores", config.cpuCores);
    // The extra render threads are ordinary threads: real-time ones would
    // starve the audio and the window of a live performance.
    fluid_settings_setint(settings_, "audio.realtime-prio", 0);
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading",
                          config.loadSamplesOnDemand ? 1 : 0);
    synth_ = new_fluid_synth(settings_);
}

FluidSynthInstance::~FluidSynthInstance() {
    if (synth_ != nullptr) {
        delete_fluid_synth(synth_);
    }
    if (settings_ != nullptr) {
        delete_fluid_settings(settings_);
    }
}

std::string FluidSynthInstance::loadSoundFont(const std::string& path) {
    if (synth_ == nullptr) {
        return "the synthesiser could not be created";
    }
    if (fluid_synth_sfload(synth_, path.c_str(), 1) == FLUID_FAILED) {
        return "the SoundFont " + path + " could not be loaded";
    }
    return {};
}

void FluidSynthInstance::write(float* left, float* right, int offset, int frames) {
    fluid_synth_write_float(synth_, frames, left, offset, 1, right, offset, 1);
}

void FluidSynthInstance::apply(std::uint32_t message) {
    const int channel = midi::messageChannel(message);
    const int data1 = messageData1(message) & midi::kDataMask;
    const int data2 = messageData2(message) & midi::kDataMask;
    switch (midi::messageKind(message)) {
    case midi::kNoteOff:
        fluid_synth_noteoff(synth_, channel, data1);
        break;
    case midi::kNoteOn: // a velocity of 0 is a note-off
        fluid_synth_noteon(synth_, channel, data1, data2);
        break;
    case midi::kKeyPressure:
        fluid_synth_key_pressure(synth_, channel, data1, data2);
        break;
    case midi::kControlChange:
        fluid_synth_cc(synth_, channel, data1, data2);
        break;
    case midi::kProgramChange:
        fluid_synth_program_change(synth_, channel, data1);
        break;
    case midi::kChannelPressure:
        fluid_synth_channel_pressure(synth_, channel, data1);
        break;
    case midi::kPitchBend:
        fluid_synth_pitch_bend(synth_, channel, (data2 << 7) | data1);
        break;
    default: // not a channel message
        break;
    }
}

int FluidSynthInstance::activeVoices() const {
    return synth_ != nullptr ? fluid_synth_get_active_voice_count(synth_) : 0;
}

} // namespace tarnwick
