// The real main dialog under the offscreen platform: its form, its start
// values, and every command driven through its buttons, keys and menu.

#include <map>
#include <numeric>

#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>

#include "composition/canon_generator.h"
#include "composition/name_tables.h"
#include "composition/scale.h"
#include "controls/control_ids.h"
#include "controls/controls_exchange.h"
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

// One control: its kind ("text", "unsigned" or "signed" edit, "combo", "check",
// "button"), its row of the form from the top, and what it shows at the start
// (a ticked check box shows "x"; the drawn seed is not listed).
struct FormControl {
    int id;
    QString kind;
    int row;
    QString shown;
};

// Every control, in tab order.
std::vector<FormControl> formTable() {
    using namespace control;
    std::vector<FormControl> form{{kSeed, "text", 0, {}},
                                  {kRandomCanon, "button", 0, "Random Canon"},
                                  {kRandomAll, "button", 0, "Random All"},
                                  {kScale, "combo", 1, scaleTable[0].name.data()}};
    const auto voices = [&](int first, const char* kind, const QStringList& shown) {
        for (int k = 0; k < 3; ++k) {
            form.push_back({first + k, kind, 3 + k, shown[k % shown.size()]});
        }
    };
    voices(kInstrument, "combo", {instrumentName(0).data()});
    voices(kLowOctave, "unsigned", {"1"});
    voices(kHighOctave, "unsigned", {"10"});
    voices(kVoiceOffset, "signed", {"24", "12", "0"});
    voices(kVolume, "unsigned", {"90"});
    voices(kHold, "check", {"", "x", ""});
    voices(kModulation, "check", {""});
    voices(kPortamento, "check", {""});
    // clang-format off
    form.insert(form.end(), {{kBeat, "unsigned", 7, "8"}, {kStepMs, "unsigned", 7, "175"},
                             {kDrumVolume, "unsigned", 7, "60"}, {kTranspose, "signed", 6, "0"}});
    for (int s = 0; s < 8; ++s) {
        form.push_back({kDrumSlot + s, "combo", 8 + s / 2, "Silence"});
    }
    form.insert(form.end(), {{kPlay, "button", 10, "Play"}, {kStop, "button", 11, "Stop"},
                             {kRepeat, "unsigned", 6, "0"}, {kHarmonyOffset, "signed", 6, "0"}});
    // clang-format on
    return form;
}

// The labels of each row of the form, from the top.
const char* const kLabelRows[] = {
    "seed",   "scale",   "oct range|offset|vol|H|M|P",          "vox I",
    "vox II", "vox III", "harmony offset|transpose all|repeat", "drums|beat|ms per|vol"};

// What a control shows: an edit's or combo box's text, "x" for a ticked check
// box, a button's caption.
QString shown(MainDialog& dialog, int id) {
    QWidget* widget = dialog.panel().widget(id);
    if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        return check->isChecked() ? "x" : "";
    }
    auto* combo = qobject_cast<QComboBox*>(widget);
    return combo != nullptr ? combo->currentText() : widget->property("text").toString();
}

// Every control's shown state but the seed box's.
QStringList shownState(MainDialog& dialog) {
    QStringList state;
    for (const FormControl& c : formTable()) {
        state << (c.id == control::kSeed ? QString() : shown(dialog, c.id));
    }
    return state;
}

// What Play and `ticks` steps should send, computed on a copy of the records.
struct ExpectedPlay {
    AppRecords records;
    RecordingOutput output;
    ManualStepTimer timer;

    ExpectedPlay(MainDialog& dialog, int ticks) : records(dialog.records()) {
        readControls(dialog.panel(), records.settings);
        generateScore(records.settings, records.score);
        startPlayback(records.settings, records.score, records.playState, output, timer);
        for (int i = 0; i < ticks; ++i) {
            playStep(records.playState, records.score, records.settings, records.random, output);
        }
    }
};

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void formFollowsTheTableInPlaceTabOrderAndTyping();
    void playReadsClampedControlsTicksRandomisesRestartsAndStops();
    void everyWayOutEndsTheDialogAndClosesTheOutput();
    void aboutShowsItsTextsWhileTheRealTimerTicks();
    void statusLineChangesWhenTheOutputFinishesOpening();
    void outputMenuSwitchesWhilePlayingAndIsRemembered();
};

