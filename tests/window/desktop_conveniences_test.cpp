// Undo and redo, a file opened at start, recent files across runs, shortcuts.

#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "dialog_harness.h"
#include "files/settings_file.h"
#include "window/path_text.h"

namespace tarnwick::testing {
namespace {

// Every control, then the record behind them.
QStringList everything(MainDialog& dialog) {
    const SongSettings& s = dialog.records().piece.settings;
    return readEverything(dialog.panel())
           << QByteArray(reinterpret_cast<const char*>(&s), sizeof s).toHex();
}

// A settings file no start or randomiser gives, the reserved block included.
QString oddFile(const QTemporaryDir& folder, const QString& name) {
    SongSettings odd;
    odd.scaleIndex = 7;
    odd.drumKit = {1, 2, 3, 4, 5, 6, 7, 8};
    odd.reserved[3] = 99;
    const auto saved = saveSettingsFile(toFilesystemPath(folder.filePath(name)).string(), odd);
    return saved.ok() ? folder.filePath(name) : QString();
}

void openAtStart(DialogRig& rig, const QString& file) {
    rig.dialog.openFile(toFilesystemPath(file));
}

} // namespace

class DesktopConveniencesTest : public QObject {
    Q_OBJECT

  private slots:
    void undoAndRedoRestoreTheControlsAroundEachCommand();
    void aFileOpenedAtStartLeavesWhatOpenLeaves();
    void recentFilesKeepTheirOrderAcrossRunsAndDropAGoneFile();
    void shortcutsRunTheirCommandsFromAnEdit();

  private:
    QTemporaryDir folder;
};

void DesktopConveniencesTest::undoAndRedoRestoreTheControlsAroundEachCommand() {
    answerChooser(oddFile(folder, "odd.tarn"));
    for (const Command command : {Command::RandomCanon, Command::RandomAll, Command::Open}) {
        DialogRig rig;
        retype(rig.dialog, control::kVolume, "55"); // typed, not yet read
        const QStringList before = everything(rig.dialog);
        rig.dialog.runCommand(command);
        const QStringList after = everything(rig.dialog);
        QVERIFY(after != before);
        menuItem(rig.dialog, "&Undo")->trigger();
        QVERIFY(everything(rig.dialog) == before && !menuItem(rig.dialog, "&Undo")->isEnabled());
        menuItem(rig.dialog, "&Redo")->trigger();
        QVERIFY(everything(rig.dialog) == after);
    }
}

void DesktopConveniencesTest::aFileOpenedAtStartLeavesWhatOpenLeaves() {
    const QString file = oddFile(folder, "odd.tarn");
    DialogRig viaMenu, atStart, fresh, failed;
    answerChooser(file);
    menuItem(viaMenu.dialog, "&Open...")->trigger();
    openAtStart(atStart, file);
    QCOMPARE(everything(atStart.dialog), everything(viaMenu.dialog));
    QCOMPARE(atStart.dialog.windowTitle() + viaMenu.dialog.windowTitle(), QString("oddodd"));
    QCOMPARE(atStart.dialog.fileChooser().lastFolder(), viaMenu.dialog.fileChooser().lastFolder());

    const auto message = answerMessage(); // a file that cannot be loaded: start values, and why
    openAtStart(failed, folder.filePath("gone.tarn"));
    QCOMPARE(*message, "Load: Could not load the settings from\n" + folder.filePath("gone.tarn") +
                           "\n\nNo such file or directory");
    QCOMPARE(everything(failed.dialog), everything(fresh.dialog));
    QCOMPARE(failed.dialog.windowTitle(), fresh.dialog.windowTitle());
}

void DesktopConveniencesTest::recentFilesKeepTheirOrderAcrossRunsAndDropAGoneFile() {
    const QString a = oddFile(folder, "a.tarn"), b = oddFile(folder, "b&c.tarn");
    const QString saved = folder.filePath("saved.tarn");
    const auto store = [&] {
        return std::make_shared<QSettings>(folder.filePath("kept.ini"), QSettings::IniFormat);
    };
    const auto listed = [](DialogRig& rig) {
        QStringList texts;
        for (QAction* item : menuItem(rig.dialog, "Open &Recent")->menu()->actions()) {
            texts << item->text().section('/', -1);
        }
        return texts;
    };
    {
        DialogRig firstRun(false, {}, store());
        QVERIFY(!menuItem(firstRun.dialog, "Open &Recent")->isEnabled());
        openAtStart(firstRun, a);
        openAtStart(firstRun, b);
        answerChooser(saved);
        firstRun.dialog.runCommand(Command::Save);
        openAtStart(firstRun, a); // listed once
    }
    QVERIFY(QFile::remove(saved));
    DialogRig nextRun(false, {}, store());
    QCOMPARE(listed(nextRun), QStringList({"a.tarn", "saved.tarn", "b&&c.tarn"}));
    const auto message = answerMessage();
    nextRun.dialog.runCommand(openRecentCommand(1));
    QCOMPARE(*message, "Open Recent: Could not open\n" + saved +
                           "\n\nThe file no longer exists. It has been removed from the recent "
                           "files.");
    QCOMPARE(listed(nextRun), QStringList({"a.tarn", "b&&c.tarn"}));
    menuItem(nextRun.dialog, "Open &Recent")->menu()->actions()[1]->trigger();
    QCOMPARE(nextRun.dialog.windowTitle(), QString("b&c"));
    QCOMPARE(store()->value("recentFiles").toStringList(), QStringList({b, a}));
}

void DesktopConveniencesTest::shortcutsRunTheirCommandsFromAnEdit() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    click(dialog, control::kRandomCanon);
    auto* seed = control<QLineEdit>(dialog, control::kSeed);
    QTest::keyClicks(seed, " 5");
    // In order, on one dialog; the first Ctrl+Z undoes the typing in the seed box.
    const std::pair<QKeySequence, const char*> rows[] = {
        {Qt::CTRL | Qt::Key_Z, nullptr},
        {Qt::CTRL | Qt::Key_O, "&Open..."},
        {Qt::CTRL | Qt::Key_S, "&Save..."},
        {Qt::CTRL | Qt::Key_E, "Save as &Midi"},
        {Qt::Key_F1, "&About"},
        {Qt::CTRL | Qt::Key_Z, "&Undo"},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Z, "&Redo"},
        {Qt::CTRL | Qt::Key_Q, "E&xit"},
    };
    for (const auto& [keys, item] : rows) {
        dialog.activateWindow(); // back from the last row's modal window
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        seed->setFocus();
        QSignalSpy ran(menuItem(dialog, item ? item : "&Undo"), &QAction::triggered);
        whenModal<QDialog>([](QDialog* window) { window->reject(); });
        QTest::keySequence(seed, keys);
        QVERIFY2(ran.count() == (item ? 1 : 0), qPrintable(keys.toString()));
    }
    QVERIFY(dialog.isFinished());
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::DesktopConveniencesTest)
#include "desktop_conveniences_test.moc"
