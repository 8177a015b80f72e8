// What the window offers a desktop user beyond its commands: undo and redo of
// the commands that replace settings, a file opened at start, the recent
// files kept across runs, and the keyboard shortcuts.

#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "controls/control_ids.h"
#include "dialog_harness.h"
#include "files/settings_file.h"
#include "window/about_dialog.h"
#include "window/path_text.h"

namespace tarnwick::testing {
namespace {

// Every control as the user sees it, found by its id property alone, so a
// control that undo forgot shows up here.
QStringList everyControl(MainDialog& dialog) {
    QStringList shown;
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        const QVariant id = widget->property("controlId");
        if (!id.isValid()) {
            continue;
        }
        QString value = widget->property("text").toString();
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            value = QString::number(combo->currentIndex()) + ":" + combo->currentText();
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            value = check->isChecked() ? "x" : "";
        }
        shown << id.toString() + "=" + value;
    }
    return shown;
}

// A settings file no start or randomiser would give, the reserved block included.
QString oddSettingsFile(const QTemporaryDir& folder, const QString& name) {
    SongSettings odd;
    odd.seedCount = 2;
    odd.seed = {5, -3, 9, 9, 9, 9, 9, 9};
    odd.scaleIndex = 7;
    odd.instrument = {40, 41, 42};
    odd.volume = {11, 22, 33};
    odd.drumKit = {1, 2, 3, 4, 5, 6, 7, 8};
    odd.reserved[3] = 99;
    const QString path = folder.filePath(name);
    const FileResult saved = saveSettingsFile(toFilesystemPath(path).string(), odd);
    return saved.ok() ? path : QString();
}

QStringList recentItems(MainDialog& dialog) {
    QStringList texts;
    for (QAction* item : menuItem(dialog, "Open &Recent")->menu()->actions()) {
        texts << item->text();
    }
    return texts;
}

QAction* itemFor(MainDialog& dialog, int commandId) {
    for (QAction* action : dialog.findChildren<QAction*>()) {
        if (action->data() == commandId) {
            return action;
        }
    }
    return nullptr;
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
    const QString file = oddSettingsFile(folder, "odd.tarn");
    const std::pair<const char*, std::function<void(MainDialog&)>> commands[] = {
        {"Random Canon", [](MainDialog& d) { click(d, control::kRandomCanon); }},
        {"Random All", [](MainDialog& d) { click(d, control::kRandomAll); }},
        {"Open",
         [&](MainDialog& d) {
             answerChooser(file);
             menuItem(d, "&Open...")->trigger();
         }},
    };
    for (const auto& [name, command] : commands) {
        DialogRig rig;
        MainDialog& dialog = rig.dialog;
        QVERIFY(!menuItem(dialog, "&Undo")->isEnabled());
        retype(dialog, control::kVolume, "55"); // typed, not yet read by any command
        const QStringList before = everyControl(dialog);
        const SongSettings recordBefore = dialog.records().settings;
        command(dialog);
        const QStringList after = everyControl(dialog);
        const SongSettings recordAfter = dialog.records().settings;
        QVERIFY2(after != before, name);

        menuItem(dialog, "&Undo")->trigger();
        QVERIFY2(everyControl(dialog) == before, name);
        QVERIFY2(dialog.records().settings == recordBefore, name);
        QVERIFY(!menuItem(dialog, "&Undo")->isEnabled());
        menuItem(dialog, "&Redo")->trigger();
        QVERIFY2(everyControl(dialog) == after, name);
        QVERIFY2(dialog.records().settings == recordAfter, name);

        menuItem(dialog, "&Undo")->trigger();
        click(dialog, control::kPlay); // plays what the controls show again
        QCOMPARE(dialog.records().settings.volume[0], 55);
        QVERIFY(rig.timer->running);
    }
}

void DesktopConveniencesTest::aFileOpenedAtStartLeavesWhatOpenLeaves() {
    const QString file = oddSettingsFile(folder, "odd.tarn");
    DialogRig viaMenu;
    answerChooser(file);
    menuItem(viaMenu.dialog, "&Open...")->trigger();
    DialogRig atStart;
    atStart.dialog.openFile(toFilesystemPath(file));
    QCOMPARE(everyControl(atStart.dialog), everyControl(viaMenu.dialog));
    QVERIFY(atStart.dialog.records().settings == viaMenu.dialog.records().settings);
    QCOMPARE(atStart.dialog.windowTitle(), QString("odd"));
    QCOMPARE(atStart.dialog.windowTitle(), viaMenu.dialog.windowTitle());
    QCOMPARE(atStart.dialog.fileChooser().lastFolder(), viaMenu.dialog.fileChooser().lastFolder());
    QCOMPARE(recentItems(atStart.dialog), recentItems(viaMenu.dialog));

    // A file that cannot be loaded: the start values, the caption, and why.
    DialogRig fresh;
    DialogRig failed;
    QString message;
    answerMessage(QMessageBox::Ok, &message);
    failed.dialog.openFile(toFilesystemPath(folder.filePath("missing.tarn")));
    QVERIFY2(message.startsWith("Load: Could not load the settings from\n" +
                                folder.filePath("missing.tarn")),
             qPrintable(message));
    QCOMPARE(everyControl(failed.dialog), everyControl(fresh.dialog));
    QCOMPARE(failed.dialog.windowTitle(), QString("Tarnwick (permutating fugal canons)"));
    QVERIFY(!menuItem(failed.dialog, "&Undo")->isEnabled());
}

