#include "window/main_dialog.h"

#include <array>
#include <utility>

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

#include "audio/audio_file_writer.h"
#include "composition/name_tables.h"
#include "composition/scale.h"
#include "controls/control_ids.h"
#include "ui_main_dialog.h"
#include "window/about_dialog.h"
#include "window/audio_render_dialog.h"
#include "window/path_text.h"
#include "window/piano_roll_widget.h"
#include "window/shortcut_precedence.h"

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
    : QDialog(parent), ui_(new Ui::MainDialog), soundFont_(std::move(parts.soundFont)) {
    ui_->setupUi(this);
    statusLine_ = ui_->statusLine;
    placePianoRoll();
    panel_ = std::make_unique<QtControlPanel>(*this);
    prepareWidgets();
    buildMenu(parts);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    timer_ = parts.makeTimer([this](SteadyClock::time_point ideal) { timerTick(ideal); });

    // The start, in this order: seed the generator, open the output, fill the
    // lists, then the start values into the record and every control.
    records_.piece.random.seed(parts.randomSeed);
    switched_ = std::make_unique<SwitchedStepTimer>(*timer_);
    performance_ = std::make_unique<Performance>(records_.piece, *switched_);
    performance_->switchOutput(outputs_->openRemembered(), SteadyClock::now());
    performance_->listen([this](std::uint32_t message) { roll_->hear(message); });
    performance_->setClockEnabled(outputs_->clockEnabled(), SteadyClock::now());
    fillLists();
    DialogContext start = context();
    initialiseSession(start);
    // Last: a transport already rolling is followed at once, with the start values.
    tempo_ = std::make_unique<TempoControl>(
        *tempoMenu_, *performance_, *switched_,
        TempoControl::Parts{.preferences = parts.preferences,
                            .report = [this](std::string text) { reportTempo(std::move(text)); },
                            .stepMs = [this] { return records_.piece.settings.stepMs; }});
    records_.recentFiles = RecentFiles(recentMenu_->stored());
    showHistory();
}

MainDialog::~MainDialog() {
    finish();
}

DialogContext MainDialog::context() {
    return DialogContext{records_, *panel_, *performance_, *this};
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
                    [this, command = Command{id.toInt()}] { runCommand(command); });
        }
    }
}

