#include "files/midi_file.h"

#include <cstddef>
#include <string_view>

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
constexpr std::size_t kTrackLengthOffset = 18;

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

MidiFileBytes encodeMidiFile(const SongSettings& settings, std::span<const MidiEvent> events) {
    std::vector<std::uint8_t> out;
    out.reserve(64 + events.size() * 8);

    const MidiTiming timing = midiTiming(settings.stepMs);
    writeText("MThd", out);
    writeBigEndian32(6, out);
    writeBigEndian32(0x00010001, out); // format 1, one track
    writeBytes({static_cast<std::uint8_t>(timing.division >> 8),
                static_cast<std::uint8_t>(timing.division)},
               out);
    writeText("MTrk", out);
    writeBigEndian32(0, out); // track length, filled in at the end

    writeBytes({0x00, 0xFF, 0x51, 0x03}, out);
    writeBytes({static_cast<std::uint8_t>(timing.tempoMicros >> 16),
                static_cast<std::uint8_t>(timing.tempoMicros >> 8),
                static_cast<std::uint8_t>(timing.tempoMicros)},
               out);
    writeBytes({0x00, 0xFF, 0x58, 0x04}, out);
    writeBigEndian32(0x04021808, out);

    for (const std::uint32_t message : fileSetUpMessages(settings)) {
        out.push_back(0x00);
        writeMessage(message, out);
    }

    std::int64_t previousMs = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MidiEvent& event = events[i];
        const std::int64_t delta = event.timeMs - previousMs;
        if (delta < 0) {
            return refuse("event " + std::to_string(i) + " at " + std::to_string(event.timeMs) +
                          " ms comes before the one at " + std::to_string(previousMs) + " ms");
        }
        if (delta > kMaxVarLen) {
            return refuse("a gap of " + std::to_string(delta) +
                          " ms between two events is longer than a MIDI file can hold (" +
                          std::to_string(kMaxVarLen) + " ms); use a shorter step length");
        }
        if (!isChannelMessage(event.message)) {
            return refuse("event " + std::to_string(i) + " is no channel message");
        }
        writeVarLen(static_cast<std::uint32_t>(delta), out);
        writeMessage(event.message, out);
        previousMs = event.timeMs;
    }
    writeBytes({0x00, 0xFF, 0x2F, 0x00}, out);

    // An export has at most 5632 events of at most 8 bytes; only a list far
    // beyond that could overflow the 32-bit track length.
    if (out.size() - kTrackLengthOffset - 4 > 0xFFFFFFFFu) {
        return refuse("the track is longer than a MIDI file can hold");
    }
    const auto trackLength = static_cast<std::uint32_t>(out.size() - kTrackLengthOffset - 4);
    for (int i = 0; i < 4; ++i) {
        out[kTrackLengthOffset + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(trackLength >> (24 - 8 * i));
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

} // namespace tarnwick