void MainDialogTest::formFollowsTheTableInPlaceTabOrderAndTyping() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Tarnwick (permutating fugal canons)"));
    const std::map<QString, const char*> classOf{
        {"text", "QLineEdit"},  {"unsigned", "QLineEdit"}, {"signed", "QLineEdit"},
        {"combo", "QComboBox"}, {"check", "QCheckBox"},    {"button", "QPushButton"}};
    const auto centreY = [&](QWidget* w) { return w->mapTo(&dialog, w->rect().center()).y(); };
    std::map<int, int> rowY;
    const std::vector<FormControl> form = formTable();
    for (const FormControl& c : form) {
        QWidget* widget = dialog.panel().widget(c.id);
        const QString where = QString::number(c.id) + " shows " + shown(dialog, c.id);
        QVERIFY2(widget != nullptr && widget->inherits(classOf.at(c.kind)), qPrintable(where));
        QVERIFY2(c.id == control::kSeed || shown(dialog, c.id) == c.shown, qPrintable(where));
        rowY.try_emplace(c.row, centreY(widget));
        QVERIFY2(std::abs(centreY(widget) - rowY[c.row]) <= 2, qPrintable(where));
    }
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    const auto header = std::ranges::find(labels, "oct range", &QLabel::text);
    QVERIFY(header != labels.end());
    rowY[2] = centreY(*header); // the row of column headings
    for (int row = 0; row < 8; ++row) {
        for (const QString& caption : QString(kLabelRows[row]).split('|')) {
            const auto inRow = [&](QLabel* l) {
                return l->text() == caption && std::abs(centreY(l) - rowY[row]) <= 3;
            };
            QVERIFY2(std::ranges::any_of(labels, inRow), qPrintable(caption));
        }
    }
    QVERIFY(std::ranges::is_sorted(rowY, std::less_equal<>{}, [](auto row) { return row.second; }));

    // The lists, a drawn seed of eight values that sum to zero, a fixed size,
    // and combo boxes whose typed text adds or completes nothing.
    QCOMPARE(control<QComboBox>(dialog, control::kScale)->count(), kScaleCount);
    QCOMPARE(control<QComboBox>(dialog, control::kInstrument + 2)->count(), kInstrumentCount);
    QCOMPARE(control<QComboBox>(dialog, control::kDrumSlot + 7)->count(), kDrumCount);
    const SongSettings& settings = dialog.records().settings;
    QCOMPARE(std::accumulate(settings.seed.begin(), settings.seed.end(), 0), 0);
    QCOMPARE(text(dialog, control::kSeed).toStdString(), formatSeed(settings.seed, 8));
    QVERIFY(dialog.minimumSize() == dialog.maximumSize());
    for (QComboBox* combo : dialog.findChildren<QComboBox*>()) {
        QVERIFY(combo->isEditable() && combo->insertPolicy() == QComboBox::NoInsert &&
                combo->completer() == nullptr);
    }

    // The tab order is the table's.
    dialog.panel().widget(form.front().id)->setFocus();
    const auto focusId = [] { // of the control, or the combo box, holding the focus
        QWidget* focus = QApplication::focusWidget();
        const QVariant id = focus->property("controlId");
        return id.isValid() ? id.toInt() : focus->parentWidget()->property("controlId").toInt();
    };
    QTRY_COMPARE(focusId(), form.front().id);
    for (std::size_t i = 1; i <= form.size(); ++i) { // and round again
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusId(), form[i % form.size()].id);
    }

    // Digits-only edits refuse every other key; signed ones take a leading
    // minus. Enter does nothing anywhere: there is no default button.
    const SongSettings before = settings;
    const std::map<QString, QString> kept{
        {"text", "-1a 2-3,x"}, {"unsigned", "123"}, {"signed", "-123"}};
    for (const FormControl& c : form) {
        if (kept.contains(c.kind)) {
            retype(dialog, c.id, "-1a 2-3,x");
            QCOMPARE(text(dialog, c.id), kept.at(c.kind));
        }
        dialog.panel().widget(c.id)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    }
    // Commands are routed on the low 16 bits of their id; Enter is command 1.
    for (const int ignored : {1, 0, 999, control::kHold, 0xFFFF, 0x10000}) {
        dialog.runCommand(ignored);
    }
    QVERIFY(dialog.isVisible() && !dialog.isFinished());
    QVERIFY(rig.timer->starts == 0 && rig.log->messages.empty());
    QCOMPARE(dialog.records().settings, before);
    dialog.runCommand(0x30000 | control::kPlay);
    QVERIFY(rig.timer->running);
}

