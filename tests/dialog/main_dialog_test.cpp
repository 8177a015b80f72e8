// The real main dialog under the offscreen platform: its form, its start
// values, and every command driven through its buttons, keys and menu.

#include <algorithm>
#include <atomic>
#include <numeric>

#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QThread>

#include "app/about_dialog.h"
#include "app/watched_output.h"
#include "composition/canon_generator.h"
#include "composition/name_tables.h"
#include "composition/scale.h"
#include "dialog_harness.h"
#include "playback/recording_output.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "ui/control_ids.h"
#include "ui/controls_exchange.h"
#include "ui/seed_text.h"

namespace tarnwick::testing {
namespace {

constexpr std::uint32_t allSoundOff(int channel) {
    return 0x0078B0u | static_cast<std::uint32_t>(channel);
}

// The ids of every control, in the tab order of the form.
std::vector<int> tabOrder() {
    using namespace control;
    std::vector<int> ids{kSeed, kRandomCanon, kRandomAll, kScale};
    for (const int first : {kInstrument, kLowOctave, kHighOctave, kVoiceOffset, kVolume}) {
        for (int k = 0; k < 3; ++k) {
            ids.push_back(first + k);
        }
    }
    for (int id = kHold; id < kHold + 9; ++id) {
        ids.push_back(id);
    }
    ids.insert(ids.end(), {kBeat, kStepMs, kDrumVolume, kTranspose});
    for (int s = 0; s < 8; ++s) {
        ids.push_back(kDrumSlot + s);
    }
    ids.insert(ids.end(), {kPlay, kStop, kRepeat, kHarmonyOffset});
    return ids;
}

// The control id of a widget or of the control it is part of.
int controlIdOf(QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const QVariant id = widget->property("controlId");
        if (id.isValid()) {
            return id.toInt();
        }
    }
    return 0;
}

// What the Play command should send, computed on a copy of the records.
struct ExpectedPlay {
    AppRecords records;
    RecordingOutput output;
    ManualStepTimer timer;

    void play(const ControlPanel& panel) {
        readControls(panel, records.settings);
        generateScore(records.settings, records.score);
        startPlayback(records.settings, records.score, records.playState, output, timer);
    }
    void tick() {
        playStep(records.playState, records.score, records.settings, records.random, output);
    }
};

// Every control's shown state except the seed box, to see that a command left
// them alone.
QStringList shownState(MainDialog& dialog) {
    QStringList state;
    for (const int id : tabOrder()) {
        QWidget* widget = dialog.panel().widget(id);
        if (id == control::kSeed) {
            continue;
        }
        if (auto* box = qobject_cast<QLineEdit*>(widget)) {
            state << box->text();
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            state << combo->currentText() + "#" + QString::number(combo->currentIndex());
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            state << (check->isChecked() ? "x" : "o");
        }
    }
    return state;
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void formHasEveryControlWithItsKindLabelAndRow();
    void tabOrderFollowsTheControlTable();
    void menuHasTheFileAndHelpItems();
    void windowIsNotResizableAndHasNoDefaultButton();
    void editsRefuseWhatTheyCannotHold();
    void checkBoxesToggleThemselves();
    void startValuesAreShownInEveryControl();
    void playSendsTheSetUpAndTicksReachTheOutput();
    void playWhilePlayingRestartsAtStepZero();
    void stopSilencesTheVoicesAndStopsTheTimer();
    void randomCanonChangesOnlyTheSeedBox();
    void randomAllStopsAndRewritesTheControls();
    void enterDoesNothing();
    void escapeEndsTheDialogAndClosesTheOutput();
    void closeBoxAndExitEndTheDialogToo();
    void readingClampsWhatWasTyped();
    void aboutDialogShowsItsTexts();
    void statusLineFollowsTheOutputsReports();
    void statusLineChangesWhenTheOutputFinishesOpening();
    void realTimerTicksReachTheOutputAlsoUnderAModalWindow();
};

void MainDialogTest::formHasEveryControlWithItsKindLabelAndRow() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Tarnwick (permutating fugal canons)"));

