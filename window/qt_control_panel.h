#pragma once
// The control panel over the main dialog's widgets. Each control widget
// carries its id in the dynamic property "controlId" (set in the form), so one
// lookup table serves every operation.

#include <map>

#include "controls/control_panel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;

namespace tarnwick {

class QtControlPanel : public ControlPanel {
  public:
    // Collects every descendant of form that has a "controlId" property. The
    // widgets must outlive the panel.
    explicit QtControlPanel(QWidget& form);

    std::string wholeText(int id) const override;
    void writeText(int id, std::string_view text) override;
    int readSelection(int id) const override;
    void writeSelection(int id, int index) override;
    int readCheck(int id) const override;
    void writeCheck(int id, std::int32_t value) override;

    // The widget with that id, or null.
    QWidget* widget(int id) const;

  private:
    QLineEdit* edit(int id) const;
    QComboBox* combo(int id) const;
    QCheckBox* check(int id) const;

    std::map<int, QWidget*> widgets_;
};

// The selection a combo box shows: its current item while the text shown is
// that item's, else the first item whose text is exactly the text typed, else
// -1. The current index alone would keep a stale item after free typing.
int comboSelection(const QComboBox& combo);

} // namespace tarnwick
