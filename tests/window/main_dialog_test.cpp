// The real main dialog: its controls, and every command through buttons, keys and menus.

#include <csignal>
#include <set>
#include <unistd.h>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include "composition/canon_generator.h"
#include "composition/name_tables.h"
#include "composition/scale.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"
#include "controls/seed_text.h"
#include "dialog_harness.h"
#include "midi/recording_output.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "window/about_dialog.h"
#include "window/close_on_signals.h"
#include "window/desktop_parts.h"
#include "window/watched_output.h"

namespace tarnwick::testing {
namespace {

const std::vector<std::uint32_t> kAllSoundOff{0x0078B0u, 0x0078B1u, 0x0078B2u};

// What Play and `ticks` steps should send, computed on a copy of the records.
std::vector<std::uint32_t> expectedPlay(MainDialog& dialog, int ticks) {
    Piece r = dialog.records().piece;
    PlayState state = dialog.performance().state();
    RecordingOutput output;
    ManualStepTimer timer;
    readControls(dialog.panel(), r.settings);
    generateScore(r.settings, r.score);
    startPlayback(r.settings, r.score, state, output, timer);
    for (int i = 0; i < ticks; ++i) {
        playStep(state, r.score, r.settings, r.random, output);
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
    void aboutNamesTheVersionAndStatusFollowsTheOutput();
    void outputMenuSwitchesWhilePlayingAndIsRemembered();
    void tempoMenuSetsTheClocksStepAndIsRemembered();
};

void MainDialogTest::controlsFollowTheInMemoryPanelsRules() {
    // From the same start record and the same writes, both read alike.
    DialogRig rig;
    QtControlPanel& qt = rig.dialog.panel();
    MemoryPanel memory;
    writeControls(rig.dialog.records().piece.settings, memory);
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
        panel->writeCheck(kSeed, 1);
    }
    QCOMPARE(readEverything(qt), readEverything(memory));
    QCOMPARE(text(rig.dialog, kSeed).toStdString(), seed); // shown whole
    QCOMPARE((std::vector{control<QComboBox>(rig.dialog, kScale)->count(),
                          control<QComboBox>(rig.dialog, kInstrument + 2)->count(),
                          control<QComboBox>(rig.dialog, kDrumSlot + 7)->count()}),
             (std::vector{kScaleCount, kInstrumentCount, kDrumCount}));

    // A combo box reads what it shows; typing never adds items.
    auto* drums = control<QComboBox>(rig.dialog, kDrumSlot);
    for (const auto& [typed, selection] : {std::pair{drums->itemText(30), 30}, {"junk", -1}}) {
        qt.writeSelection(kDrumSlot, 12);
        drums->lineEdit()->setText(typed);
        QCOMPARE(qt.readSelection(kDrumSlot), selection);
    }
    qt.writeSelection(kDrumSlot, 12); // shows its item again, over the typed text
    QCOMPARE(drums->currentText(), drums->itemText(12));
    QCOMPARE(drums->count(), kDrumCount);
}

void MainDialogTest::tabTypingAndEnterDoNothingButMoveAndType() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Tarnwick (permutating fugal canons)"));
    const SongSettings before = dialog.records().piece.settings;
    // Tab goes round in order; edits take digits (and a sign); Enter does nothing.
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
    // Enter is command 1; numbers that name no command do nothing.
    for (const int ignored : {1, 0, 999, kHold, 0xFFFF, 0x10000 | kPlay}) {
        dialog.runCommand(Command{ignored});
    }
    QVERIFY(dialog.isVisible() && rig.timer->starts == 0 && rig.log->messages.empty());
    QCOMPARE(dialog.records().piece.settings, before);
}

void MainDialogTest::playReadsTheControlsTicksRandomisesRestartsAndStops() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    using namespace control;
    retype(dialog, kVolume + 2, "120");
    retype(dialog, kStepMs, "");
    control<QCheckBox>(dialog, kPortamento)->click();
    control<QComboBox>(dialog, kInstrument + 1)->setCurrentIndex(40);
    QVERIFY(rig.log->messages.empty()); // editing is no command
    const std::vector<std::uint32_t> expected = expectedPlay(dialog, 6);
    click(dialog, kPlay);
    // Typed values are clamped on reading; the controls go on showing them.
    const SongSettings& s = dialog.records().piece.settings;
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

    // Random Canon writes the seed box alone; the music goes on, an edit unread.
    retype(dialog, kVolume + 2, "44");
    const QStringList before = readEverything(dialog.panel());
    const Score score = dialog.records().piece.score;
    const std::size_t sent = rig.log->messages.size();
    click(dialog, kRandomCanon);
    const QStringList after = readEverything(dialog.panel());
    QVERIFY(after[0] != before[0] && after.mid(1) == before.mid(1));
    QCOMPARE(text(dialog, kSeed).toStdString(), formatSeed(s.seed, 8));
    QVERIFY(s.volume[2] == 90 && rig.timer->starts == 1 && rig.log->messages.size() == sent);
    QCOMPARE(dialog.records().piece.score, score);

