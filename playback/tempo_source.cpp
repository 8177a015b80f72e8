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
    return std::nullopt;
}

std::string_view tempoSourceName(TempoSource source) {
    return source == TempoSource::JackTransport ? "jack" : "internal";
}

std::string followingLine(TempoSource source, double beatsPerMinute, bool rolling, bool starting) {
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "%.1f BPM", beatsPerMinute);
    const char* state = rolling ? "rolling" : starting ? "starting" : "stopped";
    const std::string_view what = source == TempoSource::JackTransport ? "JACK transport" : "";
    return "Following " + std::string(what) + ": " + tempo + ", " + state;
}

} // namespace tarnwick
