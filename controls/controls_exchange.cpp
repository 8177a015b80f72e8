#include "controls/controls_exchange.h"

#include <algorithm>
#include <limits>

#include "composition/song_settings.h"
#include "controls/control_ids.h"
#include "controls/control_panel.h"
#include "controls/seed_text.h"

namespace tarnwick {

namespace {

constexpr std::int32_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMaxOctaveLow = 10;
constexpr std::int32_t kMaxOctaveHigh = 11;
constexpr std::int32_t kMinOctaveHigh = 1;
constexpr std::int32_t kMaxVolume = 90;
constexpr std::int32_t kMinBeatLength = 1;
constexpr std::int32_t kMinStepMs = 50;
constexpr std::int32_t kMaxTranspose = 11;
constexpr std::int32_t kResetLowOctave = 1;
constexpr std::int32_t kResetHighOctave = 10;

// An unsigned read as a signed field: a value too large for it becomes
// `ceiling`.
std::int32_t readField(const ControlPanel& panel, int id, std::int32_t ceiling = kMaxInt32) {
    const std::uint32_t value = panel.readUnsigned(id);
    return value > static_cast<std::uint32_t>(kMaxInt32) ? ceiling
                                                         : static_cast<std::int32_t>(value);
}

void readSelection(const ControlPanel& panel, int id, std::int32_t& field) {
    const int selection = panel.readSelection(id);
    if (selection >= 0) {
        field = selection;
    }
}

} // namespace

void readControls(const ControlPanel& panel, SongSettings& settings) {
    settings.seedCount = parseSeedText(panel.readText(control::kSeed), settings.seed);
    readSelection(panel, control::kScale, settings.scaleIndex);

    for (int k = 0; k < kVoiceCount; ++k) {
        const auto v = static_cast<std::size_t>(k);
        std::int32_t& low = settings.lowOctave[v];
        std::int32_t& high = settings.highOctave[v];
        low = std::min(readField(panel, control::kLowOctave + k, kMaxOctaveLow), kMaxOctaveLow);
        high = std::clamp(readField(panel, control::kHighOctave + k, kMaxOctaveHigh),
                          kMinOctaveHigh, kMaxOctaveHigh);
        if (low >= high) {
            low = kResetLowOctave;
            high = kResetHighOctave;
        }
        settings.voiceOffset[v] = panel.readSigned(control::kVoiceOffset + k);
        settings.volume[v] =
            std::min(readField(panel, control::kVolume + k, kMaxVolume), kMaxVolume);
        readSelection(panel, control::kInstrument + k, settings.instrument[v]);
        settings.hold[v] = panel.readCheck(control::kHold + k);
        settings.modulation[v] = panel.readCheck(control::kModulation + k);
        settings.portamento[v] = panel.readCheck(control::kPortamento + k);
    }

    settings.beatLength = std::max(readField(panel, control::kBeat), kMinBeatLength);
    settings.stepMs = std::max(readField(panel, control::kStepMs), kMinStepMs);
    settings.drumVolume = std::min(readField(panel, control::kDrumVolume, kMaxVolume), kMaxVolume);
    settings.transpose =
        std::clamp(panel.readSigned(control::kTranspose), -kMaxTranspose, kMaxTranspose);
    settings.repeatLength = readField(panel, control::kRepeat);
    settings.harmonyOffset = panel.readSigned(control::kHarmonyOffset);

    for (int s = 0; s < kDrumSlotCount; ++s) {
        readSelection(panel, control::kDrumSlot + s, settings.drumKit[static_cast<std::size_t>(s)]);
    }
}

void writeControls(const SongSettings& settings, ControlPanel& panel) {
    panel.writeText(control::kSeed, formatSeed(settings.seed, settings.seedCount));
    panel.writeSelection(control::kScale, settings.scaleIndex);

    for (int k = 0; k < kVoiceCount; ++k) {
        const auto v = static_cast<std::size_t>(k);
        panel.writeUnsigned(control::kLowOctave + k, settings.lowOctave[v]);
        panel.writeUnsigned(control::kHighOctave + k, settings.highOctave[v]);
        panel.writeSigned(control::kVoiceOffset + k, settings.voiceOffset[v]);
        panel.writeUnsigned(control::kVolume + k, settings.volume[v]);
        panel.writeSelection(control::kInstrument + k, settings.instrument[v]);
        panel.writeCheck(control::kHold + k, settings.hold[v]);
        panel.writeCheck(control::kModulation + k, settings.modulation[v]);
        panel.writeCheck(control::kPortamento + k, settings.portamento[v]);
    }

    panel.writeUnsigned(control::kBeat, settings.beatLength);
    panel.writeUnsigned(control::kStepMs, settings.stepMs);
    panel.writeUnsigned(control::kDrumVolume, settings.drumVolume);
    panel.writeSigned(control::kTranspose, settings.transpose);
    panel.writeUnsigned(control::kRepeat, settings.repeatLength);
    panel.writeSigned(control::kHarmonyOffset, settings.harmonyOffset);

    for (int s = 0; s < kDrumSlotCount; ++s) {
        panel.writeSelection(control::kDrumSlot + s, settings.drumKit[static_cast<std::size_t>(s)]);
    }
}

} // namespace tarnwick
