// The control panel over the real widgets follows the same rules as the
// in-memory panel: the same texts read as the same values, and reading the
// controls after the same writes gives the same settings.

#include <QComboBox>
#include <QTest>

#include "dialog_harness.h"
#include "ui/control_ids.h"
#include "ui/controls_exchange.h"
#include "ui/memory_panel.h"

namespace tarnwick::testing {

class QtControlPanelTest : public QObject {
    Q_OBJECT

  private slots:
    void integerReadsMatchTheInMemoryPanel_data();
    void integerReadsMatchTheInMemoryPanel();
    void writesShowTheSameTextAsTheInMemoryPanel();
    void aSeedTextIsReadUpToItsSixtyThirdByte();
    void comboSelectionFollowsWhatIsShown();
    void settingsSurviveAWriteAndReadOnBothPanels();
    void unknownIdsReadAsEmptyAndIgnoreWrites();
};

void QtControlPanelTest::integerReadsMatchTheInMemoryPanel_data() {
    QTest::addColumn<QString>("typed");
    for (const char* typed : {"", "0", "42", "  17", "\t8x", "12abc", "-5", "- 5", "+5", "abc",
                              "4294967295", "4294967296", "2147483647", "2147483648", "-2147483648",
                              "-2147483649", "007", "99999999999999999999"}) {
        QTest::newRow(typed) << QString(typed);
    }
}

void QtControlPanelTest::integerReadsMatchTheInMemoryPanel() {
    QFETCH(QString, typed);
    DialogRig rig;
    MemoryPanel memory;
    QtControlPanel& panel = rig.dialog->panel();
    for (const int id : {control::kVolume, control::kTranspose}) {
        edit(*rig.dialog, id)->setText(typed); // pasted text, past the validator
        memory.writeText(id, typed.toStdString());
        QCOMPARE(panel.readUnsigned(id), memory.readUnsigned(id));
        QCOMPARE(panel.readSigned(id), memory.readSigned(id));
    }
}

void QtControlPanelTest::writesShowTheSameTextAsTheInMemoryPanel() {
    DialogRig rig;
    MemoryPanel memory;
    QtControlPanel& panel = rig.dialog->panel();
    for (const std::int32_t value : {0, 7, -1, -12, 2147483647, -2147483647 - 1}) {
        panel.writeUnsigned(control::kVolume, value);
        memory.writeUnsigned(control::kVolume, value);
        QCOMPARE(text(*rig.dialog, control::kVolume).toStdString(),
                 memory.fullText(control::kVolume));
        panel.writeSigned(control::kVoiceOffset, value);
        memory.writeSigned(control::kVoiceOffset, value);
        QCOMPARE(text(*rig.dialog, control::kVoiceOffset).toStdString(),
                 memory.fullText(control::kVoiceOffset));
    }
    QCOMPARE(text(*rig.dialog, control::kVolume), QString("2147483648"));
    panel.writeUnsigned(control::kVolume, -1);
    QCOMPARE(text(*rig.dialog, control::kVolume), QString("4294967295"));
}

void QtControlPanelTest::aSeedTextIsReadUpToItsSixtyThirdByte() {
    DialogRig rig;
    MemoryPanel memory;
    QtControlPanel& panel = rig.dialog->panel();
    const std::string longSeed = std::string(60, ' ') + "12345 6";
    panel.writeText(control::kSeed, longSeed);
    memory.writeText(control::kSeed, longSeed);
    QCOMPARE(panel.readText(control::kSeed), std::string(60, ' ') + "123");
    QCOMPARE(panel.readText(control::kSeed), memory.readText(control::kSeed));
    QCOMPARE(text(*rig.dialog, control::kSeed).toStdString(), longSeed); // shown whole
}

void QtControlPanelTest::comboSelectionFollowsWhatIsShown() {
    DialogRig rig;
    QtControlPanel& panel = rig.dialog->panel();
    auto* drums = control<QComboBox>(*rig.dialog, control::kDrumSlot + 5);

    panel.writeSelection(control::kDrumSlot + 5, 12);
    QCOMPARE(panel.readSelection(control::kDrumSlot + 5), 12);
    const QString twelve = drums->currentText();

    // Typed text: a stale current index must not count.
    drums->lineEdit()->setText("Not a drum at all");
    QCOMPARE(drums->currentIndex(), 12);
    QCOMPARE(panel.readSelection(control::kDrumSlot + 5), -1);
    // A typed name that is an item's text selects that item.
    drums->lineEdit()->setText(drums->itemText(30));
    QCOMPARE(panel.readSelection(control::kDrumSlot + 5), 30);

    // Writing the same index again shows the item's text again.
    drums->lineEdit()->setText("junk");
    panel.writeSelection(control::kDrumSlot + 5, 12);
    QCOMPARE(drums->currentText(), twelve);
    QCOMPARE(panel.readSelection(control::kDrumSlot + 5), 12);

    // An index outside the list shows no selection and an empty text.
    for (const int outside : {-1, 62, 200}) {
        panel.writeSelection(control::kDrumSlot + 5, outside);
        QCOMPARE(panel.readSelection(control::kDrumSlot + 5), -1);
        QCOMPARE(drums->currentText(), QString());
    }
    QCOMPARE(drums->count(), 62); // typing never adds items
}

void QtControlPanelTest::settingsSurviveAWriteAndReadOnBothPanels() {
    DialogRig rig;
    MemoryPanel memory;
    QtControlPanel& panel = rig.dialog->panel();
    SongSettings loaded = rig.dialog->records().settings;
    // Values as a settings file may hold them, in range and out of it.
    loaded.seedCount = 5;
    loaded.seed = {-2147483647 - 1, 7, -3, 0x7FFFFFFF, 1, 9, 9, 9};
    loaded.scaleIndex = 40;
    loaded.instrument = {200, 127, -1};
    loaded.lowOctave = {12, 0, 5};
    loaded.highOctave = {3, 0, 30};
    loaded.voiceOffset = {-12, 0, 99};
    loaded.volume = {-1, 120, 0};
    loaded.hold = {5, 0, -1};
    loaded.modulation = {0, 1, 0};
    loaded.portamento = {1, 0, 0};
    loaded.beatLength = 0;
    loaded.stepMs = 10;
    loaded.drumVolume = 95;
    loaded.drumKit = {0, 61, 62, -5, 3, 3, 3, 3};
    loaded.transpose = 15;
    loaded.repeatLength = 4;
    loaded.harmonyOffset = -7;

    writeControls(loaded, panel);
    writeControls(loaded, memory);
    SongSettings fromQt = loaded;
    SongSettings fromMemory = loaded;
    readControls(panel, fromQt);
    readControls(memory, fromMemory);
    QCOMPARE(fromQt, fromMemory);
    QCOMPARE(fromQt.instrument[0], 200); // no selection keeps the value
    QCOMPARE(fromQt.scaleIndex, 40);
    QCOMPARE(fromQt.hold[0], 1);
    QCOMPARE(fromQt.lowOctave[0], 1);
    QCOMPARE(fromQt.highOctave[0], 10);
}

void QtControlPanelTest::unknownIdsReadAsEmptyAndIgnoreWrites() {
    DialogRig rig;
    QtControlPanel& panel = rig.dialog->panel();
    for (const int id : {0, 1016, 1017, 4242}) {
        panel.writeText(id, "5");
        panel.writeSelection(id, 1);
        panel.writeCheck(id, 1);
        QCOMPARE(panel.readText(id), std::string());
        QCOMPARE(panel.readUnsigned(id), 0u);
        QCOMPARE(panel.readSelection(id), -1);
        QCOMPARE(panel.readCheck(id), 0);
    }
    // The wrong kind of control for an operation is no control either.
    QCOMPARE(panel.readSelection(control::kSeed), -1);
    QCOMPARE(panel.readText(control::kScale), std::string());
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::QtControlPanelTest)
#include "qt_control_panel_test.moc"
