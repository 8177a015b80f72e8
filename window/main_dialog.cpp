#include "window/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThread>

#include "composition/name_tables.h"
#include "composition/scale.h"
#include "controls/control_ids.h"
#include "midi/listened_output.h"
#include "ui_main_dialog.h"
#include "window/about_dialog.h"
#include "window/piano_roll_widget.h"

namespace tarnwick {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Width of an edit that shows `digits` characters of digits, with its frame.
int editWidthFor(const QLineEdit& edit, int digits) {
    const QFontMetrics metrics(edit.font());
    const QMargins margins = edit.textMargins();
    return metrics.horizontalAdvance(QString(digits, QLatin1Char('0'))) + margins.left() +
           margins.right() + metrics.averageCharWidth() * 2;
}

// The edits and how many characters each shows without scrolling.
int shownCharacters(int id) {
    using namespace control;
    if (id == kSeed) {
        return 22;
    }
    if (id >= kVoiceOffset && id < kVoiceOffset + kVoiceCount) {
        return 4;
    }
    if (id == kHarmonyOffset || id == kTranspose || id == kRepeat || id == kBeat || id == kStepMs ||
        id == kDrumVolume) {
        return 5;
    }
    return 3; // octaves and volumes
}

} // namespace

MainDialog::MainDialog(MainDialogParts parts, QWidget* parent)
    : QDialog(parent), ui_(new Ui::MainDialog) {
    ui_->setupUi(this);
    statusLine_ = ui_->statusLine;
    placePianoRoll();
    panel_ = std::make_unique<QtControlPanel>(*this);
    prepareWidgets();
    buildMenu();
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    timer_ = parts.makeTimer([this](SteadyClock::time_point ideal) { timerTick(ideal); });

    // The start, in this order: seed the generator, open the output, fill the
    // lists, then the start values into the record and every control.
    records_.random.seed(parts.randomSeed);
    auto opened = parts.openOutput([this](std::string text) {
        // The output may report from a thread of its own; the label is set on
        // the dialog's thread. Pending reports die with the dialog.
        const QString status = fromUtf8(text);
        if (QThread::currentThread() == thread()) {
            setStatusText(status);
        } else {
            QMetaObject::invokeMethod(
                this, [this, status] { setStatusText(status); }, Qt::QueuedConnection);
        }
    });
    output_ = std::make_unique<ListenedOutput>(
        std::move(opened), [this](std::uint32_t message) { roll_->hear(message); });
    fillLists();
    DialogContext start = context();
    initialiseSession(start);
}

MainDialog::~MainDialog() {
    finish();
}

DialogContext MainDialog::context() {
    return DialogContext{records_, *panel_, *timer_, *output_, *this};
}

void MainDialog::placePianoRoll() {
    // The roll is wider than the controls; they keep their width at the left.
    auto* controlRow = new QHBoxLayout;
    ui_->mainLayout->removeItem(ui_->controlGrid);
    ui_->controlGrid->setParent(nullptr);
    controlRow->addLayout(ui_->controlGrid);
    controlRow->addStretch(1);
    ui_->mainLayout->insertLayout(0, controlRow);
    roll_ = new PianoRollWidget(this);
    ui_->mainLayout->insertWidget(ui_->mainLayout->indexOf(ui_->statusSeparator), roll_);
}

void MainDialog::prepareWidgets() {
    const auto digitsOnly = QRegularExpression(QStringLiteral("[0-9]*"));
    const auto signedDigits = QRegularExpression(QStringLiteral("-?[0-9]*"));
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        const QVariant id = edit->property("controlId");
        if (!id.isValid()) {
            continue; // the line edits inside the combo boxes
        }
        const QString kind = edit->property("editKind").toString();
        if (kind == QLatin1String("unsigned")) {
            edit->setValidator(new QRegularExpressionValidator(digitsOnly, edit));
        } else if (kind == QLatin1String("signed")) {
            edit->setValidator(new QRegularExpressionValidator(signedDigits, edit));
        }
        edit->setFixedWidth(editWidthFor(*edit, shownCharacters(id.toInt())));
    }
    for (QComboBox* combo : findChildren<QComboBox*>()) {
        // Typed text selects nothing new and adds no item; a text that matches
        // no item reads as no selection.
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setMinimumContentsLength(18);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }
    // No default button: Enter does nothing anywhere in the window.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
        const QVariant id = button->property("controlId");
        if (id.isValid()) {
            connect(button, &QPushButton::clicked, this,
                    [this, command = id.toInt()] { runCommand(command); });
        }
    }
}

