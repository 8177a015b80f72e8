// The real main dialog under the offscreen platform: its controls over the
// in-memory panel's rules, and every command driven through its buttons, keys
// and menu.

#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>

#include "composition/canon_generator.h"
#include "composition/name_tables.h"
#include "composition/scale.h"
#include "controls/control_ids.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"
#include "controls/seed_text.h"
#include "dialog_harness.h"
#include "midi/recording_output.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "window/about_dialog.h"
#include "window/watched_output.h"

namespace tarnwick::testing {
namespace {

const std::vector<std::uint32_t> kAllSoundOff{0x0078B0u, 0x0078B1u, 0x0078B2u};

// Every control, in tab order.
std::vector<int> tabOrder() {
    using namespace control;
    std::vector<int> ids{kSeed, kRandomCanon, kRandomAll, kScale};
    for (const int first : {kInstrument, kLowOctave, kHighOctave, kVoiceOffset, kVolume, kHold,
                            kModulation, kPortamento}) {
        ids.insert(ids.end(), {first, first + 1, first + 2});
    }
    ids.insert(ids.end(), {kBeat, kStepMs, kDrumVolume, kTranspose});
    for (int s = 0; s < 8; ++s) {
        ids.push_back(kDrumSlot + s);
    }
    ids.insert(ids.end(), {kPlay, kStop, kRepeat, kHarmonyOffset});
    return ids;
}

// Every read of every control, and of 1017, which is none.
QStringList readEverything(const ControlPanel& panel) {
    QStringList reads;
    std::vector<int> ids = tabOrder();
    ids.push_back(1017);
    for (const int id : ids) {
        reads << QString("%1: %2 %3 '%4' %5 %6")
                     .arg(id)
                     .arg(panel.readUnsigned(id))
                     .arg(panel.readSigned(id))
                     .arg(QString::fromStdString(panel.readText(id)))
                     .arg(panel.readSelection(id))
                     .arg(panel.readCheck(id));
    }
    return reads;
}

// What Play and `ticks` steps should send, computed on a copy of the records.
std::vector<std::uint32_t> expectedPlay(MainDialog& dialog, int ticks) {
    AppRecords r = dialog.records();
    RecordingOutput output;
    ManualStepTimer timer;
    readControls(dialog.panel(), r.settings);
    generateScore(r.settings, r.score);
    startPlayback(r.settings, r.score, r.playState, output, timer);
    for (int i = 0; i < ticks; ++i) {
        playStep(r.playState, r.score, r.settings, r.random, output);
    }
    return output.messages;
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsFollowTheInMemoryPanelsRules();
    void tabTypingAndEnterDoNothingButMoveAndType();
    void playReadsTheControlsTicksRandomisesRestartsAndStops();
    void everyWayOutEndsTheDialogAndClosesTheOutput();
    void aboutKeepsTheRealTimerTickingAndStatusFollowsTheOutput();
    void outputMenuSwitchesWhilePlayingAndIsRemembered();
};

void MainDialogTest::controlsFollowTheInMemoryPanelsRules() {
    // Both panels start from the dialog's start record, then take the same
    // writes: each control then reads alike in every way.
    DialogRig rig;
    QtControlPanel& qt = rig.dialog.panel();
    MemoryPanel memory;
    writeControls(rig.dialog.records().settings, memory);
    QCOMPARE(readEverything(qt), readEverything(memory));
    using namespace control;
    const std::string seed = std::string(60, ' ') + "12345 6"; // a read takes 63 bytes
    for (ControlPanel* panel : std::initializer_list<ControlPanel*>{&qt, &memory}) {
        panel->writeText(kSeed, seed);
        panel->writeText(kVolume, "8x");
        panel->writeUnsigned(kVolume + 1, -1);
        panel->writeSigned(kTranspose, -12);
        panel->writeSelection(kScale, 19); // past the end of the list
        panel->writeSelection(kDrumSlot, -5);
        panel->writeSelection(kDrumSlot + 1, 61);
        panel->writeCheck(kHold, 5);
        panel->writeText(kInstrument, "5"); // the wrong kinds: ignored
        panel->writeSelection(kVolume + 2, 1);
        panel->writeCheck(kSeed, 1);
    }
    QCOMPARE(readEverything(qt), readEverything(memory));
    QCOMPARE(text(rig.dialog, kSeed).toStdString(), seed); // shown whole
    QCOMPARE((std::vector{control<QComboBox>(rig.dialog, kScale)->count(),
                          control<QComboBox>(rig.dialog, kInstrument + 2)->count(),
                          control<QComboBox>(rig.dialog, kDrumSlot + 7)->count()}),
             (std::vector{kScaleCount, kInstrumentCount, kDrumCount}));

    // A combo box reads what it shows: typed text that names an item selects
    // it, other text nothing. Writing an index shows its item again.
    auto* drums = control<QComboBox>(rig.dialog, kDrumSlot);
    for (const auto& [typed, selection] : {std::pair{drums->itemText(30), 30}, {"junk", -1}}) {
        qt.writeSelection(kDrumSlot, 12);
        drums->lineEdit()->setText(typed);
        QCOMPARE(qt.readSelection(kDrumSlot), selection);
    }
    qt.writeSelection(kDrumSlot, 12);
    QCOMPARE(drums->currentText(), drums->itemText(12));
    QCOMPARE(drums->count(), kDrumCount); // typing never adds items
}

void MainDialogTest::tabTypingAndEnterDoNothingButMoveAndType() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Tarnwick (permutating fugal canons)"));
    const SongSettings before = dialog.records().settings;
    QCOMPARE(text(dialog, control::kSeed).toStdString(), formatSeed(before.seed, 8));
    // Tab goes round in the table's order. Digits-only edits refuse every
    // other key; signed ones take a leading minus. Enter does nothing.
    const auto focusId = [] { // of the control, or the combo box, holding the focus
        QWidget* focus = QApplication::focusWidget();
        const QVariant id = focus->property("controlId");
        return id.isValid() ? id.toInt() : focus->parentWidget()->property("controlId").toInt();
    };
    using namespace control;
    const std::vector signedEdits{kVoiceOffset, kVoiceOffset + 1, kVoiceOffset + 2, kTranspose,
                                  kHarmonyOffset};
    dialog.panel().widget(kHarmonyOffset)->setFocus();
    QTRY_COMPARE(focusId(), kHarmonyOffset);
    for (const int id : tabOrder()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusId(), id);
        if (auto* edit = control<QLineEdit>(dialog, id)) {
            retype(dialog, id, "-1a 2-3,x");
            const bool isSigned = std::ranges::count(signedEdits, id) == 1;
            QCOMPARE(edit->text(), id == kSeed ? "-1a 2-3,x" : isSigned ? "-123" : "123");
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    }
    // Commands are routed on the low 16 bits of their id; Enter is command 1.
    for (const int ignored : {1, 0, 999, kHold, 0xFFFF, 0x10000}) {
        dialog.runCommand(ignored);
    }
    QVERIFY(dialog.isVisible() && rig.timer->starts == 0 && rig.log->messages.empty());
    QCOMPARE(dialog.records().settings, before);
    dialog.runCommand(0x30000 | kPlay);
    QVERIFY(rig.timer->running);
}

void MainDialogTest::playReadsTheControlsTicksRandomisesRestartsAndStops() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    using namespace control;
    retype(dialog, kVolume + 2, "120");
    retype(dialog, kStepMs, "");
    clickBox(control<QCheckBox>(dialog, kPortamento));
    control<QComboBox>(dialog, kInstrument + 1)->setCurrentIndex(40);
    QVERIFY(rig.log->messages.empty()); // editing is no command
    const std::vector<std::uint32_t> expected = expectedPlay(dialog, 6);
    click(dialog, kPlay);
    // Typed values are clamped on reading; the controls go on showing them.
    const SongSettings& s = dialog.records().settings;
    QVERIFY(s.volume[2] == 90 && s.stepMs == 50 && s.portamento[0] == 1 && s.instrument[1] == 40);
    QCOMPARE(text(dialog, kVolume + 2), QString("120"));
    QVERIFY(rig.timer->running && rig.timer->period == 50);
    for (int i = 0; i < 6; ++i) {
        rig.tick();
    }
    QCOMPARE(rig.log->messages, expected);
    const auto ideal = SteadyClock::now() - std::chrono::milliseconds(30);
    rig.log->times.clear();
    dialog.timerTick(ideal); // a tick hands its ideal time to the output
    QCOMPARE(rig.log->times, std::vector<SteadyClock::time_point>{ideal});

