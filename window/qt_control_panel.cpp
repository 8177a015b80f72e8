#include "window/qt_control_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QVariant>

namespace tarnwick {

int comboSelection(const QComboBox& combo) {
    const QString shown = combo.currentText();
    const int current = combo.currentIndex();
    if (current >= 0 && combo.itemText(current) == shown) {
        return current;
    }
    return combo.findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

QtControlPanel::QtControlPanel(QWidget& form) {
    for (QWidget* child : form.findChildren<QWidget*>()) {
        const QVariant id = child->property("controlId");
        if (id.isValid()) {
            widgets_[id.toInt()] = child;
        }
    }
}

QWidget* QtControlPanel::widget(int id) const {
    const auto found = widgets_.find(id);
    return found == widgets_.end() ? nullptr : found->second;
}

QLineEdit* QtControlPanel::edit(int id) const {
    return qobject_cast<QLineEdit*>(widget(id));
}
QComboBox* QtControlPanel::combo(int id) const {
    return qobject_cast<QComboBox*>(widget(id));
}
QCheckBox* QtControlPanel::check(int id) const {
    return qobject_cast<QCheckBox*>(widget(id));
}

// An id without a widget of the right kind reads as empty and ignores writes.

std::string QtControlPanel::wholeText(int id) const {
    const QLineEdit* box = edit(id);
    return box == nullptr ? std::string{} : box->text().toStdString();
}

void QtControlPanel::writeText(int id, std::string_view text) {
    if (QLineEdit* box = edit(id)) {
        box->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        box->setCursorPosition(0);
    }
}

int QtControlPanel::readSelection(int id) const {
    const QComboBox* box = combo(id);
    return box == nullptr ? -1 : comboSelection(*box);
}

void QtControlPanel::writeSelection(int id, int index) {
    if (QComboBox* box = combo(id)) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
        if (box->lineEdit() != nullptr) {
            box->lineEdit()->setCursorPosition(0);
        }
    }
}

int QtControlPanel::readCheck(int id) const {
    const QCheckBox* box = check(id);
    return box != nullptr && box->isChecked() ? 1 : 0;
}

void QtControlPanel::writeCheck(int id, std::int32_t value) {
    if (QCheckBox* box = check(id)) {
        box->setChecked(value != 0);
    }
}

} // namespace tarnwick
