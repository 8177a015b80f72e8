// Arbitrary bytes as a settings file (after four bytes that seed the random
// generator, least significant first) through the command line's sequence to
// the exported MIDI bytes, checking what the rest of the program relies on.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"
#include "midi/midi_output.h"

namespace {

using namespace tarnwick;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (const std::uint8_t byte : bytes) {
        value = value << 8 | byte;
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    RandomGenerator random(std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                           std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24);
    const std::span<const std::uint8_t> contents(data + 4, size - 4);
    if (contents.size() >= kSettingsFileSize) { // saved again: version word 1, the rest kept
        SongSettings loaded;
        require(decodeSettingsFile(contents, loaded).empty());
        const SettingsFileBytes again = encodeSettings(loaded);
        require(again[0] == 1 && again[1] == 0 && again[2] == 0 && again[3] == 0);
        require(std::equal(again.begin() + 4, again.end(), contents.begin() + 4));
    }

    SongSettings s;
    Score score;
    const FileResult prepared = prepareSession(
        random,
        [&](SongSettings& settings) {
            return FileResult{"fuzz.tarn", decodeSettingsFile(contents, settings)};
        },
        s, score);
    if (!prepared.ok()) {
        require(contents.size() < kSettingsFileSize);
        return 0;
    }
    for (std::size_t k = 0; k < kVoiceCount; ++k) {
        require(s.lowOctave[k] >= 0 && s.lowOctave[k] < s.highOctave[k] && s.highOctave[k] <= 11);
        require(s.volume[k] >= 0 && s.volume[k] <= 90 && (s.hold[k] == 0 || s.hold[k] == 1));
    }
    require(s.drumVolume >= 0 && s.drumVolume <= 90 && s.transpose >= -11 && s.transpose <= 11);
    require(s.beatLength >= 1 && s.stepMs >= 50 && s.repeatLength >= 0);
    require(s.seedCount >= -1 && s.seedCount <= 8);

    const std::vector<MidiEvent> events = buildMidiEvents(s, score, random);
    require(events.size() <= kMaxMidiEvents);
    std::int64_t previous = 0;
    bool gapTooLong = false;
    for (const MidiEvent& event : events) {
        require(event.timeMs >= previous && event.timeMs % s.stepMs == 0);
        require(messageData1(event.message) <= 127 && messageData2(event.message) <= 127);
        gapTooLong = gapTooLong || event.timeMs - previous > kMaxVarLen;
        previous = event.timeMs;
    }
    const MidiFileBytes file = encodeMidiFile(s, events);
    if (!file.ok()) { // refused only for a gap no delta-time can hold
        require(gapTooLong && file.bytes.empty());
        return 0;
    }
    const std::span<const std::uint8_t> bytes = file.bytes;
    require(bytes.size() >= 50);
    const std::uint32_t division = bigEndian(bytes.subspan(12, 2));
    require(division >= 1 && division <= 0x7FFF &&
            bigEndian(bytes.subspan(26, 3)) == division * 1000);
    require(bigEndian(bytes.subspan(18, 4)) == bytes.size() - 22);
    return 0;
}
