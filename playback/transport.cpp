#include "playback/transport.h"

#include "composition/name_tables.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/channel_messages.h"
#include "midi/midi_output.h"
#include "playback/play_state.h"
#include "playback/step_timer.h"

namespace tarnwick {

namespace {

// Silences the channel and sets its program, modulation wheel and portamento.
// The wheel and the portamento switch are sent in both states, so a flag
// cleared since the last start is actively reset.
void setUpVoiceChannel(const SongSettings& settings, int channel, MidiOutput& output) {
    const auto k = static_cast<std::size_t>(channel);
    output.send(midi::controlChange(channel, midi::kAllSoundOff, 0));
    output.send(midi::programChange(channel, settings.instrument[k]));
    output.send(
        midi::controlChange(channel, midi::kModulationWheel, settings.modulation[k] != 0 ? 63 : 0));
    if (settings.portamento[k] != 0) {
        output.send(midi::controlChange(channel, midi::kPortamentoSwitch, 1));
        output.send(midi::controlChange(channel, midi::kPortamentoTime, 63));
        output.send(midi::controlChange(channel, midi::kPortamentoControl, 1));
    } else {
        output.send(midi::controlChange(channel, midi::kPortamentoSwitch, 0));
    }
}

} // namespace

void fillDrumNotes(const SongSettings& settings, Score& score) {
    for (std::size_t slot = 0; slot < kDrumSlotCount; ++slot) {
        score.drumNotes[slot] = drumNote(settings.drumKit[slot]);
    }
}

void setUpVoiceChannels(const SongSettings& settings, MidiOutput& output) {
    for (int channel = 0; channel < kVoiceCount; ++channel) {
        setUpVoiceChannel(settings, channel, output);
    }
}

void startPlayback(const SongSettings& settings, Score& score, PlayState& state, MidiOutput& output,
                   StepTimer& timer) {
    fillDrumNotes(settings, score);
    setUpVoiceChannels(settings, output);
    state.playPosition = 0;
    state.drumSlotCounter = 0;
    // A full beat already counted: the first tick strikes a drum.
    state.beatCounter = settings.beatLength;
    timer.start(settings.stepMs);
}

void stopPlayback(MidiOutput& output, StepTimer& timer) {
    timer.stop();
    for (int channel = 0; channel < kVoiceCount; ++channel) {
        output.send(midi::controlChange(channel, midi::kAllSoundOff, 0));
    }
}

} // namespace tarnwick
