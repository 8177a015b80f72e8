#pragma once
// A control panel held in memory, with the controls of the main dialog: the
// edits, the combo boxes with the lengths of their lists, and the check boxes.
// It follows the same rules as the dialog's widgets, so the command line and
// the tests move values exactly as the dialog does.

#include <map>
#include <string>

#include "controls/control_panel.h"

namespace tarnwick {

class MemoryPanel : public ControlPanel {
  public:
    // The main dialog's controls: the seed and numeric edits, combo 1003 with
    // the 19 scales, 1004-1006 with the 128 instruments, 1018-1025 with the 62
    // drums (none selected), and the nine H/M/P check boxes (clear).
    MemoryPanel();

    std::string wholeText(int id) const override;
    void writeText(int id, std::string_view text) override;
    int readSelection(int id) const override;
    void writeSelection(int id, int index) override;
    int readCheck(int id) const override;
    void writeCheck(int id, std::int32_t value) override;

    // The number of items in a combo box's list; 0 for an id that is none.
    int itemCount(int id) const;

    // A control the panel does not hold reads as an empty edit, a combo box
    // without selection or a clear check box, and ignores writes.

  private:
    struct Combo {
        int itemCount = 0;
        int selection = -1;
    };

    std::map<int, std::string> edits_;
    std::map<int, Combo> combos_;
    std::map<int, bool> checks_;
};

} // namespace tarnwick
