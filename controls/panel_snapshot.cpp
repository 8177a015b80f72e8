#include "controls/panel_snapshot.h"

#include "controls/control_ids.h"
#include "controls/control_panel.h"

namespace tarnwick {

// Every id of the dialog is asked as an edit, a combo box and a check box: a
// panel reads an id of another kind as empty and ignores writes to it, so only
// the control's own kind counts.
PanelSnapshot capturePanel(const ControlPanel& panel) {
    PanelSnapshot snapshot;
    for (int id = control::kFirst; id <= control::kLast; ++id) {
        snapshot.controls.push_back(
            {panel.wholeText(id), panel.readSelection(id), panel.readCheck(id)});
    }
    return snapshot;
}

void restorePanel(const PanelSnapshot& snapshot, ControlPanel& panel) {
    int id = control::kFirst;
    for (const PanelSnapshot::Control& shown : snapshot.controls) {
        panel.writeText(id, shown.text);
        panel.writeSelection(id, shown.selection);
        panel.writeCheck(id, shown.check);
        ++id;
    }
}

} // namespace tarnwick
