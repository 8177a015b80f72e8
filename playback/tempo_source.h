#pragma once
// Where the performance takes its tempo and its steps from: its own step
// timer at the "ms per" length ("internal", the default), or a timeline kept
// by another program that it follows (the JACK transport, an Ableton Link
// session). Named as --sync takes it and as the window remembers it.

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

enum class TempoSource {
    Internal,      // the step timer, one step every "ms per" milliseconds
    JackTransport, // the JACK server's transport, and its timebase master's tempo
    MidiClockIn,   // MIDI clock received on a port: Start, Stop, Continue, pulses
    AbletonLink,   // the Link session's tempo, beats and start/stop
};

inline constexpr std::string_view kTempoSourceNames = "internal, jack, clock:PORT, link";

// "internal", "jack", "clock" (the port is named apart, see clockPortOf) or
// "link"; nothing for any other name.
std::optional<TempoSource> parseTempoSource(std::string_view name);
std::string_view tempoSourceName(TempoSource source);

// The port of a --sync value "clock:PORT"; nothing for any other value.
std::optional<std::string_view> clockPortOf(std::string_view value);

// Why following MIDI clock stopped, or could not begin.
enum class ClockFault {
    None,
    NoJackServer,  // no JACK server runs for our input port
    NotConnected,  // the clock's port is not there, or would not connect
    PortGone,      // the clock's port went away
    ClockSilent,   // no pulse for two seconds while running
    ServerStopped, // the JACK server stopped
};

// The status line for a fault: "Stopped: no MIDI clock for two seconds".
std::string clockFaultLine(ClockFault fault, std::string_view port);

// The status line while following: "Following JACK transport: 120.0 BPM,
// rolling" (or "stopped", "starting"); "Following Ableton Link: 120.0 BPM,
// playing" (or "stopped", "starting").
std::string followingLine(TempoSource source, double beatsPerMinute, bool rolling, bool starting);

// Why following Link stopped the performance.
inline constexpr std::string_view kLinkPeersLeft = "Stopped: the Ableton Link peers have left";

} // namespace tarnwick
