#pragma once
// What the dialog's controls show, taken as a whole so it can be put back:
// every edit's text, every combo box's selection and every check box.

#include <string>
#include <vector>

#include "composition/song_settings.h"

namespace tarnwick {

class ControlPanel;

struct PanelSnapshot {
    struct Control {
        std::string text; // an edit's whole text
        int selection;    // a combo box's, -1 for none
        int check;
        friend bool operator==(const Control&, const Control&) = default;
    };
    std::vector<Control> controls; // by id, from control::kFirst

    friend bool operator==(const PanelSnapshot&, const PanelSnapshot&) = default;
};

PanelSnapshot capturePanel(const ControlPanel& panel);

// Writes every control of the snapshot back, edits with their whole text.
void restorePanel(const PanelSnapshot& snapshot, ControlPanel& panel);

// The controls together with the settings record behind them. The record holds
// what no control shows (the reserved block, seed values beyond the count, a
// loaded list index outside its list), so both are needed to get a state back.
struct SettingsState {
    PanelSnapshot panel;
    SongSettings settings;

    friend bool operator==(const SettingsState&, const SettingsState&) = default;
};

} // namespace tarnwick
