// The control panel over the real widgets follows the same rules as the
// in-memory panel: one table of writes and reads, run against both.

#include <QComboBox>
#include <QTest>

#include "controls/control_ids.h"
#include "controls/memory_panel.h"
#include "dialog_harness.h"

namespace tarnwick::testing {
namespace {

enum Kind { Unsigned, Signed, Text, Selection, Check };

// Writes `value` as the given kind (numbers in decimal), then reads the
// control back as the other kind, as a decimal or the text.
// clang-format off
std::string writeThenRead(ControlPanel& panel, int id, Kind write, const std::string& value,
                          Kind read) {
    const auto number = [&] { return static_cast<std::int32_t>(std::stoll(value)); };
    switch (write) {
    case Unsigned: panel.writeUnsigned(id, number()); break;
    case Signed: panel.writeSigned(id, number()); break;
    case Text: panel.writeText(id, value); break;
    case Selection: panel.writeSelection(id, number()); break;
    case Check: panel.writeCheck(id, number()); break;
    }
    switch (read) {
    case Unsigned: return std::to_string(panel.readUnsigned(id));
    case Signed: return std::to_string(panel.readSigned(id));
    case Text: return panel.readText(id);
    case Selection: return std::to_string(panel.readSelection(id));
    case Check: return std::to_string(panel.readCheck(id));
    }
    return {};
}
// clang-format on

} // namespace

class QtControlPanelTest : public QObject {
    Q_OBJECT

  private slots:
    void bothPanelsFollowOneTableAndComboBoxesWhatTheyShow();
};

void QtControlPanelTest::bothPanelsFollowOneTableAndComboBoxesWhatTheyShow() {
    using namespace control;
    const std::string seed = std::string(60, ' ') + "12345 6";
    // clang-format off
    const std::tuple<int, Kind, std::string, Kind, std::string> table[] = {
        // Pasted text, past the validators.
        {kVolume, Text, "\t8x", Unsigned, "8"},           {kVolume, Text, "+5", Unsigned, "0"},
        {kVolume, Text, "-5", Unsigned, "0"},             {kVolume, Text, "4294967296", Unsigned, "0"},
        {kTranspose, Text, "  -5", Signed, "-5"},         {kTranspose, Text, "- 5", Signed, "0"},
        {kTranspose, Text, "2147483648", Signed, "0"},
        {kVolume, Text, "4294967295", Unsigned, "4294967295"},
        // What writes show, and a text read cut at 63 bytes.
        {kVolume, Unsigned, "-1", Text, "4294967295"},    {kVoiceOffset, Signed, "-12", Text, "-12"},
        {kSeed, Text, seed, Text, seed.substr(0, 63)},
        // Lists of 19 scales and 62 drums: outside them nothing is selected.
        {kScale, Selection, "18", Selection, "18"},       {kScale, Selection, "19", Selection, "-1"},
        {kDrumSlot + 5, Selection, "-5", Selection, "-1"}, {kHold + 2, Check, "5", Check, "1"},
        // No control, or a control of another kind: empty reads, no writes.
        {1017, Text, "5", Text, ""},                      {1017, Selection, "1", Selection, "-1"},
        {1016, Check, "1", Check, "0"},                   {kSeed, Selection, "1", Selection, "-1"},
        {kScale, Text, "5", Text, ""},                    {kVolume, Check, "1", Check, "0"}};
    // clang-format on
    DialogRig rig;
    MemoryPanel memory;
    for (const auto& [id, write, value, read, expected] : table) {
        const std::string qt = writeThenRead(rig.dialog.panel(), id, write, value, read);
        const std::string inMemory = writeThenRead(memory, id, write, value, read);
        const std::string seen = value + " -> Qt '" + qt + "', in memory '" + inMemory + "'";
        QVERIFY2(qt == expected && inMemory == expected, seen.c_str());
    }
    QCOMPARE(text(rig.dialog, kSeed).toStdString(), seed); // shown whole

    // Typed text in a combo box counts, not a stale current index.
    QtControlPanel& panel = rig.dialog.panel();
    const int id = kDrumSlot + 5;
    auto* drums = control<QComboBox>(rig.dialog, id);
    panel.writeSelection(id, 12);
    drums->lineEdit()->setText("Not a drum at all");
    QCOMPARE(drums->currentIndex(), 12);
    QCOMPARE(panel.readSelection(id), -1);
    drums->lineEdit()->setText(drums->itemText(30)); // an item's name selects it
    QCOMPARE(panel.readSelection(id), 30);

    // Writing the same index again shows the item's text again; an index
    // outside the list shows no text.
    drums->lineEdit()->setText("junk");
    panel.writeSelection(id, 12);
    QCOMPARE(drums->currentText(), drums->itemText(12));
    QCOMPARE(panel.readSelection(id), 12);
    panel.writeSelection(id, 62);
    QCOMPARE(drums->currentText(), QString());
    QCOMPARE(drums->count(), 62); // typing never adds items
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::QtControlPanelTest)
#include "qt_control_panel_test.moc"