    using namespace control;
    const auto expectKind = [&](int id, const char* className) {
        QWidget* widget = dialog.panel().widget(id);
        QVERIFY2(widget != nullptr, qPrintable(QString::number(id)));
        QVERIFY2(widget->inherits(className), qPrintable(QString::number(id)));
    };
    for (const int id : {kSeed, kBeat, kStepMs, kDrumVolume, kTranspose, kRepeat, kHarmonyOffset}) {
        expectKind(id, "QLineEdit");
    }
    expectKind(kScale, "QComboBox");
    for (int k = 0; k < 3; ++k) {
        expectKind(kInstrument + k, "QComboBox");
        for (const int first : {kLowOctave, kHighOctave, kVoiceOffset, kVolume}) {
            expectKind(first + k, "QLineEdit");
        }
        for (const int first : {kHold, kModulation, kPortamento}) {
            expectKind(first + k, "QCheckBox");
        }
    }
    for (int s = 0; s < 8; ++s) {
        expectKind(kDrumSlot + s, "QComboBox");
    }
    const std::map<int, QString> buttons{{kPlay, "Play"},
                                         {kStop, "Stop"},
                                         {kRandomCanon, "Random Canon"},
                                         {kRandomAll, "Random All"}};
    for (const auto& [id, caption] : buttons) {
        expectKind(id, "QPushButton");
        QCOMPARE(control<QPushButton>(dialog, id)->text(), caption);
    }
    int withId = 0;
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        withId += widget->property("controlId").isValid() ? 1 : 0;
    }
    QCOMPARE(withId, int(tabOrder().size()));

    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* expected :
         {"seed", "scale", "oct range", "offset", "H", "M", "P", "vox I", "vox II", "vox III",
          "harmony offset", "transpose all", "repeat", "drums", "beat", "ms per"}) {
        QVERIFY2(labels.count(expected) == 1, expected);
    }
    QCOMPARE(labels.count("vol"), 2);

    // Rows: controls of one row share their vertical centre, rows go down in
    // the order of the form.
    const auto centreY = [&](int id) {
        QWidget* widget = dialog.panel().widget(id);
        return widget->mapTo(&dialog, widget->rect().center()).y();
    };
    const std::vector<std::vector<int>> rows{
        {kSeed, kRandomCanon, kRandomAll},
        {kScale},
        {kInstrument, kLowOctave, kHighOctave, kVoiceOffset, kVolume, kHold, kModulation,
         kPortamento},
        {kInstrument + 1, kLowOctave + 1, kHighOctave + 1, kVoiceOffset + 1, kVolume + 1, kHold + 1,
         kModulation + 1, kPortamento + 1},
        {kInstrument + 2, kLowOctave + 2, kHighOctave + 2, kVoiceOffset + 2, kVolume + 2, kHold + 2,
         kModulation + 2, kPortamento + 2},
        {kHarmonyOffset, kTranspose, kRepeat},
        {kBeat, kStepMs, kDrumVolume},
        {kDrumSlot, kDrumSlot + 1},
        {kDrumSlot + 2, kDrumSlot + 3},
        {kDrumSlot + 4, kDrumSlot + 5, kPlay},
        {kDrumSlot + 6, kDrumSlot + 7, kStop}};
    int previous = -1;
    for (const auto& row : rows) {
        const int y = centreY(row.front());
        QVERIFY(y > previous);
        for (const int id : row) {
            QVERIFY2(std::abs(centreY(id) - y) <= 2, qPrintable(QString::number(id)));
        }
        previous = y;
    }
    // The voice columns line up under one another.
    for (const int first : {kInstrument, kLowOctave, kHighOctave, kVoiceOffset, kVolume, kHold,
                            kModulation, kPortamento}) {
        const int x = dialog.panel().widget(first)->x();
        QCOMPARE(dialog.panel().widget(first + 1)->x(), x);
        QCOMPARE(dialog.panel().widget(first + 2)->x(), x);
    }
}