void MainDialog::buildMenu(MainDialogParts& parts) {
    auto* bar = new QMenuBar(this);
    const auto addItem = [this](QMenu* menu, const QString& text, Command command,
                                const QKeySequence& shortcut = {}) {
        QAction* action = menu->addAction(text);
        action->setData(static_cast<int>(command));
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
        return action;
    };
    QMenu* file = bar->addMenu(tr("&File"));
    addItem(file, tr("&Open..."), Command::Open, Qt::CTRL | Qt::Key_O);
    recentMenu_ =
        std::make_unique<RecentFilesMenu>(*file->addMenu(tr("Open &Recent")), parts.preferences,
                                          [this](Command command) { runCommand(command); });
    addItem(file, tr("&Save..."), Command::Save, Qt::CTRL | Qt::Key_S);
    addItem(file, tr("Save as &Midi"), Command::SaveMidi, Qt::CTRL | Qt::Key_E);
    addItem(file, tr("Save as Midi (&Tracks)..."), Command::SaveMidiTracks);
    addItem(file, tr("Save as &Audio..."), Command::SaveAudio);
    addItem(file, tr("Save St&ems..."), Command::SaveStems);
    file->addSeparator();
    addItem(file, tr("E&xit"), Command::Exit, Qt::CTRL | Qt::Key_Q);
    outputs_ = std::make_unique<OutputControl>(
        *bar->addMenu(tr("&Output")), *this,
        OutputControl::Parts{.open = std::move(parts.openOutput),
                             .list = std::move(parts.listOutputs),
                             .preferences = parts.preferences,
                             .report = [this](std::string text) { reportStatus(std::move(text)); },
                             .performance = [this]() -> Performance& { return *performance_; }});
    tempoMenu_ = bar->addMenu(tr("&Tempo"));
    QMenu* edit = bar->addMenu(tr("&Edit"));
    undoItem_ = addItem(edit, tr("&Undo"), Command::Undo, Qt::CTRL | Qt::Key_Z);
    redoItem_ = addItem(edit, tr("&Redo"), Command::Redo, Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    QMenu* help = bar->addMenu(tr("&Help"));
    addItem(help, tr("&About"), Command::About, Qt::Key_F1);
    layout()->setMenuBar(bar);
    new ShortcutPrecedence(*this, *undoItem_, *redoItem_);
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

void MainDialog::reportStatus(std::string text) {
    // The output may report from a thread of its own; the label is set on the
    // dialog's thread. Pending reports die with the dialog.
    const QString status = fromUtf8(text);
    if (QThread::currentThread() == thread()) {
        setStatusText(status);
    } else {
        QMetaObject::invokeMethod(
            this, [this, status] { setStatusText(status); }, Qt::QueuedConnection);
    }
}

void MainDialog::runCommand(Command command) {
    if (finished_) {
        return;
    }
    DialogContext current = context();
    tarnwick::runCommand(current, command);
    showResultOf(command);
}

void MainDialog::openFile(const std::filesystem::path& path) {
    if (finished_) {
        return;
    }
    chooser_.startIn(toQtFileName(path.parent_path()));
    DialogContext current = context();
    openSettingsFile(current, path);
    showResultOf(Command::Open);
}

void MainDialog::showResultOf(Command command) {
    if (finished_) {
        return;
    }
    const Piece& piece = records_.piece;
    if (command == Command::Play) {
        roll_->startPerformance(piece.score, piece.settings, performance_->state());
    } else {
        roll_->updateSettings(piece.score, piece.settings);
    }
    showHistory();
}

void MainDialog::showHistory() {
    undoItem_->setEnabled(records_.history.canUndo());
    redoItem_->setEnabled(records_.history.canRedo());
    recentMenu_->show(records_.recentFiles);
}

void MainDialog::timerTick(SteadyClock::time_point idealTime) {
    if (finished_) {
        return;
    }
    performance_->tick(idealTime);
    roll_->followTick(performance_->state(), records_.piece.settings);
}

void MainDialog::reject() {
    runCommand(Command::Cancel);
}

void MainDialog::accept() {
    // Command 1 (Enter) is ignored.
}

QString MainDialog::statusText() const {
    return statusLine_->text();
}

void MainDialog::setStatusText(const QString& text) {
    outputStatus_ = text;
    statusLine_->setText(tempoStatus_.isEmpty()
                             ? outputStatus_
                             : outputStatus_ + QStringLiteral("  \u00B7  ") + tempoStatus_);
}

void MainDialog::reportTempo(std::string text) {
    tempoStatus_ = fromUtf8(text);
    setStatusText(outputStatus_);
}

bool MainDialog::playFollowed() {
    return tempo_ && tempo_->play();
}

bool MainDialog::stopFollowed() {
    return tempo_ && tempo_->stop();
}

std::optional<std::filesystem::path> MainDialog::chooseFile(const FileFilter& filter,
                                                            std::string_view title,
                                                            std::string_view defaultExtension,
                                                            bool forSaving) {
    return chooser_.chooseFile(this, filter, title, defaultExtension, forSaving);
}

std::optional<FileResult> MainDialog::renderAudio(const std::filesystem::path& path,
                                                  const SongSettings& settings,
                                                  const std::vector<MidiEvent>& events) {
    const std::string chosen = outputs_->soundFont();
    return renderWithProgress(this, path.string(), chosen.empty() ? soundFont_() : chosen, settings,
                              events);
}

std::optional<StemsTarget> MainDialog::chooseStemsTarget() {
    // As "Save as Audio" offers them, in the order of the extensions.
    static const std::array<std::pair<const char*, const char*>, 3> kFormats = {
        {{"WAV (*.wav)", "wav"}, {"FLAC (*.flac)", "flac"}, {"Ogg Vorbis (*.ogg)", "ogg"}}};
    QStringList filters;
    for (const auto& [filter, extension] : kFormats) {
        filters << tr(filter);
    }
    const auto chosen = chooser_.chooseFolderAndFormat(this, "Save Stems", filters);
    if (!chosen) {
        return std::nullopt;
    }
    return StemsTarget{chosen->first, kFormats[static_cast<std::size_t>(chosen->second)].second};
}

std::optional<StemsOutcome> MainDialog::renderStems(const StemsTarget& target,
                                                    const SongSettings& settings,
                                                    const std::vector<LineEvent>& events) {
    const std::string chosen = outputs_->soundFont();
    const std::optional<AudioFileFormat> format = audioFormatForPath("stems." + target.extension);
    const std::optional<StemsRenderResult> rendered =
        renderStemsWithProgress(this, target.folder.string(), format.value_or(AudioFileFormat::Wav),
                                chosen.empty() ? soundFont_() : chosen, settings, events);
    if (!rendered) {
        return std::nullopt;
    }
    return StemsOutcome{rendered->file, rendered->gainDb};
}

void MainDialog::showInformation(std::string_view title, std::string_view message) {
    QMessageBox box(QMessageBox::Information, fromUtf8(title), fromUtf8(message), QMessageBox::Ok,
                    this);
    box.exec();
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
    outputs_->close();
    if (tempo_) {
        tempo_->close();
    }
    DialogContext last = context();
    endSession(last);
    timer_->stop();
    performance_->switchOutput(nullptr, SteadyClock::now()).reset(); // closes the output
}

} // namespace tarnwick