void MainDialogTest::playReadsClampedControlsTicksRandomisesRestartsAndStops() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    using namespace control;
    retype(dialog, kLowOctave, "12");
    retype(dialog, kHighOctave, "3");
    retype(dialog, kVolume + 2, "120");
    retype(dialog, kTranspose, "-20");
    retype(dialog, kStepMs, "");
    clickBox(control<QCheckBox>(dialog, kHold + 1));
    clickBox(control<QCheckBox>(dialog, kPortamento));
    QVERIFY(rig.log->messages.empty()); // a check box is no command
    control<QComboBox>(dialog, kInstrument + 1)->setCurrentIndex(40);
    control<QComboBox>(dialog, kDrumSlot + 2)->setCurrentIndex(7);
    const ExpectedPlay expected(dialog, 6);
    click(dialog, kPlay);
    // Typed values are clamped on reading; the controls go on showing them.
    const SongSettings& s = dialog.records().settings;
    QCOMPARE((std::vector{s.lowOctave[0], s.highOctave[0], s.volume[2], s.transpose, s.stepMs,
                          s.hold[1], s.portamento[0], s.drumKit[2]}),
             (std::vector{1, 10, 90, -11, 50, 0, 1, 7}));
    QCOMPARE(text(dialog, kLowOctave), QString("12"));
    QVERIFY(rig.timer->running && rig.timer->period == 50);
    QCOMPARE(std::ranges::count(rig.log->messages, 0x28C1u), std::ptrdiff_t{1}); // program 40
    for (int i = 0; i < 6; ++i) {
        rig.tick();
    }
    QCOMPARE(rig.log->messages, expected.output.messages);
    QCOMPARE(dialog.records().playState, expected.records.playState);
    const auto ideal = SteadyClock::now() - std::chrono::milliseconds(30);
    rig.log->times.clear();
    dialog.timerTick(ideal); // a tick hands its ideal time to the output
    QCOMPARE(rig.log->times, std::vector<SteadyClock::time_point>{ideal});

    // Random Canon: a new seed in the seed box alone, heard at the next Play.
    retype(dialog, kVolume + 2, "44"); // an unsaved edit
    const QStringList before = shownState(dialog);
    const Score score = dialog.records().score;
    const std::size_t sent = rig.log->messages.size();
    const QString seedText = text(dialog, kSeed);
    click(dialog, kRandomCanon);
    QVERIFY(text(dialog, kSeed) != seedText);
    QCOMPARE(text(dialog, kSeed).toStdString(), formatSeed(dialog.records().settings.seed, 8));
    QCOMPARE(shownState(dialog), before);
    QCOMPARE(dialog.records().settings.volume[2], 90); // the edit is not read
    QVERIFY(rig.timer->running && rig.timer->starts == 1);
    QCOMPARE(rig.log->messages.size(), sent);
    QCOMPARE(dialog.records().score, score);

    // Play while playing starts again at step 0, with a seed typed meanwhile.
    // Typed text that names no item reads as no selection, whatever index is
    // left behind: the record keeps its value.
    retype(dialog, kSeed, "3 -1 4 -1 5");
    QTest::keyClicks(control<QComboBox>(dialog, kDrumSlot + 2)->lineEdit(), " maybe");
    control<QComboBox>(dialog, kScale)->setCurrentIndex(4);
    control<QComboBox>(dialog, kScale)->lineEdit()->setText("Nothing of the sort");
    const ExpectedPlay again(dialog, 1);
    rig.log->messages.clear();
    click(dialog, kPlay);
    rig.tick();
    QCOMPARE(rig.timer->starts, 2);
    QCOMPARE(rig.log->messages, again.output.messages);
    QCOMPARE(dialog.records().score, again.records.score);
    QVERIFY(s.drumKit[2] == 7 && s.scaleIndex == 0);

    rig.log->messages.clear();
    click(dialog, kStop);
    QVERIFY(!rig.timer->running);
    QCOMPARE(rig.log->messages, kAllSoundOff);
    QCOMPARE(dialog.records().playState.playPosition, 1); // the counters stay

    // Random All stops and every control shows the new record.
    click(dialog, kPlay);
    retype(dialog, kVolume, "44");
    rig.log->messages.clear();
    click(dialog, kRandomAll);
    QVERIFY(!rig.timer->running);
    QCOMPARE(rig.log->messages, kAllSoundOff);
    QCOMPARE(text(dialog, kVolume), QString("90"));
    SongSettings read = dialog.records().settings;
    readControls(dialog.panel(), read);
    QCOMPARE(read, dialog.records().settings);
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