void MainDialogTest::tabOrderFollowsTheControlTable() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.panel().widget(control::kSeed)->setFocus();
    QTRY_COMPARE(controlIdOf(QApplication::focusWidget()), control::kSeed);

    std::vector<int> visited{control::kSeed};
    for (std::size_t i = 1; i < tabOrder().size() + 1; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(controlIdOf(QApplication::focusWidget()));
    }
    std::vector<int> expected = tabOrder();
    expected.push_back(control::kSeed); // and round again
    QCOMPARE(visited, expected);
}

void MainDialogTest::menuHasTheFileAndHelpItems() {
    DialogRig rig;
    auto* bar = rig.dialog->findChild<QMenuBar*>();
    QVERIFY(bar != nullptr);
    QStringList menus;
    QStringList items;
    for (QAction* menuAction : bar->actions()) {
        menus << menuAction->text();
        for (QAction* item : menuAction->menu()->actions()) {
            items << (item->isSeparator() ? QString("-") : item->text());
        }
    }
    QCOMPARE(menus, (QStringList{"&File", "&Help"}));
    QCOMPARE(items, (QStringList{"&Open...", "&Save...", "Save as &Midi", "-", "E&xit", "&About"}));
}

void MainDialogTest::windowIsNotResizableAndHasNoDefaultButton() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.size(), dialog.minimumSize());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);

    const auto buttons = dialog.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 4);
    for (QPushButton* button : buttons) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    for (QComboBox* combo : dialog.findChildren<QComboBox*>()) {
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
        QVERIFY(combo->completer() == nullptr);
    }
}

void MainDialogTest::editsRefuseWhatTheyCannotHold() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    using namespace control;
    for (const int id :
         {kLowOctave, kHighOctave + 2, kVolume + 1, kBeat, kStepMs, kDrumVolume, kRepeat}) {
        retype(edit(dialog, id), "-1a 2,x3");
        QCOMPARE(text(dialog, id), QString("123"));
    }
    for (const int id : {kVoiceOffset, kVoiceOffset + 2, kTranspose, kHarmonyOffset}) {
        retype(edit(dialog, id), "-1a 2-3");
        QCOMPARE(text(dialog, id), QString("-123"));
    }
    retype(edit(dialog, kSeed), "0x10, -3 abc");
    QCOMPARE(text(dialog, kSeed), QString("0x10, -3 abc"));
}

void MainDialogTest::checkBoxesToggleThemselves() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* hold = control<QCheckBox>(dialog, control::kHold + 1);
    auto* portamento = control<QCheckBox>(dialog, control::kPortamento);
    QVERIFY(hold->isChecked());
    clickBox(hold);
    clickBox(portamento);
    QVERIFY(!hold->isChecked());
    QVERIFY(portamento->isChecked());
    QCOMPARE(dialog.panel().readCheck(control::kPortamento), 1);
    QVERIFY(rig.log->messages.empty()); // a check box is no command
    clickBox(portamento);
    QVERIFY(!portamento->isChecked());
}

