#include "controls/memory_panel.h"

#include "composition/name_tables.h"
#include "composition/scale.h"
#include "composition/song_settings.h"
#include "controls/control_ids.h"

namespace tarnwick {

MemoryPanel::MemoryPanel() {
    for (const int id : {control::kSeed, control::kBeat, control::kStepMs, control::kDrumVolume,
                         control::kTranspose, control::kRepeat, control::kHarmonyOffset}) {
        edits_[id];
    }
    combos_[control::kScale].itemCount = kScaleCount;
    for (int k = 0; k < kVoiceCount; ++k) {
        for (const int first :
             {control::kLowOctave, control::kHighOctave, control::kVolume, control::kVoiceOffset}) {
            edits_[first + k];
        }
        combos_[control::kInstrument + k].itemCount = kInstrumentCount;
        for (const int first : {control::kHold, control::kModulation, control::kPortamento}) {
            checks_[first + k] = false;
        }
    }
    for (int s = 0; s < kDrumSlotCount; ++s) {
        combos_[control::kDrumSlot + s].itemCount = kDrumCount;
    }
}

void MemoryPanel::writeText(int id, std::string_view text) {
    if (const auto edit = edits_.find(id); edit != edits_.end()) {
        edit->second = text;
    }
}

std::string MemoryPanel::wholeText(int id) const {
    const auto edit = edits_.find(id);
    return edit == edits_.end() ? std::string() : edit->second;
}

int MemoryPanel::itemCount(int id) const {
    const auto combo = combos_.find(id);
    return combo == combos_.end() ? 0 : combo->second.itemCount;
}

int MemoryPanel::readSelection(int id) const {
    const auto combo = combos_.find(id);
    return combo == combos_.end() ? -1 : combo->second.selection;
}

void MemoryPanel::writeSelection(int id, int index) {
    if (const auto combo = combos_.find(id); combo != combos_.end()) {
        combo->second.selection = (index >= 0 && index < combo->second.itemCount) ? index : -1;
    }
}

int MemoryPanel::readCheck(int id) const {
    const auto check = checks_.find(id);
    return (check != checks_.end() && check->second) ? 1 : 0;
}

void MemoryPanel::writeCheck(int id, std::int32_t value) {
    if (const auto check = checks_.find(id); check != checks_.end()) {
        check->second = value != 0;
    }
}

} // namespace tarnwick
