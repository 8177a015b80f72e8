#pragma once
// What an output is doing, as data: whether it sounds, through what, and when
// it does not, why. The window and --play turn it into their status line with
// statusLine(); code that reacts to an output compares states, not words.

#include <string>
#include <vector>

namespace tarnwick {

// Why an output sounds nothing. `detail` in OutputState says which one.
enum class OutputCause {
    None,                  // it sounds (or is opening)
    NoSuchOutput,          // detail: the name asked for
    OutputNone,            // the output "none" was chosen
    UnreadableSoundFont,   // detail: the file
    NoSoundFont,           // no default General MIDI font is installed
    NoAudioDevice,         // detail: the audio drivers tried, "pulseaudio, alsa, ..."
    SynthesiserFailed,     // detail: the synthesiser's own words (a font it could not load)
    AudioDeviceStopped,    // detail: the driver (or its server) that stopped asking for audio
    SoundServerGone,       // detail: the server that went away: "pulseaudio", "PipeWire"
    NoMidiSystem,          // neither an ALSA sequencer nor a JACK server
    NoSuchPort,            // detail: the name asked for
    AmbiguousPort,         // detail: the name asked for, which several ports match
    PortNotOpened,         // detail: the port
    MidiSystemError,       // detail: the MIDI library's message
    NoJackServer,          // no JACK server runs
    JackRefusedClient,     // the server would not take our client
    JackGaveNoPort,        // our client could not register its port
    JackNotActivated,      // our client could not start
    JackNotConnected,      // detail: the port our client could not connect to
    NoAlsaSequencer,       // the virtual port's ALSA side has no sequencer device
    NoVirtualPort,         // parts: why none of the JACK, ALSA and PipeWire sides could be made
    PortGone,              // detail: the port
    JackServerStopped,     // the server our client belonged to has stopped
    NoPipeWireServer,      // no PipeWire server runs
    PipeWireGaveNoPort,    // the PipeWire server would not make our MIDI port
    PipeWireServerStopped, // the server our port belonged to has stopped
    NoMidiPort,            // parts: why no MIDI port can be listed (the missing MIDI systems)
};

// What sounds, while an output opens or plays.
enum class OutputPath {
    BuiltinSynth, // detail: the SoundFont's name; via: the audio driver, or
                  // the sound server behind it ("PipeWire")
    MidiPort,     // detail: the port; via: "JACK", or empty for the ALSA sequencer
    VirtualPort,  // detail: our port; via: "JACK", "ALSA" or "PipeWire"
    Trace,
};

struct OutputState {
    enum class Kind {
        Opening,     // the built-in synthesiser loads its font; messages wait
        Playing,     // what is sent is heard
        Interrupted, // the sound server went away: messages wait until it is back
        Silent,      // every message is dropped, for good
    };

    Kind kind = Kind::Silent;
    OutputPath path = OutputPath::BuiltinSynth; // Opening and Playing
    OutputCause cause = OutputCause::None;      // Interrupted and Silent
    std::string detail;
    std::string via;
    // The sides of an output that sends to several (the virtual port on JACK
    // and ALSA, cause None), or the failures behind NoVirtualPort.
    std::vector<OutputState> parts;

    static OutputState opening(std::string fontName);
    static OutputState playing(OutputPath path, std::string detail, std::string via = {});
    static OutputState interrupted(OutputCause cause, std::string detail);
    static OutputState silent(OutputCause cause, std::string detail = {});
    // Sends to every part: silent when all of them are.
    static OutputState several(std::vector<OutputState> parts);

    bool operator==(const OutputState&) const = default;
};

// The status line: "Built-in synthesiser: FluidR3_GM (pulseaudio)" (or
// "(PipeWire)" where PipeWire is the sound server), or
// "No sound: " and why.
std::string statusLine(const OutputState& state);

// Why nothing sounds, as completing "No sound: ...": "the output is none".
// Empty when the state has no cause.
std::string silenceReason(const OutputState& state);

} // namespace tarnwick
