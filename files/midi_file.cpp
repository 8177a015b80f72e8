#include "files/midi_file.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

#include "composition/name_tables.h"
#include "composition/song_settings.h"
#include "files/atomic_file.h"
#include "midi/channel_messages.h"
#include "midi/midi_bytes.h"
#include "midi/midi_output.h"
#include "midi/status_bytes.h"

namespace tarnwick {

namespace {

constexpr std::uint32_t kMaxTempoMicros = 0xFFFFFF; // three bytes
constexpr std::int32_t kMaxDivision = 0x7FFF;       // top bit clear: ticks per quarter
constexpr std::int32_t kMicrosPerMs = 1000;

void writeText(std::string_view text, std::vector<std::uint8_t>& out) {
    out.insert(out.end(), text.begin(), text.end());
}

void writeBytes(std::initializer_list<std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A channel message in full, without running status: the file holds each
// message as a port is sent it.
void writeMessage(std::uint32_t message, std::vector<std::uint8_t>& out) {
    const MidiBytes wire = midiBytes(message);
    out.insert(out.end(), wire.bytes.begin(),
               wire.bytes.begin() + static_cast<std::ptrdiff_t>(wire.size));
}

bool isChannelMessage(std::uint32_t message) {
    return midi::isChannelStatus(messageStatus(message)) &&
           midi::isDataByte(messageData1(message)) && midi::isDataByte(messageData2(message)) &&
           (message >> 24) == 0;
}

MidiFileBytes refuse(std::string reason) {
    return {{}, std::move(reason)};
}

} // namespace

int writeVarLen(std::uint32_t value, std::vector<std::uint8_t>& out) {
    if (value > kMaxVarLen) {
        return 0;
    }
    int groups = 1;
    while (groups < 4 && (value >> (7 * groups)) != 0) {
        ++groups;
    }
    for (int g = groups - 1; g >= 0; --g) {
        const auto group = static_cast<std::uint8_t>((value >> (7 * g)) & 0x7F);
        out.push_back(g == 0 ? group : static_cast<std::uint8_t>(group | 0x80));
    }
    return groups;
}

void writeBigEndian32(std::uint32_t value, std::vector<std::uint8_t>& out) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

MidiTiming midiTiming(std::int32_t stepMs) {
    for (const std::int32_t stepsPerQuarter : {8, 4, 2, 1}) {
        const std::int64_t division = std::int64_t{stepMs} * stepsPerQuarter;
        const std::int64_t tempo = division * kMicrosPerMs;
        if (division >= 1 && division <= kMaxDivision && tempo <= kMaxTempoMicros) {
            return {static_cast<std::uint16_t>(division), static_cast<std::uint32_t>(tempo)};
        }
    }
    return {1000, 1000 * kMicrosPerMs};
}

std::vector<std::uint32_t> fileSetUpMessages(const SongSettings& settings) {
    std::vector<std::uint32_t> messages;
    for (std::size_t k = 0; k < kVoiceCount; ++k) {
        const int channel = static_cast<int>(k);
        messages.push_back(midi::programChange(channel, settings.instrument[k]));
        if (settings.modulation[k] != 0) {
            messages.push_back(midi::controlChange(channel, midi::kModulationWheel, 63));
        }
    }
    return messages;
}

namespace {

constexpr std::uint8_t kTrackNameMeta = 0x03;
constexpr std::uint8_t kInstrumentNameMeta = 0x04;
constexpr std::string_view kDrumsInstrumentName = "Percussion";

void writeHeader(std::uint16_t tracks, std::uint16_t division, std::vector<std::uint8_t>& out) {
    writeText("MThd", out);
    writeBigEndian32(6, out);
    writeBigEndian32(0x00010000u | tracks, out); // format 1
    writeBytes({static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division)},
               out);
}

// Starts a track chunk; its length is filled in by endTrack.
std::size_t beginTrack(std::vector<std::uint8_t>& out) {
    writeText("MTrk", out);
    writeBigEndian32(0, out);
    return out.size();
}

// Ends the track begun at `start` (the offset after its length field).
bool endTrack(std::size_t start, std::vector<std::uint8_t>& out) {
    writeBytes({0x00, 0xFF, 0x2F, 0x00}, out);
    // An export has at most 5632 events of at most 8 bytes; only a list far
    // beyond that could overflow the 32-bit track length.
    if (out.size() - start > 0xFFFFFFFFu) {
        return false;
    }
    const auto trackLength = static_cast<std::uint32_t>(out.size() - start);
    for (std::size_t i = 0; i < 4; ++i) {
        out[start - 4 + i] = static_cast<std::uint8_t>(trackLength >> (24 - 8 * i));
    }
    return true;
}

void writeTempoAndMetre(const MidiTiming& timing, std::vector<std::uint8_t>& out) {
    writeBytes({0x00, 0xFF, 0x51, 0x03}, out);
    writeBytes({static_cast<std::uint8_t>(timing.tempoMicros >> 16),
                static_cast<std::uint8_t>(timing.tempoMicros >> 8),
                static_cast<std::uint8_t>(timing.tempoMicros)},
               out);
    writeBytes({0x00, 0xFF, 0x58, 0x04}, out);
    writeBigEndian32(0x04021808, out);
}

// A text meta event at delta 0; texts here are short names.
void writeTextMeta(std::uint8_t type, std::string_view text, std::vector<std::uint8_t>& out) {
    writeBytes({0x00, 0xFF, type}, out);
    writeVarLen(static_cast<std::uint32_t>(text.size()), out);
    writeText(text, out);
}

// Appends the events with their delta-times; the reason when one cannot be written.
std::optional<std::string> writeEvents(std::span<const MidiEvent> events,
                                       std::vector<std::uint8_t>& out) {
    std::int64_t previousMs = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MidiEvent& event = events[i];
        const std::int64_t delta = event.timeMs - previousMs;
        if (delta < 0) {
            return "event " + std::to_string(i) + " at " + std::to_string(event.timeMs) +
                   " ms comes before the one at " + std::to_string(previousMs) + " ms";
        }
        if (delta > kMaxVarLen) {
            return "a gap of " + std::to_string(delta) +
                   " ms between two events is longer than a MIDI file can hold (" +
                   std::to_string(kMaxVarLen) + " ms); use a shorter step length";
        }
        if (!isChannelMessage(event.message)) {
            return "event " + std::to_string(i) + " is no channel message";
        }
        writeVarLen(static_cast<std::uint32_t>(delta), out);
        writeMessage(event.message, out);
        previousMs = event.timeMs;
    }
    return std::nullopt;
}

constexpr std::string_view kTooLong = "the track is longer than a MIDI file can hold";

std::string_view lineName(PieceLine line) {
    switch (line) {
    case PieceLine::Voice1:
        return "Voice 1";
    case PieceLine::Voice2:
        return "Voice 2";
    case PieceLine::Harmony:
        return "Harmony";
    case PieceLine::Voice3:
        return "Voice 3";
    case PieceLine::Drums:
        return "Drums";
    }
    return {};
}

// The voice whose channel and instrument a line uses; none for the drums.
std::optional<std::size_t> lineVoice(PieceLine line) {
    switch (line) {
    case PieceLine::Voice1:
        return 0;
    case PieceLine::Voice2:
    case PieceLine::Harmony:
        return 1;
    case PieceLine::Voice3:
        return 2;
    case PieceLine::Drums:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

MidiFileBytes encodeMidiFile(const SongSettings& settings, std::span<const MidiEvent> events) {
    std::vector<std::uint8_t> out;
    out.reserve(64 + events.size() * 8);

    const MidiTiming timing = midiTiming(settings.stepMs);
    writeHeader(1, timing.division, out);
    const std::size_t track = beginTrack(out);
    writeTempoAndMetre(timing, out);
    for (const std::uint32_t message : fileSetUpMessages(settings)) {
        out.push_back(0x00);
        writeMessage(message, out);
    }
    if (std::optional<std::string> problem = writeEvents(events, out)) {
        return refuse(std::move(*problem));
    }
    if (!endTrack(track, out)) {
        return refuse(std::string(kTooLong));
    }
    return {std::move(out), {}};
}

MidiFileBytes encodeMidiTracksFile(const SongSettings& settings, std::span<const LineEvent> events,
                                   std::string_view pieceName) {
    std::vector<PieceLine> lines{PieceLine::Voice1, PieceLine::Voice2};
    if (settings.harmonyOffset != 0) {
        lines.push_back(PieceLine::Harmony);
    }
    lines.push_back(PieceLine::Voice3);
    lines.push_back(PieceLine::Drums);

    std::vector<std::uint8_t> out;
    out.reserve(256 + events.size() * 8);
    const MidiTiming timing = midiTiming(settings.stepMs);
    writeHeader(static_cast<std::uint16_t>(lines.size() + 1), timing.division, out);
    std::size_t track = beginTrack(out);
    if (!pieceName.empty()) {
        writeTextMeta(kTrackNameMeta, pieceName, out);
    }
    writeTempoAndMetre(timing, out);
    endTrack(track, out);

    const std::vector<std::uint32_t> setUp = fileSetUpMessages(settings);
    std::vector<MidiEvent> lineEvents;
    for (const PieceLine line : lines) {
        track = beginTrack(out);
        writeTextMeta(kTrackNameMeta, lineName(line), out);
        const std::optional<std::size_t> voice = lineVoice(line);
        writeTextMeta(kInstrumentNameMeta,
                      voice ? instrumentName(std::clamp(settings.instrument[*voice], 0, 127))
                            : kDrumsInstrumentName,
                      out);
        if (voice && line != PieceLine::Harmony) {
            for (const std::uint32_t message : setUp) {
                if (midi::messageChannel(message) == static_cast<int>(*voice)) {
                    out.push_back(0x00);
                    writeMessage(message, out);
                }
            }
        }
        lineEvents.clear();
        for (const LineEvent& tagged : events) {
            if (tagged.line == line) {
                lineEvents.push_back(tagged.event);
            }
        }
        if (std::optional<std::string> problem = writeEvents(lineEvents, out)) {
            return refuse(std::string(lineName(line)) + ": " + *problem);
        }
        if (!endTrack(track, out)) {
            return refuse(std::string(kTooLong));
        }
    }
    return {std::move(out), {}};
}

FileResult writeMidiFile(const std::string& path, const SongSettings& settings,
                         std::span<const MidiEvent> events) {
    const MidiFileBytes file = encodeMidiFile(settings, events);
    if (!file.ok()) {
        return FileResult::failure(path, file.error);
    }
    return writeFileAtomically(path, file.bytes);
}

std::string pieceNameForPath(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

FileResult writeMidiTracksFile(const std::string& path, const SongSettings& settings,
                               std::span<const LineEvent> events, std::string_view pieceName) {
    const MidiFileBytes file = encodeMidiTracksFile(settings, events, pieceName);
    if (!file.ok()) {
        return FileResult::failure(path, file.error);
    }
    return writeFileAtomically(path, file.bytes);
}

} // namespace tarnwick
