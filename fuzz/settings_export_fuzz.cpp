// Arbitrary bytes as a settings file, run through the whole command-line
// sequence to the exported MIDI bytes. The first four bytes seed the random
// generator (least significant first); the rest is the file. Besides crashes
// and undefined behaviour, it checks what the rest of the program relies on:
// the clamps after the controls are read, the size and order of the event
// list, and the header, tempo and track length of the file.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"
#include "playback/midi_output.h"

namespace {

using namespace tarnwick;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkSettingsAfterTheControls(const SongSettings& s) {
    for (std::size_t k = 0; k < kVoiceCount; ++k) {
        require(s.lowOctave[k] < s.highOctave[k] && s.highOctave[k] >= 1 && s.highOctave[k] <= 11 &&
                s.lowOctave[k] >= 0);
        require(s.volume[k] >= 0 && s.volume[k] <= 90);
        require(s.hold[k] == 0 || s.hold[k] == 1);
    }
    require(s.drumVolume >= 0 && s.drumVolume <= 90);
    require(s.beatLength >= 1 && s.stepMs >= 50 && s.repeatLength >= 0);
    require(s.transpose >= -11 && s.transpose <= 11);
    require(s.seedCount >= -1 && s.seedCount <= 8);
}

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (const std::uint8_t byte : bytes) {
        value = value << 8 | byte;
    }
    return value;
}

void checkFile(const MidiFileBytes& file, std::span<const MidiEvent> events) {
    if (!file.ok()) {
        // Refused only for a gap no delta-time can hold.
        bool gapTooLong = false;
        std::int64_t previous = 0;
        for (const MidiEvent& event : events) {
            gapTooLong = gapTooLong || event.timeMs - previous > kMaxVarLen;
            previous = event.timeMs;
        }
        require(gapTooLong && file.bytes.empty());
        return;
    }
    const std::span<const std::uint8_t> bytes = file.bytes;
    require(bytes.size() >= 50);
    const std::uint32_t division = bigEndian(bytes.subspan(12, 2));
    const std::uint32_t tempo = bigEndian(bytes.subspan(26, 3));
    require(division >= 1 && division <= 0x7FFF && tempo == division * 1000);
    require(bigEndian(bytes.subspan(18, 4)) == bytes.size() - 22);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const std::uint32_t randSeed = std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                   std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24;
    const std::span<const std::uint8_t> contents(data + 4, size - 4);

    // Loading and saving again gives the same bytes, with version word 1.
    if (contents.size() >= kSettingsFileSize) {
        SongSettings loaded;
        require(decodeSettingsFile(contents, loaded).empty());
        const SettingsFileBytes again = encodeSettings(loaded);
        require(again[0] == 1 && again[1] == 0 && again[2] == 0 && again[3] == 0);
        for (std::size_t i = 4; i < kSettingsFileSize; ++i) {
            require(again[i] == contents[i]);
        }
    }

    RandomGenerator random(randSeed);
    SongSettings settings;
    Score score;
    const FileResult prepared = prepareSession(
        random,
        [&](SongSettings& s) {
            const std::string reason = decodeSettingsFile(contents, s);
            return reason.empty() ? FileResult::success("fuzz.tarn")
                                  : FileResult::failure("fuzz.tarn", reason);
        },
        settings, score);
    if (!prepared.ok()) {
        require(contents.size() < kSettingsFileSize);
        return 0;
    }
    checkSettingsAfterTheControls(settings);

    const std::vector<MidiEvent> events = buildMidiEvents(settings, score, random);
    require(events.size() <= kMaxMidiEvents);
    std::int64_t previous = 0;
    for (const MidiEvent& event : events) {
        require(event.timeMs >= previous && event.timeMs % settings.stepMs == 0);
        require(messageData1(event.message) <= 127 && messageData2(event.message) <= 127);
        previous = event.timeMs;
    }
    checkFile(encodeMidiFile(settings, events), events);
    return 0;
}
