// The file chooser on Qt's own file dialog, and the three file commands of the
// real main dialog driven through it: the test types into the chooser's
// file-name edit as a user would, from a timer of the chooser's modal loop.

#include <filesystem>
#include <fstream>
#include <iterator>

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "dialog_harness.h"
#include "files/settings_file.h"
#include "ui/control_ids.h"
#include "ui/qt/file_chooser.h"
#include "ui/qt/path_text.h"

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

QLineEdit* fileNameEdit(QFileDialog* chooser) {
    return chooser->findChild<QLineEdit*>("fileNameEdit");
}

// The chooser's "Open" or "Save" button.
QPushButton* acceptButton(QFileDialog* chooser) {
    auto* buttons = chooser->findChild<QDialogButtonBox*>("buttonBox");
    return qobject_cast<QPushButton*>(buttons->buttons().front());
}

// Types the name into the chooser and accepts it, as its button would (also
// where the button is disabled, to see the dialog's own refusal).
void typeAndAccept(QFileDialog* chooser, const QString& name) {
    QApplication::setActiveWindow(chooser);
    QVERIFY(QTest::qWaitForWindowActive(chooser));
    QLineEdit* nameEdit = fileNameEdit(chooser);
    nameEdit->setFocus();
    QVERIFY(nameEdit->hasFocus());
    nameEdit->setText(name);
    QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
}

// What the chooser showed when it opened.
struct ChooserSeen {
    QString title;
    QStringList filters;
    QString folder;
    QString proposedName;
    bool saving = false;
};

ChooserSeen look(QFileDialog* chooser) {
    return {chooser->windowTitle(), chooser->nameFilters(), chooser->directory().absolutePath(),
            fileNameEdit(chooser)->text(), chooser->acceptMode() == QFileDialog::AcceptSave};
}

// Answers the next chooser with a name, remembering what it showed.
void answerChooser(const QString& name, ChooserSeen* seen = nullptr) {
    whenModal<QFileDialog>([name, seen](QFileDialog* chooser) {
        if (seen != nullptr) {
            *seen = look(chooser);
        }
        typeAndAccept(chooser, name);
    });
}

void cancelChooser(ChooserSeen* seen = nullptr) {
    whenModal<QFileDialog>([seen](QFileDialog* chooser) {
        if (seen != nullptr) {
            *seen = look(chooser);
        }
        chooser->reject();
    });
}

// Answers the next message box with a button, keeping its text.
void answerMessage(QMessageBox::StandardButton button, QString* shown = nullptr) {
    whenModal<QMessageBox>([button, shown](QMessageBox* box) {
        if (shown != nullptr) {
            *shown = box->text();
        }
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
}

// 0 for a file that does not exist.
std::size_t fileSize(const QString& path) {
    return static_cast<std::size_t>(QFileInfo(path).size());
}

void chmodReadOnly(const QString& path) {
    fs::permissions(toFilesystemPath(path),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

} // namespace

class FileChooserTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        // A folder name that is neither short nor ASCII.
        unicodeFolder = folder->filePath(QString::fromUtf8("Lieder für Kanons – 曲"));
        QVERIFY(QDir().mkpath(unicodeFolder));
    }
    void cleanup() { folder.reset(); }

    void saveAppendsTheDefaultExtensionAndShowsOneFilter();
    void openRefusesMissingFilesAndRemembersTheFolder();
    void saveAsksBeforeReplacingAFile();
    void saveRefusesReadOnlyTargetsAndMissingFolders();
    void pathsOfAnyLengthAndScriptWork();

    void saveAndOpenThroughTheDialogNameTheWindow();
    void exportWritesAMidiFileAndPlaybackGoesOn();
    void cancelledOpenKeepsAnUnsavedEdit();
    void openOfAShortFileShowsAnErrorAndChangesNothing();

  private:
    QString inFolder(const QString& name) const { return unicodeFolder + "/" + name; }

    std::unique_ptr<QTemporaryDir> folder;
    QString unicodeFolder;
};

void FileChooserTest::saveAppendsTheDefaultExtensionAndShowsOneFilter() {
    FileChooser chooser;
    ChooserSeen seen;
    answerChooser(inFolder("song"), &seen);
    const auto chosen = chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", true);
    QVERIFY(chosen.has_value());
    QCOMPARE(toQtFileName(*chosen), inFolder("song.tarn"));
    QCOMPARE(seen.title, QString("Save"));
    QCOMPARE(seen.filters, QStringList{"Tarnwick Files (*.tarn)"});
    QCOMPARE(seen.proposedName, QString());
    QVERIFY(seen.saving);
    QCOMPARE(seen.folder, QDir::homePath()); // nothing chosen before

    answerChooser(inFolder("canon"), &seen);
    const auto midi = chooser.chooseFile(nullptr, kMidiFilter, "Save", "mid", true);
    QCOMPARE(toQtFileName(midi.value()), inFolder("canon.mid"));
    QCOMPARE(seen.filters, QStringList{"MIDI Files (*.mid)"});
    QCOMPARE(seen.folder, unicodeFolder); // the previous choice's folder
    QCOMPARE(seen.proposedName, QString());

    // A name with an extension of its own keeps it.
    answerChooser(inFolder("my.song"));
    QCOMPARE(
        toQtFileName(chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", true).value()),
        inFolder("my.song"));
}

void FileChooserTest::openRefusesMissingFilesAndRemembersTheFolder() {
    FileChooser chooser;
    QString refusal;
    ChooserSeen seen;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        seen = look(dialog);
        // A file that does not exist is refused; the chooser stays open.
        answerMessage(QMessageBox::Ok, &refusal);
        typeAndAccept(dialog, inFolder("absent.tarn"));
        QVERIFY(dialog->isVisible());
        QVERIFY(!acceptButton(dialog)->isEnabled());
        dialog->reject();
    });
    QVERIFY(!chooser.chooseFile(nullptr, kSettingsFilter, "Load", "tarn", false).has_value());
    QCOMPARE(seen.title, QString("Load"));
    QVERIFY(!seen.saving);
    QVERIFY(refusal.contains("absent.tarn"));
    QVERIFY(chooser.lastFolder().isEmpty());

    QFile present(inFolder("present.tarn"));
    QVERIFY(present.open(QIODevice::WriteOnly));
    present.close();
    answerChooser(inFolder("present.tarn"));
    QCOMPARE(
        toQtFileName(chooser.chooseFile(nullptr, kSettingsFilter, "Load", "tarn", false).value()),
        inFolder("present.tarn"));

    // The next chooser of any kind opens in that folder; after a cancel, the
    // one after starts from the home folder again.
    cancelChooser(&seen);
    QVERIFY(!chooser.chooseFile(nullptr, kMidiFilter, "Save", "mid", true).has_value());
    QCOMPARE(seen.folder, unicodeFolder);
    cancelChooser(&seen);
    QVERIFY(!chooser.chooseFile(nullptr, kSettingsFilter, "Load", "tarn", false).has_value());
    QCOMPARE(seen.folder, QDir::homePath());
}

