#pragma once
// Lets the window's menu shortcuts win over the key bindings of its edits,
// which would otherwise take them while an edit has the focus (on X11 desktops
// Ctrl+E moves to the end of the line, and Ctrl+Z undoes typing even when
// there is none). Undo and Redo stay with the edit while it has typing of its
// own to undo or redo; after that they step through the window's history.

#include <QObject>

class QAction;
class QWidget;

namespace tarnwick {

class ShortcutPrecedence : public QObject {
  public:
    // Watches every line edit inside window, the combo boxes' included.
    ShortcutPrecedence(QWidget& window, const QAction& undo, const QAction& redo);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    const QAction& undo_;
    const QAction& redo_;
};

} // namespace tarnwick
