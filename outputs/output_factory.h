#pragma once
// Opening the MIDI output by name. The outputs form one table of backends, in
// order of preference, from which --output's check, --list-outputs and the
// window's Output menu all read:
//   builtin     the built-in synthesiser (the default)
//   port:NAME   an external MIDI port
//   virtual     the virtual port "Tarnwick" that other programs connect to
//   none        silence
//   trace       every message written as text, for scripts and tests

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "playback/output_device.h"
#include "scheduling/message_scheduler.h"

namespace tarnwick {

inline constexpr std::string_view kDefaultOutputName = "builtin";

struct OutputOptions {
    std::string name{kDefaultOutputName};
    // builtin: a .sf2 or .sf3 file in place of the default General MIDI font.
    std::string soundFont;
    // builtin and the ports: how far behind its message time each message
    // sounds.
    SchedulerConfig scheduler;
    // trace: where the lines go (standard output when null) and the caller's
    // count of ticks played (0 when null).
    std::ostream* traceStream = nullptr;
    const std::int64_t* ticksPlayed = nullptr;
};

struct OutputChoice {
    std::string name;        // what to pass as OutputOptions::name
    std::string description; // a few words for --list-outputs
    std::string label;       // what the Output menu shows
};

// Who asks for a listing: --list-outputs shows the built-in synthesiser only
// when it can sound (a font and an audio driver are found); the Output menu
// always offers it, as the one output that needs nothing outside the program,
// and never offers the trace.
enum class Listing { CommandLine, Menu };

struct OutputBackend {
    std::string_view name;    // "port" for port:NAME
    std::string_view spelled; // as --output takes it: "port:NAME"
    bool takesClock;          // MIDI clock is sent to it (when switched on)
    // The outputs of this backend that can be opened now.
    std::vector<OutputChoice> (*list)(Listing listing);
    // Opens it (`detail` is the NAME of port:NAME); nullptr, with the silent
    // state that says why in `failure`, when it cannot be opened now.
    std::unique_ptr<OutputDevice> (*open)(std::string_view detail, const OutputOptions& options,
                                          OutputState& failure);
};

// Every backend, in order of preference.
std::span<const OutputBackend> outputBackends();

// The backend an output name belongs to, or null when none does.
const OutputBackend* findOutputBackend(std::string_view name);

// True for the names of the table: "builtin", "virtual", "none", "trace" and
// "port:" followed by a name.
bool isOutputName(std::string_view name);

// The names as a user gives them: "builtin, port:NAME, virtual, none, trace".
std::string outputNamesText();

// Opens the named output. Never fails: an output that cannot be opened, or an
// unknown name, gives a silent output whose state says why. The built-in
// synthesiser finishes opening in the background (see BuiltinSynthOutput) and
// turns silent, with the reason, if that fails.
std::unique_ptr<OutputDevice> openMidiOutput(const OutputOptions& options);

// Opens the output chosen in an earlier run; when it is a port or the virtual
// port that cannot be opened now, the built-in synthesiser instead, and
// `note` says which could not be opened and why (else it is left empty).
std::unique_ptr<OutputDevice> openRememberedOutput(const OutputOptions& options, std::string& note);

// The outputs that can be opened now, in order of preference.
std::vector<OutputChoice> listMidiOutputs(Listing listing = Listing::CommandLine);

// When `listed` offers no MIDI port at all (no port:NAME, no virtual port),
// the silent state that says which MIDI systems are missing; else nullopt.
std::optional<OutputState> missingMidiPorts(const std::vector<OutputChoice>& listed);

} // namespace tarnwick