void MainDialogTest::startValuesAreShownInEveryControl() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    const SongSettings& settings = dialog.records().settings;
    using namespace control;

    // A drawn seed of eight values that sum to zero.
    QCOMPARE(settings.seedCount, 8);
    QCOMPARE(std::accumulate(settings.seed.begin(), settings.seed.end(), 0), 0);
    QCOMPARE(text(dialog, kSeed).toStdString(), formatSeed(settings.seed, 8));
    QCOMPARE(text(dialog, kSeed).split(' ').size(), 8);

    auto* scale = control<QComboBox>(dialog, kScale);
    QCOMPARE(scale->count(), kScaleCount);
    QCOMPARE(scale->currentIndex(), 0);
    QCOMPARE(scale->itemText(18).toStdString(), std::string(scaleTable[18].name));
    const QStringList offsets{"24", "12", "0"};
    for (int k = 0; k < 3; ++k) {
        auto* instrument = control<QComboBox>(dialog, kInstrument + k);
        QCOMPARE(instrument->count(), kInstrumentCount);
        QCOMPARE(instrument->currentIndex(), 0);
        QCOMPARE(instrument->currentText().toStdString(), std::string(instrumentName(0)));
        QCOMPARE(instrument->itemText(127).toStdString(), std::string(instrumentName(127)));
        QCOMPARE(text(dialog, kLowOctave + k), QString("1"));
        QCOMPARE(text(dialog, kHighOctave + k), QString("10"));
        QCOMPARE(text(dialog, kVoiceOffset + k), offsets[k]);
        QCOMPARE(text(dialog, kVolume + k), QString("90"));
        QCOMPARE(control<QCheckBox>(dialog, kHold + k)->isChecked(), k == 1);
        QVERIFY(!control<QCheckBox>(dialog, kModulation + k)->isChecked());
        QVERIFY(!control<QCheckBox>(dialog, kPortamento + k)->isChecked());
    }
    QCOMPARE(text(dialog, kBeat), QString("8"));
    QCOMPARE(text(dialog, kStepMs), QString("175"));
    QCOMPARE(text(dialog, kDrumVolume), QString("60"));
    QCOMPARE(text(dialog, kTranspose), QString("0"));
    QCOMPARE(text(dialog, kRepeat), QString("0"));
    QCOMPARE(text(dialog, kHarmonyOffset), QString("0"));
    for (int s = 0; s < 8; ++s) {
        auto* drum = control<QComboBox>(dialog, kDrumSlot + s);
        QCOMPARE(drum->count(), kDrumCount);
        QCOMPARE(drum->currentIndex(), 0);
        QCOMPARE(drum->currentText(), QString("Silence"));
    }
    QCOMPARE(dialog.records().score.drumNotes, (std::array<NoteByte, 8>{}));
    QVERIFY(!rig.timer->running);
    QVERIFY(rig.log->messages.empty());
}

void MainDialogTest::playSendsTheSetUpAndTicksReachTheOutput() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    control<QComboBox>(dialog, control::kInstrument + 1)->setCurrentIndex(40);
    control<QComboBox>(dialog, control::kDrumSlot)->setCurrentIndex(10);
    ExpectedPlay expected{dialog.records(), {}, {}};
    expected.play(dialog.panel());

    click(dialog, control::kPlay);
    QVERIFY(rig.timer->running);
    QCOMPARE(rig.timer->period, 175);
    QCOMPARE(dialog.records().settings.instrument[1], 40);
    QCOMPARE(rig.log->messages, expected.output.messages);
    QCOMPARE(rig.log->messages.front(), allSoundOff(0));
    QVERIFY(std::find(rig.log->messages.begin(), rig.log->messages.end(), 0x28C1u) !=
            rig.log->messages.end()); // program 40 on channel 1

    for (int i = 0; i < 6; ++i) {
        rig.tick();
        expected.tick();
    }
    QCOMPARE(rig.log->messages, expected.output.messages);
    QCOMPARE(dialog.records().playState, expected.records.playState);
    QCOMPARE(dialog.records().playState.playPosition, 6);
}

void MainDialogTest::playWhilePlayingRestartsAtStepZero() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    for (int i = 0; i < 5; ++i) {
        rig.tick();
    }
    QCOMPARE(dialog.records().playState.playPosition, 5);

    // A new seed typed while playing is heard at once on the second Play.
    retype(edit(dialog, control::kSeed), "3 -1 4 -1 5");
    ExpectedPlay expected{dialog.records(), {}, {}};
    expected.play(dialog.panel());
    expected.tick();
    rig.log->messages.clear();
    click(dialog, control::kPlay);
    rig.tick();

    QCOMPARE(rig.timer->starts, 2);
    QVERIFY(rig.timer->running);
    QCOMPARE(dialog.records().settings.seedCount, 5);
    QCOMPARE(rig.log->messages, expected.output.messages);
    QCOMPARE(dialog.records().playState.playPosition, 1);
    QCOMPARE(dialog.records().score, expected.records.score);
}