void MainDialog::buildMenu() {
    auto* bar = new QMenuBar(this);
    const auto addItem = [this](QMenu* menu, const QString& text, int commandId) {
        QAction* action = menu->addAction(text);
        action->setData(commandId);
        connect(action, &QAction::triggered, this, [this, commandId] { runCommand(commandId); });
    };
    QMenu* file = bar->addMenu(tr("&File"));
    addItem(file, tr("&Open..."), command::kOpen);
    addItem(file, tr("&Save..."), command::kSave);
    addItem(file, tr("Save as &Midi"), command::kSaveMidi);
    file->addSeparator();
    addItem(file, tr("E&xit"), command::kExit);
    QMenu* help = bar->addMenu(tr("&Help"));
    addItem(help, tr("&About"), command::kAbout);
    layout()->setMenuBar(bar);
}

void MainDialog::fillLists() {
    QComboBox* scale = qobject_cast<QComboBox*>(panel_->widget(control::kScale));
    for (const ScaleRow& row : scaleTable) {
        scale->addItem(fromUtf8(row.name));
    }
    for (int k = 0; k < kVoiceCount; ++k) {
        QComboBox* instruments = qobject_cast<QComboBox*>(panel_->widget(control::kInstrument + k));
        for (int program = 0; program < kInstrumentCount; ++program) {
            instruments->addItem(fromUtf8(instrumentName(program)));
        }
    }
    for (int s = 0; s < kDrumSlotCount; ++s) {
        QComboBox* drums = qobject_cast<QComboBox*>(panel_->widget(control::kDrumSlot + s));
        for (int drum = 0; drum < kDrumCount; ++drum) {
            drums->addItem(fromUtf8(drumName(drum)));
        }
    }
}

void MainDialog::runCommand(int commandId) {
    if (finished_) {
        return;
    }
    DialogContext current = context();
    tarnwick::runCommand(current, static_cast<std::uint32_t>(commandId));
    if (finished_) {
        return;
    }
    if ((commandId & 0xFFFF) == control::kPlay) {
        roll_->startPerformance(records_.score, records_.settings, records_.playState);
    } else {
        roll_->updateSettings(records_.score, records_.settings);
    }
}

void MainDialog::timerTick(SteadyClock::time_point idealTime) {
    if (finished_) {
        return;
    }
    DialogContext current = context();
    runTimerTick(current, idealTime);
    roll_->followTick(records_.playState, records_.settings);
}

void MainDialog::reject() {
    runCommand(command::kCancel);
}

void MainDialog::accept() {
    // Command 1 (Enter) is ignored.
}

QString MainDialog::statusText() const {
    return statusLine_->text();
}

void MainDialog::setStatusText(const QString& text) {
    statusLine_->setText(text);
}

std::optional<std::filesystem::path> MainDialog::chooseFile(const FileFilter& filter,
                                                            std::string_view title,
                                                            std::string_view defaultExtension,
                                                            bool forSaving) {
    return chooser_.chooseFile(this, filter, title, defaultExtension, forSaving);
}

void MainDialog::showError(std::string_view title, std::string_view message) {
    QMessageBox box(QMessageBox::Warning, fromUtf8(title), fromUtf8(message), QMessageBox::Ok,
                    this);
    box.exec();
}

void MainDialog::setTitle(std::string_view title) {
    setWindowTitle(fromUtf8(title));
}

void MainDialog::showAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::endDialog() {
    finish();
    QDialog::done(0);
}

void MainDialog::finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    DialogContext last = context();
    endSession(last);
    timer_->stop();
    output_.reset(); // closes the output
}

} // namespace tarnwick
