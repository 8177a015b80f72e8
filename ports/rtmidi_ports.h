#pragma once
// What RtMidi's output ports and the clock's input port share: where the
// ALSA sequencer lives, the error callback that keeps RtMidi quiet, and the
// names of a client's ports.

#include <string>
#include <vector>

#include <RtMidi.h>

namespace tarnwick {

inline constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";

// With an error callback set, RtMidi reports later errors (a port that went
// away) here instead of printing and throwing them.
inline void ignoreMidiError(RtMidiError::Type /*type*/, const std::string& /*text*/,
                            void* /*user*/) {}

// The names of the ports `client` (an RtMidiIn or RtMidiOut) sees; none
// when it cannot list them.
template <class Client>
std::vector<std::string> rtMidiPortNames(Client& client) {
    std::vector<std::string> names;
    try {
        const unsigned count = client.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            names.push_back(client.getPortName(i));
        }
    } catch (const RtMidiError&) {
        // A client that cannot list its ports offers none.
    }
    return names;
}

} // namespace tarnwick