void DesktopConveniencesTest::recentFilesKeepTheirOrderAcrossRunsAndDropAGoneFile() {
    const QString a = oddSettingsFile(folder, "a.tarn");
    const QString b = oddSettingsFile(folder, "b & c.tarn");
    const QString saved = folder.filePath("saved.tarn");
    const QString store = folder.filePath("preferences.ini");
    const auto preferences = [&] {
        return std::make_shared<QSettings>(store, QSettings::IniFormat);
    };
    const QStringList expected{"&1 " + a, "&2 " + saved, "&3 " + QString(b).replace("&", "&&")};
    {
        DialogRig firstRun(false, preferences());
        MainDialog& dialog = firstRun.dialog;
        QVERIFY(!menuItem(dialog, "Open &Recent")->isEnabled());
        dialog.openFile(toFilesystemPath(b));
        answerChooser(saved);
        menuItem(dialog, "&Save...")->trigger();
        dialog.openFile(toFilesystemPath(a));
        QCOMPARE(recentItems(dialog), expected);
    }
    QVERIFY(QFile::remove(saved));
    DialogRig nextRun(false, preferences());
    MainDialog& dialog = nextRun.dialog;
    QCOMPARE(recentItems(dialog), expected);

    QString message;
    answerMessage(QMessageBox::Ok, &message);
    menuItem(dialog, "Open &Recent")->menu()->actions()[1]->trigger();
    QVERIFY2(message.startsWith("Open Recent: Could not open\n" + saved), qPrintable(message));
    QVERIFY(message.contains("no longer exists"));
    QCOMPARE(dialog.windowTitle(), QString("Tarnwick (permutating fugal canons)")); // nothing read
    menuItem(dialog, "Open &Recent")->menu()->actions()[1]->trigger();              // now b
    QCOMPARE(dialog.windowTitle(), QString("b & c"));
    QCOMPARE(recentItems(dialog), QStringList({"&1 " + expected[2].mid(3), "&2 " + a}));
    QCOMPARE(preferences()->value("recentFiles").toStringList(), QStringList({b, a}));
}

void DesktopConveniencesTest::shortcutsRunTheirCommandsFromAnEdit() {
    struct Row {
        QKeySequence keys;
        int commandId;
        bool typedFirst = false; // typing in the edit: its own undo comes first
    };
    const Row rows[] = {
        {Qt::CTRL | Qt::Key_O, command::kOpen},
        {Qt::CTRL | Qt::Key_S, command::kSave},
        {Qt::CTRL | Qt::Key_E, command::kSaveMidi},
        {Qt::Key_F1, command::kAbout},
        {Qt::CTRL | Qt::Key_Z, command::kUndo},
        {Qt::CTRL | Qt::Key_Z, command::kUndo, true},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Z, command::kRedo},
        {Qt::CTRL | Qt::Key_Q, command::kExit},
    };
    for (const Row& row : rows) {
        DialogRig rig;
        MainDialog& dialog = rig.dialog;
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        click(dialog, control::kRandomCanon);
        if (row.commandId == command::kRedo) {
            menuItem(dialog, "&Undo")->trigger();
        }
        auto* seed = control<QLineEdit>(dialog, control::kSeed);
        const QString seedBefore = seed->text();
        seed->setFocus();
        if (row.typedFirst) {
            QTest::keyClicks(seed, " 5");
        }
        QSignalSpy ran(itemFor(dialog, row.commandId), &QAction::triggered);
        whenModal<QDialog>([](QDialog* window) { window->reject(); });
        QTest::keySequence(seed, row.keys);
        const QString what = row.keys.toString() + (row.typedFirst ? " after typing" : "");
        QVERIFY2(ran.count() == (row.typedFirst ? 0 : 1), qPrintable(what));
        if (row.typedFirst) {
            QCOMPARE(seed->text(), seedBefore); // the typing is undone, nothing else
        }
        QCOMPARE(dialog.isFinished(), row.commandId == command::kExit);
    }
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::DesktopConveniencesTest)
#include "desktop_conveniences_test.moc"