void FileChooserTest::saveAsksBeforeReplacingAFile() {
    FileChooser chooser;
    QFile existing(inFolder("taken.tarn"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();

    QString question;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        answerMessage(QMessageBox::No, &question);
        typeAndAccept(dialog, inFolder("taken"));
        QVERIFY(dialog->isVisible()); // "No" keeps the chooser open
        answerMessage(QMessageBox::Yes);
        typeAndAccept(dialog, inFolder("taken"));
    });
    const auto chosen = chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", true);
    QCOMPARE(toQtFileName(chosen.value()), inFolder("taken.tarn"));
    QVERIFY(question.contains("taken.tarn"));
    QVERIFY(question.contains("replace"));
}

void FileChooserTest::saveRefusesReadOnlyTargetsAndMissingFolders() {
    FileChooser chooser;
    QFile locked(inFolder("locked.tarn"));
    QVERIFY(locked.open(QIODevice::WriteOnly));
    locked.close();
    chmodReadOnly(inFolder("locked.tarn"));
    const QString lockedFolder = inFolder("locked folder");
    QVERIFY(QDir().mkpath(lockedFolder));
    chmodReadOnly(lockedFolder);

    QStringList refusals;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        QString shown;
        for (const QString& name : {inFolder("locked.tarn"), inFolder("no such folder/x.tarn"),
                                    lockedFolder + "/new.tarn"}) {
            // The refusal comes before any question about replacing.
            answerMessage(QMessageBox::Ok, &shown);
            typeAndAccept(dialog, name);
            QVERIFY(dialog->isVisible());
            refusals << shown;
        }
        dialog->reject();
    });
    QVERIFY(!chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", true).has_value());
    QCOMPARE(refusals.size(), 3);
    QVERIFY2(refusals[0].contains("read-only"), qPrintable(refusals[0]));
    QVERIFY2(refusals[1].contains("does not exist"), qPrintable(refusals[1]));
    QVERIFY2(refusals[2].contains("write-protected"), qPrintable(refusals[2]));
}

void FileChooserTest::pathsOfAnyLengthAndScriptWork() {
    // Nested folders well past 260 characters, with names in several scripts.
    QString deep = unicodeFolder;
    for (int i = 0; i < 6; ++i) {
        deep += "/" + QString::fromUtf8("Ordner-Папка-フォルダ-") + QString(30, QChar(u'ä'));
    }
    QVERIFY(QDir().mkpath(deep));
    QVERIFY(deep.size() > 300);

    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    const QString name = QString::fromUtf8("Kanon № 3 — ♫ 曲");
    answerChooser(deep + "/" + name);
    menuItem(dialog, "&Save...")->trigger();
    QCOMPARE(fileSize(deep + "/" + name + ".tarn"), kSettingsFileSize);
    QCOMPARE(dialog.windowTitle(), name);

    retype(edit(dialog, control::kRepeat), "9");
    answerChooser(deep + "/" + name + ".tarn");
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(text(dialog, control::kRepeat), QString("0"));
}

