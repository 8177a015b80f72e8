#pragma once
// The About dialog: the version, who made the program, its licence and what it
// does.

#include <memory>

#include <QDialog>

namespace Ui {
class AboutDialog;
}

namespace tarnwick {

class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

  private:
    std::unique_ptr<Ui::AboutDialog> ui_;
};

} // namespace tarnwick
