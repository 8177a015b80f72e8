// The piano roll in the real window: its place, its picture, how little a tick repaints.

#include <QGridLayout>
#include <QPaintEvent>

#include "dialog_harness.h"
#include "roll/roll_picture.h"
#include "window/piano_roll_widget.h"

namespace tarnwick::testing {
namespace {

// Keeps the rectangles of every paint event of a widget.
class PaintRecorder : public QObject {
  public:
    explicit PaintRecorder(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region()) {
                rects.push_back(r);
            }
        }
        return false;
    }
    std::vector<QRect> rects;
};

} // namespace

class PianoRollTest : public QObject {
    Q_OBJECT

  private slots:
    void belowTheControlsItRepaintsOnlyTheColumnsThePlayheadLeavesAndEnters();
};

void PianoRollTest::belowTheControlsItRepaintsOnlyTheColumnsThePlayheadLeavesAndEnters() {
    DialogRig rig;
    PianoRollWidget& roll = rig.dialog.pianoRoll();
    QVERIFY(roll.picture().notes.empty() && !roll.hint().isEmpty()); // before the first Play
    QCOMPARE(rig.dialog.minimumSize(), rig.dialog.maximumSize());    // fixed in size
    // The controls keep their own width and lie above the roll.
    auto* grid = rig.dialog.findChild<QGridLayout*>("controlGrid");
    QRect controls;
    for (int i = 0; i < grid->count(); ++i) {
        controls |= grid->itemAt(i)->geometry();
    }
    QVERIFY(controls.width() <= grid->sizeHint().width() &&
            controls.bottom() < roll.geometry().top());

    for (int s = 0; s < 8; ++s) {
        rig.dialog.panel().writeSelection(control::kDrumSlot + s, 10 + s);
    }
    rig.dialog.panel().writeUnsigned(control::kBeat, 3);
    click(rig.dialog, control::kPlay);
    const Piece& piece = rig.dialog.records().piece;
    QVERIFY(roll.hint().isEmpty());
    QVERIFY(roll.picture().notes == soundingNotes(piece.score, piece.settings));
    QApplication::processEvents();

    PaintRecorder painted(&roll);
    for (int step = 0; step < 40; ++step) {
        painted.rects.clear();
        rig.tick();
        QApplication::processEvents();
        QCOMPARE(roll.playhead(),
                 std::optional<int>(rig.dialog.performance().state().playPosition - 1));
        // The playhead's old and new columns, a pixel each, over pitches and lane.
        QVERIFY(!painted.rects.empty() && painted.rects.size() <= 2);
        const Rect columns = roll.layout().columnRect(std::max(step - 1, 0), step > 0 ? 2 : 1);
        for (const QRect& r : painted.rects) {
            QVERIFY(r.left() >= columns.x && r.right() < columns.x + columns.width);
        }
    }
    // The playhead, dark grey, runs over the notes.
    const int head = roll.playhead().value();
    const auto under = std::ranges::find_if(roll.picture().notes, [&](const RollNote& n) {
        return n.step <= head && head < n.step + n.length;
    });
    QCOMPARE(
        roll.grab().toImage().pixelColor(static_cast<int>(roll.layout().columnRect(head).x),
                                         static_cast<int>(roll.layout().noteCentreY(under->note))),
        QColor(64, 64, 64));
    // The lane holds every drum hit the output heard, in order, on the beat.
    std::vector<DrumHit> heard;
    for (const std::uint32_t m : rig.log->messages) {
        if ((m & 0xFF) == 0x99) {
            heard.push_back({static_cast<int>(heard.size()) * 3, static_cast<int>(m >> 8 & 0xFF)});
        }
    }
    QCOMPARE(heard.size(), 14u);
    QVERIFY(roll.picture().drumHits == heard);
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::PianoRollTest)
#include "piano_roll_test.moc"
