#include "window/shortcut_precedence.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

namespace tarnwick {

ShortcutPrecedence::ShortcutPrecedence(QWidget& window, const QAction& undo, const QAction& redo)
    : QObject(&window), window_(window), undo_(undo), redo_(redo) {
    for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
        edit->installEventFilter(this);
    }
}

bool ShortcutPrecedence::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr || event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    const auto bound = [&](const QAction& action) {
        return !action.shortcut().isEmpty() &&
               action.shortcut().matches(pressed) == QKeySequence::ExactMatch;
    };
    if ((bound(undo_) && edit->isUndoAvailable()) || (bound(redo_) && edit->isRedoAvailable())) {
        return false; // the edit undoes its own typing first
    }
    for (const QAction* action : window_.findChildren<QAction*>()) {
        if (action->isEnabled() && bound(*action)) {
            event->ignore(); // not for the edit: the shortcut runs
            return true;
        }
    }
    return false;
}

} // namespace tarnwick
