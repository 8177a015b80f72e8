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
    if (name == "link") {
        return TempoSource::AbletonLink;
    }
    return std::nullopt;
}

std::string_view tempoSourceName(TempoSource source) {
    switch (source) {
    case TempoSource::JackTransport:
        return "jack";
    case TempoSource::MidiClockIn:
        return "clock";
    case TempoSource::AbletonLink:
        return "link";
    case TempoSource::Internal:
        break;
    }
    return "internal";
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
    const bool link = source == TempoSource::AbletonLink;
    const char* state = rolling    ? (link ? "playing" : "rolling")
                        : starting ? "starting"
                                   : "stopped";
    const std::string_view what = link                                   ? "Ableton Link"
                                  : source == TempoSource::JackTransport ? "JACK transport"
                                  : source == TempoSource::MidiClockIn   ? "MIDI clock"
                                                                         : "";
    return "Following " + std::string(what) + ": " + tempo + ", " + state;
}

} // namespace tarnwick