    // Play while playing starts again with the seed typed; Stop and Random All stop.
    retype(dialog, kSeed, "3 -1 4 -1 5");
    for (const int stopping : {kStop, kRandomAll}) {
        const std::vector<std::uint32_t> again = expectedPlay(dialog, 1);
        rig.log->messages.clear();
        click(dialog, kPlay);
        rig.tick();
        QCOMPARE(rig.log->messages, again);
        retype(dialog, kVolume, "44");
        rig.log->messages.clear();
        click(dialog, stopping);
        QVERIFY(!rig.timer->running);
        QCOMPARE(rig.log->messages, kAllSoundOff);
    }
    QVERIFY(rig.timer->starts == 3);
    SongSettings read = s;
    readControls(dialog.panel(), read);
    QVERIFY(read == s && s.volume[0] != 44);
}

void MainDialogTest::everyWayOutEndsTheDialogAndClosesTheOutput() {
    const std::vector<std::function<void(MainDialog&)>> waysOut{
        [](MainDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
        [](MainDialog& dialog) { dialog.close(); }, // the close box
        [](MainDialog& dialog) { menuItem(dialog, "E&xit")->trigger(); },
        [](MainDialog& dialog) { dialog.runCommand(Command::Exit); },
        [](MainDialog&) { std::raise(SIGTERM); }}; // as from `kill`
    for (const auto& wayOut : waysOut) {
        DialogRig rig;
        const CloseOnSignals closeOnSignals(rig.dialog);
        QTimer::singleShot(5000, &rig.dialog, [&] { rig.dialog.done(1); }); // if it stays open
        QTimer::singleShot(0, &rig.dialog, [&] {
            click(rig.dialog, control::kPlay);
            rig.log->messages.clear();
            wayOut(rig.dialog);
        });
        QCOMPARE(rig.dialog.exec(), 0);
        QVERIFY(rig.dialog.isFinished() && !rig.timer->running && rig.log->closed);
        rig.tick(); // nothing reaches a closed output
        rig.dialog.runCommand(Command::Play);
        QCOMPARE(rig.log->messages, kAllSoundOff);
    }
    // Destroying the dialog without ending it also silences and closes.
    DialogRig rig;
    click(rig.dialog, control::kPlay);
    rig.owned.reset();
    QVERIFY(rig.log->closed);
    QCOMPARE(rig.log->messages.back(), kAllSoundOff.back());
}

// Opens when the test says so, as the built-in synthesiser once its font has loaded.
struct SlowOpeningDevice final : OutputDevice {
    explicit SlowOpeningDevice(const bool& flag) : opened(flag) {}
    void send(std::uint32_t /*message*/) override {}
    OutputState state() const override { return opened ? kReady : kLoading; }
    static inline const OutputState kLoading = OutputState::opening("GM"),
                                    kReady = OutputState::playing(OutputPath::Trace, {});
    bool isSilent() const override { return false; }
    bool waitUntilOpen(std::chrono::milliseconds /*timeout*/) override { return opened; }
    const bool& opened;
};

void MainDialogTest::aboutNamesTheVersionAndStatusFollowsTheOutput() {
    bool opened = false;
    DialogRig rig(
        false, [&](OutputPreferences&, bool, StatusReport report) -> std::unique_ptr<MidiOutput> {
            return std::make_unique<WatchedOutput>(std::make_unique<SlowOpeningDevice>(opened),
                                                   std::move(report), "",
                                                   std::make_shared<OutputCloser>());
        });
    whenModal<AboutDialog>([&](AboutDialog* about) {
        const QList<QLabel*> labels = about->findChildren<QLabel*>();
        QVERIFY(std::ranges::find(labels, "Tarnwick Version 1.01", &QLabel::text) != labels.end());
        QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
    });
    menuItem(rig.dialog, "&About")->trigger();
    QCOMPARE(rig.dialog.statusText().toStdString(), statusLine(SlowOpeningDevice::kLoading));
    opened = true;
    QTRY_COMPARE(rig.dialog.statusText().toStdString(), statusLine(SlowOpeningDevice::kReady));
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
    const auto withoutClock = [](std::vector<std::uint32_t> messages) {
        std::erase_if(messages, [](std::uint32_t m) { return (m & 0xF0u) == 0xF0u; });
        return messages;
    };
    {
        DialogRig rig(false, {}, store());
        QCOMPARE(shown(rig.dialog), QStringList({"&File", "&Output", "&Tempo", "&Edit", "&Help",
                                                 "x Built-in synthesiser", "A&&B (JACK)", "None",
                                                 "", "Choose &SoundFont...", "Send MIDI &Clock"}));
        menuItem(rig.dialog, "None")->trigger(); // idle: neither output hears a thing
        const auto& left = rig.opened.back().second->messages;
        QVERIFY(rig.log->messages.empty() && left.empty());
        menuItem(rig.dialog, "Send MIDI &Clock")->trigger();
        const std::vector<std::uint32_t> whole = expectedPlay(rig.dialog, 3);
        click(rig.dialog, control::kPlay);
        const auto setUp = static_cast<std::ptrdiff_t>(left.size());
        rig.tick();
        const auto before = static_cast<std::ptrdiff_t>(left.size());
        menuItem(rig.dialog, "A&&B (JACK)")->trigger();
        rig.tick(); // step 1
        rig.tick(); // step 2, where the port's clock joins
        QCOMPARE(rig.dialog.statusText(), QString("Test output: port:A&B"));
        // The output left is silenced; the port gets the set-up, then the rest.
        std::vector<std::uint32_t> silenced(left.begin() + before, left.end());
        std::erase_if(silenced, [](std::uint32_t m) { return (m & 0xF0u) == 0x80u; });
        QCOMPARE(silenced, kAllSoundOff);
        std::set<std::uint32_t> hanging; // for a receiver that ignores All Sound Off
        for (const std::uint32_t m : left) {
            if ((m & 0xF0u) == 0x90u && (m >> 16) != 0 && (m & 0x0Fu) < 3) {
                hanging.insert(m & 0xFF0Fu); // channel and key
            } else if ((m & 0xE0u) == 0x80u) {
                hanging.erase(m & 0xFF0Fu);
            }
        }
        QVERIFY(hanging.empty());
        const auto& port = rig.opened.back().second->messages;
        std::vector<std::uint32_t> joined(whole.begin(), whole.begin() + setUp);
        joined.insert(joined.end(), whole.begin() + before, whole.end());
        QCOMPARE(withoutClock(port), joined);
        QCOMPARE(std::ranges::count(left, 0xF8u) + std::ranges::count(port, 0xFAu), 0);
        const auto joinedAt = std::ranges::find(port, 0x01F2u); // Song Position 1: step 2
        QVERIFY(joinedAt + 2 < port.end() && joinedAt[1] == 0xFBu && joinedAt[2] == 0xF8u);
        QCOMPARE(shown(rig.dialog).filter("x "),
                 QStringList({"x A&&B (JACK)", "x Send MIDI &Clock"}));
    }
    DialogRig again(false, {}, store());
    QCOMPARE(again.opened.front().first, std::string("port:A&B"));
    QCOMPARE(shown(again.dialog).filter("x "),
             QStringList({"x A&&B (JACK)", "x Send MIDI &Clock"}));

    // A remembered port that is gone gives way to the built-in synthesiser; None stays.
    for (const auto& [remembered, kept, note] :
         {std::tuple{"port:Nothing Like It", kDefaultOutputName,
                     "The output port:Nothing Like It could not be opened ("},
          {"none", "none", "No sound: the output is none"}}) {
        OutputPreferences choice{remembered, "", false};
        std::string said;
        desktopParts().openOutput(choice, true, [&](const std::string& text) { said = text; });
        QVERIFY2(said.starts_with(note), said.c_str());
        QCOMPARE(choice.output, std::string(kept));
    }
}

void MainDialogTest::tempoMenuSetsTheClocksStepAndIsRemembered() {
    QTemporaryDir folder;
    const auto store = [&] {
        return std::make_shared<QSettings>(folder.filePath("tarnwick.conf"), QSettings::IniFormat);
    };
    const auto checked = [](MainDialog& dialog) {
        QStringList texts;
        QMenu* tempo = dialog.findChild<QMenuBar*>()->actions()[2]->menu();
        for (QAction* item : tempo->actions()) {
            texts << (item->isChecked() ? "x " : "") + item->text();
        }
        return texts;
    };
    {
        DialogRig rig(false, {}, store());
        QCOMPARE(checked(rig.dialog),
                 QStringList({"x &Internal", "&JACK Transport", "Ableton &Link", "MIDI &Clock", "",
                              "x 1/3&2", "1/1&6", "1/&8", "", "JACK Timebase &Master"}));
        menuItem(rig.dialog, "1/1&6")->trigger();
        menuItem(rig.dialog, "Send MIDI &Clock")->trigger();
        menuItem(rig.dialog, "A&&B (JACK)")->trigger(); // a port, which takes the clock
        click(rig.dialog, control::kPlay);
        rig.tick();
        const auto& port = rig.opened.back().second->messages;
        QCOMPARE(std::ranges::count(port, 0xF8u), 6); // 24 a quarter note, 4 steps
        // Without a JACK server the transport cannot be followed: Internal stays.
        qputenv("JACK_DEFAULT_SERVER", QByteArray("tarnwick-none-") + QByteArray::number(getpid()));
        menuItem(rig.dialog, "&JACK Transport")->trigger();
        QVERIFY(!rig.dialog.performance().isPlaying()); // stopped as Stop does
        QVERIFY2(
            rig.dialog.statusText().endsWith("Cannot follow JACK transport: no JACK server runs"),
            qPrintable(rig.dialog.statusText()));
        QCOMPARE(checked(rig.dialog).filter("x "), QStringList({"x &Internal", "x 1/1&6"}));
    }
    DialogRig again(false, {}, store());
    QCOMPARE(checked(again.dialog).filter("x "), QStringList({"x &Internal", "x 1/1&6"}));
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::MainDialogTest)
#include "main_dialog_test.moc"
