#pragma once
// The export's second half: the event list as a Standard MIDI File, format 1
// with one track that holds every channel, one tick per millisecond.
//
// Layout (every number big-endian):
//   "MThd" 00000006 0001 0001 division
//   "MTrk" track-length
//   00 FF 51 03 tempo(3 bytes)           tempo in microseconds per quarter note
//   00 FF 58 04 04 02 18 08              4/4, 24 clocks per click, 8 32nds per quarter
//   per voice k: 00 Ck program, then 00 Bk 01 3F if its modulation flag is set
//   per event: delta-time (variable length), status, data 1[, data 2]
//   00 FF 2F 00                          end of track
//
// A quarter note is normally 8 steps: division stepMs x 8 ticks and tempo
// stepMs x 8000 us, so a tick lasts 1 ms. The tempo field holds at most
// 16,777,215 us, so from 2098 ms per step the quarter note becomes the largest
// of 4, 2 or 1 steps that fits, and beyond 16,777 ms a fixed 1000 ticks and
// 1,000,000 us. The tick stays 1 ms and the division stays below 32768 (the
// top bit would mean SMPTE timing).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_result.h"
#include "files/midi_events.h"

namespace tarnwick {

struct SongSettings;

// The largest value a variable-length quantity can hold (four 7-bit groups),
// and so the longest gap between two events the file can express, in ms.
inline constexpr std::uint32_t kMaxVarLen = 0x0FFFFFFF;

// Appends value as a variable-length quantity: 7-bit groups, most significant
// first, leading zero groups left out (0 is the single byte 00), bit 7 set on
// every byte but the last. Returns the bytes appended, 1 to 4; a value above
// kMaxVarLen cannot be written, appends nothing and returns 0.
int writeVarLen(std::uint32_t value, std::vector<std::uint8_t>& out);

// Appends the four bytes of value, most significant first.
void writeBigEndian32(std::uint32_t value, std::vector<std::uint8_t>& out);

struct MidiTiming {
    std::uint16_t division;    // ticks per quarter note
    std::uint32_t tempoMicros; // microseconds per quarter note, at most 0xFFFFFF
};

// Division and tempo for a step length: one tick per millisecond always.
MidiTiming midiTiming(std::int32_t stepMs);

struct [[nodiscard]] MidiFileBytes {
    std::vector<std::uint8_t> bytes; // the whole file; empty when refused
    std::string error;               // why the list cannot be written; empty on success

    bool ok() const { return error.empty(); }
};

// What the file sets before its first event, all at time 0: for voice k =
// 0, 1, 2 in turn a program change on channel k (the program clamped into
// 0..127), then the modulation wheel at 63 when its modulation flag is set.
std::vector<std::uint32_t> fileSetUpMessages(const SongSettings& settings);

// The file for the list, built in memory. Program numbers are clamped into
// 0..127. Refuses, with the reason, only what no file at one tick per
// millisecond can express: a gap between two events longer than kMaxVarLen
// ms, events out of time order, or a message that is no channel message with
// valid data bytes.
MidiFileBytes encodeMidiFile(const SongSettings& settings, std::span<const MidiEvent> events);

// The same piece with one track per line, format 1: a first track with the
// piece's name (left out when empty), the tempo and the time signature, then
// "Voice 1", "Voice 2", "Harmony" (only when the harmony offset is not 0),
// "Voice 3" and "Drums". Each line's track starts with its name (meta event
// 03) and its instrument's name (meta event 04: the window's General MIDI
// name; "Percussion" for the drums), then its channel's set-up (program and
// modulation wheel, as fileSetUpMessages gives them) and its events. The
// harmony shares voice 2's channel and its set-up, which voice 2's track
// holds, and the drums have no program: merged by time, with ties in track
// order, the tracks hold the one-track file's events, apart from the names.
// Refuses what encodeMidiFile refuses.
MidiFileBytes encodeMidiTracksFile(const SongSettings& settings, std::span<const LineEvent> events,
                                   std::string_view pieceName);

// Encodes the file and writes it atomically: the target is replaced whole or
// left as it was.
[[nodiscard]] FileResult writeMidiFile(const std::string& path, const SongSettings& settings,
                                       std::span<const MidiEvent> events);

// The piece's name a tracks file carries: its file's name without the folder
// and the extension, as "canon" for "music/canon.mid".
std::string pieceNameForPath(const std::string& path);

// Encodes the tracks file and writes it atomically, as writeMidiFile does.
[[nodiscard]] FileResult writeMidiTracksFile(const std::string& path, const SongSettings& settings,
                                             std::span<const LineEvent> events,
                                             std::string_view pieceName);

} // namespace tarnwick
