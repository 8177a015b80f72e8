#pragma once
// Opening the MIDI output by name. The outputs, in order of preference:
//   builtin     the built-in synthesiser (the default)
//   port:NAME   an external MIDI port
//   none        silence
//   trace       every message written as text, for scripts and tests

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/message_scheduler.h"
#include "outputs/output_device.h"

namespace tarnwick {

inline constexpr std::string_view kDefaultOutputName = "builtin";

struct OutputOptions {
    std::string name{kDefaultOutputName};
    // builtin: a .sf2 or .sf3 file in place of the default General MIDI font.
    std::string soundFont;
    // builtin: how far behind its message time each message sounds.
    SchedulerConfig scheduler;
    // trace: where the lines go (standard output when null) and the caller's
    // count of ticks played (0 when null).
    std::ostream* traceStream = nullptr;
    const std::int64_t* ticksPlayed = nullptr;
};

struct OutputChoice {
    std::string name;        // what to pass as OutputOptions::name
    std::string description; // a few words for a listing
};

// True for "builtin", "none", "trace" and "port:" followed by a name.
bool isOutputName(std::string_view name);

// Opens the named output. Never fails: an output that cannot be opened, or an
// unknown name, gives the output "none" with the reason as its status. The
// built-in synthesiser finishes opening in the background (see
// BuiltinSynthOutput) and turns silent, with the reason, if that fails.
std::unique_ptr<OutputDevice> openMidiOutput(const OutputOptions& options);

// Closes the output: no message is sent after this. Harmless when null.
void closeMidiOutput(std::unique_ptr<OutputDevice>& output);

// The outputs that can be opened now, in order of preference: builtin when a
// font is found and an audio driver opens, every MIDI port, none and trace.
std::vector<OutputChoice> listMidiOutputs();

} // namespace tarnwick
