#pragma once
// The controls of the main dialog, addressed by id (controls/control_ids.h).
// The Qt dialog realises this over its widgets; an in-memory panel realises it
// for tests and the command line. Both follow the same rules, listed per
// operation; the numeric reads and writes go through the edit's text, once,
// here.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

class ControlPanel {
  public:
    virtual ~ControlPanel() = default;

    // Integer read of an edit: leading blanks skipped, then decimal digits up
    // to the first other character. 0 for a text without digits or a value
    // above 4294967295.
    std::uint32_t readUnsigned(int id) const;

    // As readUnsigned, with an optional minus sign before the digits; 0 for a
    // value outside the signed 32-bit range.
    std::int32_t readSigned(int id) const;

    // Shows the value's 32 bits as an unsigned decimal number (-1 shows as
    // 4294967295).
    void writeUnsigned(int id, std::int32_t value);

    // Shows the value as a signed decimal number.
    void writeSigned(int id, std::int32_t value);

    // The edit's text, cut to its first 63 characters.
    std::string readText(int id) const;

    // The edit's whole text, as it shows, with nothing cut.
    virtual std::string wholeText(int id) const = 0;
    virtual void writeText(int id, std::string_view text) = 0;

    // The index of a combo box's selected item, or -1 when none is selected
    // (also when a typed text matches no item).
    virtual int readSelection(int id) const = 0;

    // Selects the item with that index; an index outside the list leaves no
    // item selected.
    virtual void writeSelection(int id, int index) = 0;

    // 1 when the check box is checked, else 0.
    virtual int readCheck(int id) const = 0;

    // Checked for any non-zero value.
    virtual void writeCheck(int id, std::int32_t value) = 0;
};

} // namespace tarnwick