void MainDialogTest::aboutShowsItsTextsWhileTheRealTimerTicks() {
    DialogRig rig(true); // the real timer
    MainDialog& dialog = rig.dialog;
    retype(dialog, control::kStepMs, "50");
    click(dialog, control::kPlay);
    const auto position = [&] { return dialog.records().playState.playPosition; };

    QString texts; // the title, then each label, each ending a line
    int during = 0;
    whenModal<AboutDialog>([&](AboutDialog* about) {
        texts = about->windowTitle() + "\n";
        for (QLabel* label : about->findChildren<QLabel*>()) {
            texts += label->text() + "\n";
        }
        // The About dialog's own loop goes on delivering the real timer's ticks.
        const int before = position();
        static_cast<void>(QTest::qWaitFor([&] { return position() >= before + 3; }));
        during = position() - before;
        QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
    });
    menuItem(dialog, "&About")->trigger();
    QVERIFY(during >= 3);
    QVERIFY2(texts.startsWith("About\n"), qPrintable(texts));
    for (const char* expected :
         {"\nTarnwick Version 1.01\n", "Tarnwick developers",
          "It creates algorithmic music with the use of a seed.\n",
          "\nThis seed contains half-note offsets that are repeated and accumulated at differing "
          "scales creating fractal music. This data is then filtered by the musical scale to make "
          "it pleasing.\n"}) {
        QVERIFY2(texts.contains(expected), qPrintable(texts));
    }
    click(dialog, control::kStop); // and Stop stops them
    const int stoppedAt = position();
    QTest::qWait(200);
    QCOMPARE(position(), stoppedAt);
}

// An output device that finishes opening when the test says so, as the
// built-in synthesiser does once its sound font has loaded.
struct SlowOpeningDevice final : OutputDevice {
    explicit SlowOpeningDevice(const bool& flag) : opened(flag) {}
    void send(std::uint32_t /*message*/) override {}
    std::string status() const override {
        return opened ? "Built-in synthesiser: Test Font" : "Built-in synthesiser: loading";
    }
    bool isSilent() const override { return false; }
    bool waitUntilOpen(std::chrono::milliseconds /*timeout*/) override { return opened; }
    const bool& opened;
};

void MainDialogTest::statusLineChangesWhenTheOutputFinishesOpening() {
    bool opened = false;
    MainDialogParts parts;
    parts.openOutput = [&](OutputPreferences&, bool,
                           StatusReport report) -> std::unique_ptr<MidiOutput> {
        return std::make_unique<WatchedOutput>(std::make_unique<SlowOpeningDevice>(opened),
                                               std::move(report));
    };
    parts.makeTimer = [](TickHandler) { return std::make_unique<ManualStepTimer>(); };
    MainDialog dialog(std::move(parts));
    dialog.show();
    click(dialog, control::kRandomCanon); // the window answers while the output opens
    QTest::qWait(150);
    QCOMPARE(dialog.statusText(), QString("Built-in synthesiser: loading"));
    opened = true;
    QTRY_COMPARE(dialog.statusText(), QString("Built-in synthesiser: Test Font"));
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
        DialogRig rig(false, store());
        QCOMPARE(shown(rig.dialog),
                 QStringList({"&File", "&Output", "&Help", "x Built-in synthesiser", "A&&B (JACK)",
                              "None", "", "Choose &SoundFont...", "Send MIDI &Clock"}));
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
    DialogRig again(false, store());
    QCOMPARE(again.opened.front().first, std::string("port:A&B"));
    QCOMPARE(shown(again.dialog).filter("x "),
             QStringList({"x A&&B (JACK)", "x Send MIDI &Clock"}));
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::MainDialogTest)
#include "main_dialog_test.moc"
