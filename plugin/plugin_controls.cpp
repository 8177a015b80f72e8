#include "plugin/plugin_controls.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "composition/name_tables.h"
#include "composition/scale.h"
#include "composition/song_settings.h"

namespace tarnwick::plugin {

namespace {

// A fixed seed for a fresh plugin (the window draws one at start instead):
// seven steps and an eighth that brings the sum to zero.
constexpr std::array<std::int32_t, kSeedCapacity> kStartSeed = {3, -2, 5, -1, -4, 2, -3, 0};

// What one settings field, or a field of several values, becomes.
struct FieldInfo {
    std::string_view symbol;
    std::string_view name;
    ControlKind kind;
    std::int32_t minimum;
    std::int32_t maximum;
    std::array<std::int32_t, kSeedCapacity> starts; // per value
    int count;                                      // values in the field
    std::size_t offset;
};

// The symbols and names of numbered controls ("seed1", "Seed 1") need
// storage of their own.
struct TableStorage {
    std::array<ControlInfo, kControlCount> table{};
    std::array<std::array<char, 32>, kControlCount> symbols{};
    std::array<std::array<char, 48>, kControlCount> names{};
};

void buildTable(TableStorage& storage) {
    using S = SongSettings;
    constexpr auto voices = [](std::int32_t a, std::int32_t b, std::int32_t c) {
        return std::array<std::int32_t, kSeedCapacity>{a, b, c};
    };
    constexpr auto all = [](std::int32_t v) {
        std::array<std::int32_t, kSeedCapacity> starts{};
        starts.fill(v);
        return starts;
    };
    const FieldInfo fields[] = {
        {"seedCount", "Seed count", ControlKind::Integer, 1, 8, all(8), 1, offsetof(S, seedCount)},
        {"seed", "Seed", ControlKind::Integer, -64, 64, kStartSeed, 8, offsetof(S, seed)},
        {"scaleIndex", "Scale", ControlKind::Scale, 0, kScaleCount - 1, all(0), 1,
         offsetof(S, scaleIndex)},
        {"instrument", "Instrument", ControlKind::Instrument, 0, kInstrumentCount - 1, all(0), 3,
         offsetof(S, instrument)},
        {"lowOctave", "Low octave", ControlKind::Integer, 0, 10, all(1), 3, offsetof(S, lowOctave)},
        {"highOctave", "High octave", ControlKind::Integer, 1, 11, all(10), 3,
         offsetof(S, highOctave)},
        {"voiceOffset", "Offset", ControlKind::Integer, -48, 48, voices(24, 12, 0), 3,
         offsetof(S, voiceOffset)},
        {"volume", "Volume", ControlKind::Integer, 0, 90, all(90), 3, offsetof(S, volume)},
        {"hold", "Hold", ControlKind::Toggle, 0, 1, voices(0, 1, 0), 3, offsetof(S, hold)},
        {"modulation", "Modulation", ControlKind::Toggle, 0, 1, all(0), 3, offsetof(S, modulation)},
        {"portamento", "Portamento", ControlKind::Toggle, 0, 1, all(0), 3, offsetof(S, portamento)},
        {"beatLength", "Beat", ControlKind::Integer, 1, 64, all(8), 1, offsetof(S, beatLength)},
        {"stepMs", "Milliseconds per step", ControlKind::Integer, 50, 2000, all(175), 1,
         offsetof(S, stepMs)},
        {"drumVolume", "Drum volume", ControlKind::Integer, 0, 90, all(60), 1,
         offsetof(S, drumVolume)},
        {"drumKit", "Drum", ControlKind::Drum, 0, kDrumCount - 1, all(0), 8, offsetof(S, drumKit)},
        {"transpose", "Transpose", ControlKind::Integer, -11, 11, all(0), 1,
         offsetof(S, transpose)},
        {"repeatLength", "Repeat", ControlKind::Integer, 0, 64, all(0), 1,
         offsetof(S, repeatLength)},
        {"harmonyOffset", "Harmony offset", ControlKind::Integer, -24, 24, all(0), 1,
         offsetof(S, harmonyOffset)},
        {"stepsPerBeat", "Step length", ControlKind::StepLength, 2, 8, all(8), 1, kNoField},
        {"randomCanon", "Random Canon", ControlKind::Trigger, 0, 1, all(0), 1, kNoField},
        {"randomAll", "Random All", ControlKind::Trigger, 0, 1, all(0), 1, kNoField},
    };

    std::size_t at = 0;
    for (const FieldInfo& field : fields) {
        for (int k = 0; k < field.count; ++k) {
            auto& symbol = storage.symbols[at];
            auto& name = storage.names[at];
            const int symbolLength = static_cast<int>(field.symbol.size());
            const int nameLength = static_cast<int>(field.name.size());
            if (field.count == 1) {
                std::snprintf(symbol.data(), symbol.size(), "%.*s", symbolLength,
                              field.symbol.data());
                std::snprintf(name.data(), name.size(), "%.*s", nameLength, field.name.data());
            } else {
                std::snprintf(symbol.data(), symbol.size(), "%.*s%d", symbolLength,
                              field.symbol.data(), k + 1);
                // The voices are shown as the window's rows are: vox I, II, III.
                std::snprintf(name.data(), name.size(), "%.*s %d", nameLength, field.name.data(),
                              k + 1);
            }
            storage.table[at] = ControlInfo{
                .symbol = symbol.data(),
                .name = name.data(),
                .kind = field.kind,
                .minimum = field.minimum,
                .maximum = field.maximum,
                .start = field.starts[static_cast<std::size_t>(k)],
                .offset = field.offset == kNoField
                              ? kNoField
                              : field.offset + static_cast<std::size_t>(k) * sizeof(std::int32_t),
            };
            ++at;
        }
    }
}

} // namespace

const std::array<ControlInfo, kControlCount>& controlTable() {
    // Built in place: the table's texts point into the storage.
    static TableStorage storage;
    static const bool built = (buildTable(storage), true);
    (void)built;
    return storage.table;
}

std::int32_t fieldValue(const SongSettings& settings, const ControlInfo& control) {
    std::int32_t value = 0;
    if (control.offset != kNoField) {
        std::memcpy(&value, reinterpret_cast<const unsigned char*>(&settings) + control.offset,
                    sizeof value);
    }
    return value;
}

void setFieldValue(SongSettings& settings, const ControlInfo& control, std::int32_t value) {
    if (control.offset != kNoField) {
        std::memcpy(reinterpret_cast<unsigned char*>(&settings) + control.offset, &value,
                    sizeof value);
    }
}

std::int32_t controlNumber(float value) {
    if (!(value == value)) {
        return 0; // not a number
    }
    const double rounded = std::nearbyint(static_cast<double>(value));
    if (rounded >= 2147483647.0) {
        return 2147483647;
    }
    if (rounded <= -2147483648.0) {
        return -2147483647 - 1;
    }
    return static_cast<std::int32_t>(rounded);
}

} // namespace tarnwick::plugin