    // Random Canon writes a new seed in the seed box alone; the music goes on
    // and an unsaved edit stays unread.
    retype(dialog, kVolume + 2, "44");
    const QStringList before = readEverything(dialog.panel());
    const Score score = dialog.records().score;
    const std::size_t sent = rig.log->messages.size();
    click(dialog, kRandomCanon);
    const QStringList after = readEverything(dialog.panel());
    QVERIFY(after[0] != before[0] && after.mid(1) == before.mid(1));
    QCOMPARE(text(dialog, kSeed).toStdString(), formatSeed(s.seed, 8));
    QVERIFY(s.volume[2] == 90 && rig.timer->starts == 1 && rig.log->messages.size() == sent);
    QCOMPARE(dialog.records().score, score);

    // Play while playing starts again at step 0 with a seed typed meanwhile.
    // Typed text that names no item reads as no selection: the record keeps
    // its value, whatever index is left behind.
    retype(dialog, kSeed, "3 -1 4 -1 5");
    control<QComboBox>(dialog, kScale)->setCurrentIndex(4);
    control<QComboBox>(dialog, kScale)->lineEdit()->setText("Nothing of the sort");
    const std::vector<std::uint32_t> again = expectedPlay(dialog, 1);
    rig.log->messages.clear();
    click(dialog, kPlay);
    rig.tick();
    QCOMPARE(rig.log->messages, again);
    QVERIFY(rig.timer->starts == 2 && s.seedCount == 5 && s.scaleIndex == 0);