void MainDialogTest::stopSilencesTheVoicesAndStopsTheTimer() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    rig.tick();
    rig.log->messages.clear();
    click(dialog, control::kStop);
    QVERIFY(!rig.timer->running);
    QCOMPARE(rig.log->messages,
             (std::vector<std::uint32_t>{allSoundOff(0), allSoundOff(1), allSoundOff(2)}));
    QCOMPARE(dialog.records().playState.playPosition, 1); // the counters stay
}

void MainDialogTest::randomCanonChangesOnlyTheSeedBox() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    rig.tick();
    retype(edit(dialog, control::kVolume + 2), "44"); // an unsaved edit
    const QStringList before = shownState(dialog);
    const Score score = dialog.records().score;
    const std::size_t sent = rig.log->messages.size();

    QString seedText = text(dialog, control::kSeed);
    for (int attempt = 0; attempt < 5 && seedText == text(dialog, control::kSeed); ++attempt) {
        click(dialog, control::kRandomCanon); // a redraw can repeat the seed
    }
    const SongSettings& settings = dialog.records().settings;
    QVERIFY(text(dialog, control::kSeed) != seedText);
    QCOMPARE(text(dialog, control::kSeed).toStdString(), formatSeed(settings.seed, 8));
    QCOMPARE(shownState(dialog), before);
    QCOMPARE(settings.volume[2], 90); // the edit is not read
    QVERIFY(rig.timer->running);
    QCOMPARE(rig.timer->starts, 1);
    QCOMPARE(rig.log->messages.size(), sent);
    QCOMPARE(dialog.records().score, score); // heard at the next Play
}

void MainDialogTest::randomAllStopsAndRewritesTheControls() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    rig.tick();
    retype(edit(dialog, control::kVolume), "44");
    rig.log->messages.clear();

    click(dialog, control::kRandomAll);
    QVERIFY(!rig.timer->running);
    QCOMPARE(rig.log->messages,
             (std::vector<std::uint32_t>{allSoundOff(0), allSoundOff(1), allSoundOff(2)}));
    QCOMPARE(text(dialog, control::kVolume), QString("90"));
    // Every control shows the record: reading them back changes nothing.
    SongSettings shown = dialog.records().settings;
    readControls(dialog.panel(), shown);
    QCOMPARE(shown, dialog.records().settings);
}

void MainDialogTest::enterDoesNothing() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    using namespace control;
    for (const int id : {kSeed, kStepMs, kTranspose, kScale, kDrumSlot + 3, kPlay, kRandomAll}) {
        QWidget* widget = dialog.panel().widget(id);
        widget->setFocus();
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target != nullptr);
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
    }
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isFinished());
    QCOMPARE(dialog.result(), 0);
    QVERIFY(!rig.timer->running);
    QCOMPARE(rig.timer->starts, 0);
    QVERIFY(rig.log->messages.empty());
}

void MainDialogTest::escapeEndsTheDialogAndClosesTheOutput() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    QTimer::singleShot(0, &dialog, [&] {
        click(dialog, control::kPlay);
        rig.tick();
        rig.log->messages.clear();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), 0);
    QVERIFY(dialog.isFinished());
    QVERIFY(!rig.timer->running);
    QCOMPARE(rig.log->messages,
             (std::vector<std::uint32_t>{allSoundOff(0), allSoundOff(1), allSoundOff(2)}));
    QVERIFY(rig.log->closed);

    // Nothing reaches a closed output.
    rig.tick();
    dialog.runCommand(control::kPlay);
    QCOMPARE(rig.log->messages.size(), std::size_t{3});
}

