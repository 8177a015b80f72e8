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
    if (name == "link") {
        return TempoSource::AbletonLink;
    }
    return std::nullopt;
}

std::string_view tempoSourceName(TempoSource source) {
    switch (source) {
    case TempoSource::JackTransport:
        return "jack";
    case TempoSource::AbletonLink:
        return "link";
    case TempoSource::Internal:
        break;
    }
    return "internal";
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
                                                                         : "";
    return "Following " + std::string(what) + ": " + tempo + ", " + state;
}

} // namespace tarnwick
