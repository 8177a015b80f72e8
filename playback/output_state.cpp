#include "playback/output_state.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace tarnwick {

namespace {

std::string joined(const std::vector<OutputState>& parts, std::string (*text)(const OutputState&),
                   std::string_view separator) {
    std::string line;
    for (const OutputState& part : parts) {
        line += (line.empty() ? "" : std::string(separator)) + text(part);
    }
    return line;
}

// What would carry a virtual port or list MIDI ports where none can be.
constexpr std::string_view kMidiSystemsHint =
    "a JACK or PipeWire server, or the ALSA sequencer (modprobe snd-seq)";

std::string inParentheses(const std::string& text) {
    return text.empty() ? std::string() : " (" + text + ")";
}

} // namespace

OutputState OutputState::opening(std::string fontName) {
    OutputState state;
    state.kind = Kind::Opening;
    state.detail = std::move(fontName);
    return state;
}

OutputState OutputState::playing(OutputPath path, std::string detail, std::string via) {
    OutputState state;
    state.kind = Kind::Playing;
    state.path = path;
    state.detail = std::move(detail);
    state.via = std::move(via);
    return state;
}

OutputState OutputState::interrupted(OutputCause cause, std::string detail) {
    OutputState state = silent(cause, std::move(detail));
    state.kind = Kind::Interrupted;
    return state;
}

OutputState OutputState::silent(OutputCause cause, std::string detail) {
    OutputState state;
    state.cause = cause;
    state.detail = std::move(detail);
    return state;
}

OutputState OutputState::several(std::vector<OutputState> parts) {
    OutputState state;
    state.kind = std::all_of(parts.begin(), parts.end(),
                             [](const OutputState& part) { return part.kind == Kind::Silent; })
                     ? Kind::Silent
                     : Kind::Playing;
    state.path = OutputPath::VirtualPort;
    state.parts = std::move(parts);
    return state;
}

std::string silenceReason(const OutputState& state) {
    const std::string& detail = state.detail;
    switch (state.cause) {
    case OutputCause::None:
        return {};
    case OutputCause::NoSuchOutput:
        return "there is no output called '" + detail + "'";
    case OutputCause::OutputNone:
        return "the output is none";
    case OutputCause::UnreadableSoundFont:
        return "cannot read the SoundFont " + detail;
    case OutputCause::NoSoundFont:
        return "no General MIDI SoundFont found (install fluid-soundfont-gm)";
    case OutputCause::NoAudioDevice:
        return "no audio device could be opened (" + detail + ")";
    case OutputCause::SynthesiserFailed:
    case OutputCause::MidiSystemError:
        return detail;
    case OutputCause::AudioDeviceStopped:
        return "the audio device stopped playing (" + detail + ")";
    case OutputCause::SoundServerGone:
        return "the sound server went away (" + detail + ")";
    case OutputCause::NoMidiSystem:
        return "no MIDI system is available (no ALSA sequencer, no JACK server)";
    case OutputCause::NoSuchPort:
        return "no MIDI port called '" + detail + "'";
    case OutputCause::AmbiguousPort:
        return "more than one MIDI port matches '" + detail + "'";
    case OutputCause::PortNotOpened:
        return "the MIDI port '" + detail + "' could not be opened";
    case OutputCause::NoJackServer:
        return "no JACK server is running";
    case OutputCause::JackRefusedClient:
        return "the JACK server refused a client";
    case OutputCause::JackGaveNoPort:
        return "JACK gave no MIDI port";
    case OutputCause::JackNotActivated:
        return "the JACK client could not be activated";
    case OutputCause::JackNotConnected:
        return "could not connect to the MIDI port '" + detail + "'";
    case OutputCause::NoAlsaSequencer:
        return "no ALSA sequencer";
    case OutputCause::NoVirtualPort:
        return "no virtual MIDI port could be made (" + joined(state.parts, silenceReason, ", ") +
               "): it needs " + std::string(kMidiSystemsHint);
    case OutputCause::NoMidiPort:
        return "no MIDI port can be listed (" + joined(state.parts, silenceReason, ", ") +
               "): MIDI ports need " + std::string(kMidiSystemsHint);
    case OutputCause::PortGone:
        return "the MIDI port " + detail + " has gone";
    case OutputCause::JackServerStopped:
        return "the JACK server has stopped";
    case OutputCause::NoPipeWireServer:
        return "no PipeWire server is running";
    case OutputCause::PipeWireGaveNoPort:
        return "PipeWire gave no MIDI port";
    case OutputCause::PipeWireServerStopped:
        return "the PipeWire server has stopped";
    }
    return {};
}

std::string statusLine(const OutputState& state) {
    if (!state.parts.empty() && state.cause == OutputCause::None) {
        return joined(state.parts, statusLine, "; ");
    }
    if (state.kind == OutputState::Kind::Opening) {
        return "Built-in synthesiser: loading " + state.detail;
    }
    if (state.kind != OutputState::Kind::Playing) {
        return "No sound: " + silenceReason(state);
    }
    switch (state.path) {
    case OutputPath::BuiltinSynth:
        return "Built-in synthesiser: " + state.detail + inParentheses(state.via);
    case OutputPath::MidiPort:
        return "MIDI port: " + state.detail + inParentheses(state.via);
    case OutputPath::VirtualPort:
        return "Virtual MIDI port: " + state.detail + inParentheses(state.via);
    case OutputPath::Trace:
        return "Trace: every message written to the output";
    }
    return {};
}

} // namespace tarnwick