void FileChooserTest::saveAndOpenThroughTheDialogNameTheWindow() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    using namespace control;
    retype(edit(dialog, kVolume + 1), "70");
    retype(edit(dialog, kHarmonyOffset), "-12");
    click(dialog, kPlay);
    rig.tick();

    ChooserSeen seen;
    answerChooser(inFolder("first.canon.tarn"), &seen);
    menuItem(dialog, "&Save...")->trigger();
    QCOMPARE(seen.title, QString("Save"));
    QCOMPARE(fileSize(inFolder("first.canon.tarn")), kSettingsFileSize);
    QCOMPARE(dialog.windowTitle(), QString("first.canon"));
    QVERIFY(rig.timer->running); // saving does not stop the music
    SongSettings saved;
    QVERIFY(loadSettingsFile(toFilesystemPath(inFolder("first.canon.tarn")).string(), saved).ok());
    QCOMPARE(saved.volume[1], 70);
    QCOMPARE(saved.harmonyOffset, -12);

    // Change the controls, then open the saved file again.
    retype(edit(dialog, kVolume + 1), "12");
    control<QComboBox>(dialog, kInstrument)->setCurrentIndex(33);
    QFile::copy(inFolder("first.canon.tarn"), inFolder("second.tarn"));
    answerChooser(inFolder("second.tarn"), &seen);
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(seen.title, QString("Load"));
    QCOMPARE(seen.folder, unicodeFolder);
    QCOMPARE(text(dialog, kVolume + 1), QString("70"));
    QCOMPARE(text(dialog, kHarmonyOffset), QString("-12"));
    QCOMPARE(control<QComboBox>(dialog, kInstrument)->currentIndex(), 0);
    QCOMPARE(dialog.windowTitle(), QString("second"));
    QVERIFY(!rig.timer->running); // a successful open stops playback
    QCOMPARE(dialog.records().settings, saved);
}

void FileChooserTest::exportWritesAMidiFileAndPlaybackGoesOn() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    const Score played = dialog.records().score;
    retype(edit(dialog, control::kSeed), "1 1 1");

    ChooserSeen seen;
    bool tickedMeanwhile = false;
    whenModal<QFileDialog>([&](QFileDialog* chooser) {
        seen = look(chooser);
        rig.tick(); // the timer goes on while the chooser is open
        tickedMeanwhile = dialog.records().playState.playPosition == 1;
        typeAndAccept(chooser, inFolder("canon"));
    });
    menuItem(dialog, "Save as &Midi")->trigger();
    QCOMPARE(seen.filters, QStringList{"MIDI Files (*.mid)"});
    QCOMPARE(seen.title, QString("Save"));
    QVERIFY(tickedMeanwhile);
    QVERIFY(rig.timer->running);
    QCOMPARE(dialog.windowTitle(), QString("canon"));
    QCOMPARE(dialog.records().score, played); // the score of the last Play
    QFile file(inFolder("canon.mid"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(4), QByteArray("MThd"));
}

void FileChooserTest::cancelledOpenKeepsAnUnsavedEdit() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    retype(edit(dialog, control::kVolume + 2), "33");
    const SongSettings before = dialog.records().settings;
    const QString title = dialog.windowTitle();
    const std::size_t sent = rig.log->messages.size();

    cancelChooser();
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(text(dialog, control::kVolume + 2), QString("33"));
    QCOMPARE(dialog.records().settings, before);
    QVERIFY(rig.timer->running);
    QCOMPARE(rig.log->messages.size(), sent);
    QCOMPARE(dialog.windowTitle(), title);
}

void FileChooserTest::openOfAShortFileShowsAnErrorAndChangesNothing() {
    DialogRig rig;
    MainDialog& dialog = *rig.dialog;
    dialog.show();
    click(dialog, control::kPlay);
    retype(edit(dialog, control::kBeat), "5");
    const SongSettings before = dialog.records().settings;
    const QString title = dialog.windowTitle();
    const std::size_t sent = rig.log->messages.size();

    QFile shortFile(inFolder("short.tarn"));
    QVERIFY(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(96, '\1'));
    shortFile.close();

    QString error;
    QString errorTitle;
    whenModal<QFileDialog>([&](QFileDialog* chooser) {
        whenModal<QMessageBox>([&](QMessageBox* box) {
            error = box->text();
            errorTitle = box->windowTitle();
            box->accept();
        });
        typeAndAccept(chooser, inFolder("short.tarn"));
    });
    menuItem(dialog, "&Open...")->trigger();
    QVERIFY2(error.contains(QDir::toNativeSeparators(inFolder("short.tarn"))), qPrintable(error));
    QVERIFY2(error.contains("96"), qPrintable(error)); // the reason: the file's length
    QCOMPARE(errorTitle, QString("Load"));
    QCOMPARE(text(dialog, control::kBeat), QString("5"));
    QCOMPARE(dialog.records().settings, before);
    QVERIFY(rig.timer->running);
    QCOMPARE(rig.log->messages.size(), sent);
    QCOMPARE(dialog.windowTitle(), title);
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::FileChooserTest)
#include "file_chooser_test.moc"
