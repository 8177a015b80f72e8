// The file chooser on Qt's own file dialog, and the three file commands of the
// real main dialog driven through it: the test types into the chooser's
// file-name edit as a user would, from a timer of the chooser's modal loop.

#include <filesystem>

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>

#include "controls/control_ids.h"
#include "dialog_harness.h"
#include "files/settings_file.h"
#include "window/file_chooser.h"
#include "window/path_text.h"

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

void touch(const QString& path, qsizetype size = 0) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, '\1'));
}

} // namespace

class FileChooserTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        unicodeFolder = folder->filePath(QString::fromUtf8("Lieder für Kanons – 曲"));
        QVERIFY(QDir().mkpath(unicodeFolder));
    }

    void chooserRefusesWhatItCannotOpenOrWriteAndAsksBeforeReplacing();
    void saveOpenAndExportOnALongUnicodePathNameTheWindow();
    void cancelsAndFailuresChangeNothingAndSayWhy();

  private:
    QString inFolder(const QString& name) const { return unicodeFolder + "/" + name; }

    std::unique_ptr<QTemporaryDir> folder;
    QString unicodeFolder; // a folder name that is neither short nor ASCII
};

void FileChooserTest::chooserRefusesWhatItCannotOpenOrWriteAndAsksBeforeReplacing() {
    touch(inFolder("taken.tarn"));
    touch(inFolder("locked.tarn"));
    const QString lockedFolder = inFolder("locked folder");
    QVERIFY(QDir().mkpath(lockedFolder));
    for (const QString& path : {inFolder("locked.tarn"), lockedFolder}) {
        fs::permissions(toFilesystemPath(path),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    // Saving or not, the name typed, the answer, what the message says. A
    // refusal comes before any question about replacing; each keeps the
    // chooser open.
    const std::tuple<bool, QString, QMessageBox::StandardButton, const char*> refused[] = {
        {false, inFolder("absent.tarn"), QMessageBox::Ok, "absent.tarn"},
        {true, inFolder("locked.tarn"), QMessageBox::Ok, "read-only"},
        {true, inFolder("no such folder/x.tarn"), QMessageBox::Ok, "does not exist"},
        {true, lockedFolder + "/new.tarn", QMessageBox::Ok, "write-protected"},
        {true, inFolder("taken"), QMessageBox::No, "taken.tarn already exists"}};
    FileChooser chooser;
    for (const auto& [forSaving, name, button, reason] : refused) {
        QString shown;
        answerMessage(button, &shown);
        whenModal<QFileDialog>([&](QFileDialog* dialog) {
            typeAndAccept(dialog, name);
            QVERIFY(dialog->isVisible());
            dialog->reject();
        });
        QVERIFY(!chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", forSaving));
        QVERIFY2(shown.contains(reason), qPrintable(shown));
    }
    QString question;
    answerMessage(QMessageBox::Yes, &question);
    answerChooser(inFolder("taken"));
    const auto chosen = chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", true);
    QCOMPARE(toQtFileName(chosen.value()), inFolder("taken.tarn"));
}

void FileChooserTest::saveOpenAndExportOnALongUnicodePathNameTheWindow() {
    // Nested folders well past 260 characters, with names in several scripts.
    QString deep = unicodeFolder;
    for (int i = 0; i < 6; ++i) {
        deep += "/" + QString::fromUtf8("Ordner-Папка-フォルダ-") + QString(30, QChar(u'ä'));
    }
    QVERIFY(QDir().mkpath(deep) && deep.size() > 300);
    const QString name = QString::fromUtf8("Kanon № 3 — ♫ 曲");
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    using namespace control;
    retype(dialog, kVolume + 1, "70");
    click(dialog, kPlay);
    Seen seen;
    answerChooser(deep + "/" + name + ".canon", &seen); // a name's own extension stays
    menuItem(dialog, "&Save...")->trigger();
    QCOMPARE(seen, (Seen{"Save", "Tarnwick Files (*.tarn)", QDir::homePath(), "", "save"}));
    QCOMPARE(dialog.windowTitle(), name);
    SongSettings saved;
    QVERIFY(loadSettingsFile(toFilesystemPath(deep + "/" + name + ".canon").string(), saved).ok());
    QCOMPARE(saved.volume[1], 70);

    // Export while playing, in the previous choice's folder: the score of the
    // last Play, with a volume typed since; the timer goes on meanwhile.
    const Score played = dialog.records().score;
    retype(dialog, kSeed, "1 1 1");
    retype(dialog, kVolume, "40");
    answerChooser(deep + "/canon", &seen, [&] { rig.tick(); });
    menuItem(dialog, "Save as &Midi")->trigger();
    QCOMPARE(seen, (Seen{"Save", "MIDI Files (*.mid)", deep, "", "save"}));
    QCOMPARE(dialog.records().playState.playPosition, 1);
    QVERIFY(rig.timer->running);
    QCOMPARE(dialog.windowTitle(), QString("canon"));
    QCOMPARE(dialog.records().score, played);
    QCOMPARE(dialog.records().settings.volume[0], 40);
    QFile midi(deep + "/canon.mid");
    QVERIFY(midi.open(QIODevice::ReadOnly) && midi.read(4) == "MThd");

    // Open stops playback, and the record and every control follow the file,
    // bytes no control shows included.
    saved.reserved[3] = 99;
    QVERIFY(saveSettingsFile(toFilesystemPath(deep + "/second.tarn").string(), saved).ok());
    retype(dialog, kVolume + 1, "12");
    control<QComboBox>(dialog, kInstrument)->setCurrentIndex(33);
    answerChooser(deep + "/second.tarn", &seen);
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(seen, (Seen{"Load", "Tarnwick Files (*.tarn)", deep, "", "open"}));
    QCOMPARE(text(dialog, kVolume + 1), QString("70"));
    QCOMPARE(control<QComboBox>(dialog, kInstrument)->currentIndex(), 0);
    QCOMPARE(dialog.windowTitle(), QString("second"));
    QVERIFY(!rig.timer->running);
    QCOMPARE(dialog.records().settings, saved);
}

void FileChooserTest::cancelsAndFailuresChangeNothingAndSayWhy() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    click(dialog, control::kPlay);
    retype(dialog, control::kVolume + 2, "33"); // an unsaved edit
    const SongSettings before = dialog.records().settings;
    const QString title = dialog.windowTitle();
    const std::size_t sent = rig.log->messages.size();
    touch(inFolder("short.tarn"), 96);
    const auto unchanged = [&] {
        QCOMPARE(text(dialog, control::kVolume + 2), QString("33"));
        QCOMPARE(dialog.records().settings, before);
        QVERIFY(rig.timer->running && rig.log->messages.size() == sent);
        QCOMPARE(dialog.windowTitle(), title);
        QCOMPARE(QDir(unicodeFolder).entryList(QDir::Files), QStringList{"short.tarn"});
    };
    QString error;
    answerMessage(QMessageBox::Ok, &error);
    answerChooser(inFolder("short.tarn"));
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(error, "Load: Could not load the settings from\n" + inFolder("short.tarn") +
                        "\n\nnot a Tarnwick settings file: 96 bytes, 312 expected");
    unchanged();
    // The next chooser starts in that file's folder; after a cancel, the one
    // after starts from the home folder again.
    for (const char* item : {"&Open...", "&Save...", "Save as &Midi"}) {
        Seen seen;
        answerChooser({}, &seen);
        menuItem(dialog, item)->trigger();
        QCOMPARE(seen[2], item[1] == 'O' ? unicodeFolder : QDir::homePath());
        unchanged();
    }

    // The folder goes away between the chooser's checks and the write.
    const QString gone = inFolder("gone");
    for (const auto& [item, message] :
         {std::pair{"&Save...", "Could not save the settings to\n" + gone + "/song.tarn"},
          {"Save as &Midi", "Could not export the piece to\n" + gone + "/song.mid"}}) {
        QVERIFY(QDir().mkpath(gone));
        answerMessage(QMessageBox::Ok, &error);
        answerChooser(gone + "/song", nullptr, [&] { QDir(gone).removeRecursively(); });
        menuItem(dialog, item)->trigger();
        QCOMPARE(error, "Save: " + message + "\n\nNo such file or directory");
        QCOMPARE(dialog.windowTitle(), title);
    }
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::FileChooserTest)
#include "file_chooser_test.moc"
