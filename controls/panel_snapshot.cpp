#include "controls/panel_snapshot.h"

#include <vector>

#include "controls/control_ids.h"
#include "controls/control_panel.h"

namespace tarnwick {

namespace {

struct ControlIds {
    std::vector<int> edits;
    std::vector<int> combos;
    std::vector<int> checks;
};

const ControlIds& controlIds() {
    static const ControlIds ids = [] {
        using namespace control;
        ControlIds all{
            .edits = {kSeed, kBeat, kStepMs, kDrumVolume, kTranspose, kRepeat, kHarmonyOffset},
            .combos = {kScale},
            .checks = {}};
        for (int k = 0; k < kVoiceCount; ++k) {
            for (const int first : {kLowOctave, kHighOctave, kVoiceOffset, kVolume}) {
                all.edits.push_back(first + k);
            }
            all.combos.push_back(kInstrument + k);
            for (const int first : {kHold, kModulation, kPortamento}) {
                all.checks.push_back(first + k);
            }
        }
        for (int s = 0; s < kDrumSlotCount; ++s) {
            all.combos.push_back(kDrumSlot + s);
        }
        return all;
    }();
    return ids;
}

} // namespace

PanelSnapshot capturePanel(const ControlPanel& panel) {
    PanelSnapshot snapshot;
    for (const int id : controlIds().edits) {
        snapshot.texts[id] = panel.wholeText(id);
    }
    for (const int id : controlIds().combos) {
        snapshot.selections[id] = panel.readSelection(id);
    }
    for (const int id : controlIds().checks) {
        snapshot.checks[id] = panel.readCheck(id);
    }
    return snapshot;
}

void restorePanel(const PanelSnapshot& snapshot, ControlPanel& panel) {
    for (const auto& [id, text] : snapshot.texts) {
        panel.writeText(id, text);
    }
    for (const auto& [id, selection] : snapshot.selections) {
        panel.writeSelection(id, selection);
    }
    for (const auto& [id, checked] : snapshot.checks) {
        panel.writeCheck(id, checked);
    }
}

} // namespace tarnwick
