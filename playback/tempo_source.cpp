#include "playback/tempo_source.h"

#include <cstdio>

namespace tarnwick {

std::optional<TempoSource> parseTempoSource(std::string_view name) {
    if (name == "internal") {
        return TempoSource::Internal;
    }
    if (name == "jack") {
        return TempoSource::JackTransport;
    }
    if (name == "clock") {
        return TempoSource::MidiClockIn;
    }
    return std::nullopt;
}

std::string_view tempoSourceName(TempoSource source) {
    return source == TempoSource::JackTransport ? "jack"
           : source == TempoSource::MidiClockIn ? "clock"
                                                : "internal";
}

std::optional<std::string_view> clockPortOf(std::string_view value) {
    constexpr std::string_view kPrefix = "clock:";
    if (value.size() <= kPrefix.size() || value.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    return value.substr(kPrefix.size());
}

std::string clockFaultLine(ClockFault fault, std::string_view port) {
    const std::string named(port);
    switch (fault) {
    case ClockFault::None:
        return {};
    case ClockFault::NoJackServer:
        return "Cannot follow MIDI clock: no JACK server runs";
    case ClockFault::NotConnected:
        return "Cannot follow MIDI clock: no clock port " + named;
    case ClockFault::PortGone:
        return "Stopped: the clock port " + named + " has gone";
    case ClockFault::ClockSilent:
        return "Stopped: no MIDI clock for two seconds";
    case ClockFault::ServerStopped:
        return "Stopped: the JACK server has stopped";
    }
    return {};
}

std::string followingLine(TempoSource source, double beatsPerMinute, bool rolling, bool starting) {
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "%.1f BPM", beatsPerMinute);
    const char* state = rolling ? "rolling" : starting ? "starting" : "stopped";
    const std::string_view what = source == TempoSource::JackTransport ? "JACK transport"
                                  : source == TempoSource::MidiClockIn ? "MIDI clock"
                                                                       : "";
    return "Following " + std::string(what) + ": " + tempo + ", " + state;
}

} // namespace tarnwick
