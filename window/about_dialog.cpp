#include "window/about_dialog.h"

#include "ui_about_dialog.h"

namespace tarnwick {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui_(new Ui::AboutDialog) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

AboutDialog::~AboutDialog() = default;

} // namespace tarnwick