void MainDialogTest::closeBoxAndExitEndTheDialogToo() {
    {
        DialogRig rig;
        rig.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
        QVERIFY(rig.dialog->close());
        QVERIFY(!rig.dialog->isVisible());
        QVERIFY(rig.log->closed);
    }
    {
        DialogRig rig;
        QTimer::singleShot(0, rig.dialog.get(), [&] { menuItem(*rig.dialog, "E&xit")->trigger(); });
        QCOMPARE(rig.dialog->exec(), 0);
        QVERIFY(rig.log->closed);
    }
    {
        // Destroying the dialog without ending it also stops and closes.
        DialogRig rig;
        rig.dialog->runCommand(control::kPlay);
        auto log = rig.log;
        rig.dialog.reset();
        QVERIFY(log->closed);
        QCOMPARE(log->messages.back(), allSoundOff(2));
    }
}

void MainDialogTest::readingClampsWhatWasTyped() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    using namespace control;
    retype(edit(dialog, kLowOctave), "12");
    retype(edit(dialog, kHighOctave), "3");
    retype(edit(dialog, kLowOctave + 1), "5");
    retype(edit(dialog, kHighOctave + 1), "30");
    retype(edit(dialog, kVolume + 2), "120");
    retype(edit(dialog, kDrumVolume), "95");
    retype(edit(dialog, kTranspose), "-20");
    retype(edit(dialog, kBeat), "0");
    retype(edit(dialog, kStepMs), "");
    control<QComboBox>(dialog, kDrumSlot + 2)->setCurrentIndex(7);
    click(dialog, kPlay);
    // A typed text that names no drum leaves the slot's value alone.
    QTest::keyClicks(control<QComboBox>(dialog, kDrumSlot + 2)->lineEdit(), " maybe");
    control<QComboBox>(dialog, kScale)->setCurrentIndex(4);
    control<QComboBox>(dialog, kScale)->lineEdit()->setText("Nothing of the sort");
    click(dialog, kPlay);

    const SongSettings& settings = dialog.records().settings;
    QCOMPARE(settings.lowOctave[0], 1);
    QCOMPARE(settings.highOctave[0], 10);
    QCOMPARE(settings.lowOctave[1], 5);
    QCOMPARE(settings.highOctave[1], 11);
    QCOMPARE(settings.volume[2], 90);
    QCOMPARE(settings.drumVolume, 90);
    QCOMPARE(settings.transpose, -11);
    QCOMPARE(settings.beatLength, 1);
    QCOMPARE(settings.stepMs, 50);
    QCOMPARE(rig.timer->period, 50);
    QCOMPARE(settings.drumKit[2], 7);
    QCOMPARE(settings.scaleIndex, 0);
    // Reading does not rewrite the controls.
    QCOMPARE(text(dialog, kLowOctave), QString("12"));
    QCOMPARE(text(dialog, kHighOctave), QString("3"));
}

void MainDialogTest::aboutDialogShowsItsTexts() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    QStringList texts;
    QString caption;
    bool ticked = false;
    whenModal<AboutDialog>([&](AboutDialog* about) {
        caption = about->windowTitle();
        for (QLabel* label : about->findChildren<QLabel*>()) {
            texts << label->text();
        }
        // Ticks go on while the About dialog is open.
        const auto before = dialog.records().playState.playPosition;
        rig.tick();
        ticked = dialog.records().playState.playPosition == before + 1;
        QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
    });
    menuItem(dialog, "&About")->trigger();
    QCOMPARE(caption, QString("About"));
    QVERIFY(texts.contains("Tarnwick Version 1.01"));
    QVERIFY(texts.filter("Tarnwick developers").size() == 1);
    QVERIFY(texts
                .filter(QRegularExpression("It creates algorithmic music with the use of a "
                                           "seed\\.$"))
                .size() == 1);
    QVERIFY(texts.contains("This seed contains half-note offsets that are repeated and "
                           "accumulated at differing scales creating fractal music. This data is "
                           "then filtered by the musical scale to make it pleasing."));
    QVERIFY(ticked);
    QVERIFY(rig.timer->running);
}

