#pragma once
// The plugin's controls: one per field of the settings record (with a number
// from 1 for the fields that hold several values), the step length against
// the host's beat and the two randomiser triggers. The plugin's description
// (tarnwick.ttl) is written from this one table, so the two cannot disagree.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnwick {

struct SongSettings;

namespace plugin {

enum class ControlKind {
    Integer,    // a number in min..max
    Toggle,     // 0 or 1
    Scale,      // an index into the scale table, shown by name
    Instrument, // a General MIDI program, shown by name
    Drum,       // a drum-table index, shown by name
    StepLength, // steps a quarter note: 8, 4 or 2, shown as 1/32, 1/16, 1/8
    Trigger,    // a button: a draw when it goes from 0 to 1
};

struct ControlInfo {
    std::string_view symbol; // the settings field's name, numbered from 1
    std::string_view name;   // what the host's generic interface shows
    ControlKind kind;
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t start; // the default
    // Where the value lives in the settings record (bytes from its start);
    // kNoField for the controls that are not settings.
    std::size_t offset;
};

inline constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

// The controls in port order: the settings in the record's order, then
// stepsPerBeat, randomCanon and randomAll.
inline constexpr std::size_t kControlCount = 51;
const std::array<ControlInfo, kControlCount>& controlTable();

// Indices into the table of the controls that are no settings field.
inline constexpr std::size_t kStepsPerBeatControl = 48;
inline constexpr std::size_t kRandomCanonControl = 49;
inline constexpr std::size_t kRandomAllControl = 50;

// The settings field a control sets, read and written as a whole number.
std::int32_t fieldValue(const SongSettings& settings, const ControlInfo& control);
void setFieldValue(SongSettings& settings, const ControlInfo& control, std::int32_t value);

// A port's value as the whole number it stands for (hosts send floats),
// kept within the 32-bit range.
std::int32_t controlNumber(float value);

} // namespace plugin
} // namespace tarnwick