    // Stop and Random All stop; Random All then shows its new record.
    for (const int stopping : {kStop, kRandomAll}) {
        click(dialog, kPlay);
        retype(dialog, kVolume, "44");
        rig.log->messages.clear();
        click(dialog, stopping);
        QVERIFY(!rig.timer->running);
        QCOMPARE(rig.log->messages, kAllSoundOff);
    }
    SongSettings read = s;
    readControls(dialog.panel(), read);
    QVERIFY(read == s && s.volume[0] != 44);
}

void MainDialogTest::everyWayOutEndsTheDialogAndClosesTheOutput() {
    const std::vector<std::function<void(MainDialog&)>> waysOut{
        [](MainDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
        [](MainDialog& dialog) { dialog.close(); }, // the close box
        [](MainDialog& dialog) { menuItem(dialog, "E&xit")->trigger(); },
        [](MainDialog& dialog) { dialog.runCommand(0x10000 | command::kExit); }};
    for (const auto& wayOut : waysOut) {
        DialogRig rig;
        QTimer::singleShot(5000, &rig.dialog, [&] { rig.dialog.done(1); }); // if it stays open
        QTimer::singleShot(0, &rig.dialog, [&] {
            click(rig.dialog, control::kPlay);
            rig.log->messages.clear();
            wayOut(rig.dialog);
        });
        QCOMPARE(rig.dialog.exec(), 0);
        QVERIFY(rig.dialog.isFinished() && !rig.timer->running && rig.log->closed);
        rig.tick(); // nothing reaches a closed output
        rig.dialog.runCommand(control::kPlay);
        QCOMPARE(rig.log->messages, kAllSoundOff);
    }
    // Destroying the dialog without ending it also silences and closes.
    DialogRig rig;
    click(rig.dialog, control::kPlay);
    rig.owned.reset();
    QVERIFY(rig.log->closed);
    QCOMPARE(rig.log->messages.back(), kAllSoundOff.back());
}

// An output device that finishes opening when the test says so, as the
// built-in synthesiser does once its sound font has loaded.
struct SlowOpeningDevice final : OutputDevice {
    explicit SlowOpeningDevice(const bool& flag) : opened(flag) {}
    void send(std::uint32_t /*message*/) override {}
    std::string status() const override { return opened ? "Ready" : "Loading"; }
    bool isSilent() const override { return false; }
    bool waitUntilOpen(std::chrono::milliseconds /*timeout*/) override { return opened; }
    const bool& opened;
};

void MainDialogTest::aboutKeepsTheRealTimerTickingAndStatusFollowsTheOutput() {
    bool opened = false;
    DialogRig rig(
        true, [&](OutputPreferences&, bool, StatusReport report) -> std::unique_ptr<MidiOutput> {
            return std::make_unique<WatchedOutput>(std::make_unique<SlowOpeningDevice>(opened),
                                                   std::move(report));
        });
    MainDialog& dialog = rig.dialog;
    retype(dialog, control::kStepMs, "50");
    click(dialog, control::kPlay); // the window answers while the output opens
    const auto position = [&] { return dialog.records().playState.playPosition; };
    int during = 0;
    whenModal<AboutDialog>([&](AboutDialog* about) {
        // The About dialog's own loop goes on delivering the real timer's ticks.
        const int before = position();
        static_cast<void>(QTest::qWaitFor([&] { return position() >= before + 3; }));
        during = position() - before;
        const QList<QLabel*> labels = about->findChildren<QLabel*>();
        QVERIFY(std::ranges::find(labels, "Tarnwick Version 1.01", &QLabel::text) != labels.end());
        QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
    });
    menuItem(dialog, "&About")->trigger();
    QVERIFY(during >= 3);
    click(dialog, control::kStop); // and Stop stops them
    const int stoppedAt = position();
    QCOMPARE(dialog.statusText(), QString("Loading"));
    opened = true;
    QTRY_COMPARE(dialog.statusText(), QString("Ready"));
    QCOMPARE(position(), stoppedAt);
}

void MainDialogTest::outputMenuSwitchesWhilePlayingAndIsRemembered() {
    QTemporaryDir folder; // never the user's own preferences
    const auto store = [&] {
        return std::make_shared<QSettings>(folder.filePath("tarnwick.conf"), QSettings::IniFormat);
    };
    const auto shown = [](MainDialog& dialog) { // the menus, then the Output menu's items
        QStringList texts;
        QList<QAction*> menus = dialog.findChild<QMenuBar*>()->actions();
        emit menus[1]->menu()->aboutToShow();
        for (QAction* item : menus + menus[1]->menu()->actions()) {
            texts << (item->isChecked() ? "x " : "") + item->text();
        }
        return texts;
    };
    {
        DialogRig rig(false, {}, store());
        QCOMPARE(shown(rig.dialog), QStringList({"&File", "&Output", "&Edit", "&Help",
                                                 "x Built-in synthesiser", "A&&B (JACK)", "None",
                                                 "", "Choose &SoundFont...", "Send MIDI &Clock"}));
        menuItem(rig.dialog, "Send MIDI &Clock")->trigger();
        click(rig.dialog, control::kPlay);
        rig.tick();
        menuItem(rig.dialog, "A&&B (JACK)")->trigger();
        const auto& builtin = rig.log->messages;
        const std::size_t silenced = builtin.size();
        rig.tick(); // step 1
        rig.tick(); // step 2, where the port's clock joins
        QCOMPARE(rig.dialog.statusText(), QString("Test output: port:A&B"));
        const auto& port = rig.opened.back().second->messages;
        QCOMPARE(builtin.size(), silenced); // with All Sound Off again, as in the set-up
        QCOMPARE(std::ranges::count(builtin, kAllSoundOff.back()), std::ptrdiff_t{2});
        QCOMPARE(port.front(), kAllSoundOff.front()); // the set-up, then step 1
        QCOMPARE(std::ranges::count(builtin, 0xF8u) + std::ranges::count(port, 0xFAu), 0);
        const auto joined = std::ranges::find(port, 0x01F2u); // Song Position 1: step 2
        QVERIFY(joined + 2 < port.end() && joined[1] == 0xFBu && joined[2] == 0xF8u);
        QCOMPARE(shown(rig.dialog).filter("x "),
                 QStringList({"x A&&B (JACK)", "x Send MIDI &Clock"}));
    }
    DialogRig again(false, {}, store());
    QCOMPARE(again.opened.front().first, std::string("port:A&B"));
    QCOMPARE(shown(again.dialog).filter("x "),
             QStringList({"x A&&B (JACK)", "x Send MIDI &Clock"}));
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::MainDialogTest)
#include "main_dialog_test.moc"