void MainDialogTest::statusLineFollowsTheOutputsReports() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    QCOMPARE(dialog.statusText(), QString("Test output: recording"));
    auto* statusLabel = dialog.findChild<QLabel*>("statusLine");
    QVERIFY(statusLabel != nullptr);
    QCOMPARE(statusLabel->text(), QString("Test output: recording"));

    // A report from another thread, as a sound font that finished loading in
    // the background sends it, arrives on the dialog's thread.
    std::unique_ptr<QThread> loader(
        QThread::create([report = rig.log->report] { report("Built-in synthesiser: Test Font"); }));
    loader->start();
    QVERIFY(loader->wait(5000));
    QTRY_COMPARE(dialog.statusText(), QString("Built-in synthesiser: Test Font"));
}

// An output device that finishes opening when the test says so, as the
// built-in synthesiser does once its sound font has loaded.
class SlowOpeningDevice final : public OutputDevice {
  public:
    explicit SlowOpeningDevice(std::shared_ptr<std::atomic<bool>> opened, bool* closed)
        : opened_(std::move(opened)), closed_(closed) {}
    ~SlowOpeningDevice() override { *closed_ = true; }
    SlowOpeningDevice(const SlowOpeningDevice&) = delete;
    SlowOpeningDevice& operator=(const SlowOpeningDevice&) = delete;

    void send(std::uint32_t /*message*/) override {}
    std::string status() const override {
        return *opened_ ? "Built-in synthesiser: Test Font" : "Built-in synthesiser: loading";
    }
    bool isSilent() const override { return false; }
    bool waitUntilOpen(std::chrono::milliseconds /*timeout*/) override { return *opened_; }

  private:
    std::shared_ptr<std::atomic<bool>> opened_;
    bool* closed_;
};

void MainDialogTest::statusLineChangesWhenTheOutputFinishesOpening() {
    auto opened = std::make_shared<std::atomic<bool>>(false);
    bool closed = false;
    MainDialogParts parts;
    parts.openOutput = [&](StatusReport report) -> std::unique_ptr<MidiOutput> {
        return std::make_unique<WatchedOutput>(std::make_unique<SlowOpeningDevice>(opened, &closed),
                                               std::move(report));
    };
    parts.makeTimer = [](TickHandler) { return std::make_unique<ManualStepTimer>(); };
    auto dialog = std::make_unique<MainDialog>(std::move(parts));
    QCOMPARE(dialog->statusText(), QString("Built-in synthesiser: loading"));

    // The window answers while the output opens.
    dialog->show();
    click(*dialog, control::kRandomCanon);
    QTest::qWait(150);
    QCOMPARE(dialog->statusText(), QString("Built-in synthesiser: loading"));

    std::unique_ptr<QThread> loader(QThread::create([opened] { *opened = true; }));
    loader->start();
    QVERIFY(loader->wait(5000));
    QTRY_COMPARE(dialog->statusText(), QString("Built-in synthesiser: Test Font"));
    dialog.reset();
    QVERIFY(closed);
}

void MainDialogTest::realTimerTicksReachTheOutputAlsoUnderAModalWindow() {
    DialogRig rig(TimerKind::Real);
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    retype(edit(dialog, control::kStepMs), "50");
    click(dialog, control::kPlay);
    const std::size_t setUp = rig.log->messages.size();
    QTRY_VERIFY(dialog.records().playState.playPosition >= 3);
    QVERIFY(rig.log->messages.size() > setUp);

    // The About dialog's own loop goes on delivering the ticks.
    int during = 0;
    whenModal<AboutDialog>([&](AboutDialog* about) {
        const int before = dialog.records().playState.playPosition;
        QTRY_VERIFY(dialog.records().playState.playPosition >= before + 3);
        during = dialog.records().playState.playPosition - before;
        about->accept();
    });
    menuItem(dialog, "&About")->trigger();
    QVERIFY(during >= 3);

    click(dialog, control::kStop);
    const int stoppedAt = dialog.records().playState.playPosition;
    QTest::qWait(200);
    QCOMPARE(dialog.records().playState.playPosition, stoppedAt);
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::MainDialogTest)
#include "main_dialog_test.moc"
