// The file chooser, and the dialog's file commands typed into it as a user would.

#include <filesystem>

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <sndfile.h>

#include "dialog_harness.h"
#include "files/settings_file.h"
#include "synth/piece_renderer.h"
#include "synth/soundfont_locator.h"
#include "window/file_chooser.h"
#include "window/path_text.h"

namespace tarnwick::testing {
namespace {

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
        QVERIFY(QDir().mkpath(unicodeFolder = folder->filePath("Lieder für Kanons – 曲")));
    }

    void chooserRefusesWhatItCannotOpenOrWriteAndAsksBeforeReplacing();
    void saveOpenAndExportChangeOnlyWhatTheyShouldAndSayWhyTheyFail();
    void saveAsAudioRendersWhilePlayingOrCancelsWithoutAFile();

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
        namespace fs = std::filesystem;
        fs::permissions(toFilesystemPath(path),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    // Saving, name, answer, message: each keeps the chooser open; "taken" gets .tarn.
    const std::tuple<bool, QString, QMessageBox::StandardButton, const char*> refused[] = {
        {false, inFolder("absent.tarn"), QMessageBox::Ok, "absent.tarn"},
        {true, inFolder("locked.tarn"), QMessageBox::Ok, "read-only"},
        {true, inFolder("no such folder/x.tarn"), QMessageBox::Ok, "does not exist"},
        {true, lockedFolder + "/new.tarn", QMessageBox::Ok, "write-protected"},
        {true, inFolder("taken"), QMessageBox::No, "taken.tarn already exists"}};
    FileChooser chooser;
    for (const auto& [forSaving, name, button, reason] : refused) {
        const auto shown = answerMessage(button);
        answerChooser(name, [] {
            auto* stillOpen = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(stillOpen != nullptr);
            stillOpen->reject();
        });
        QVERIFY(!chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", forSaving));
        QVERIFY2(shown->contains(reason), qPrintable(*shown));
    }
    answerMessage(QMessageBox::Yes);
    answerChooser(inFolder("taken"));
    const auto chosen = chooser.chooseFile(nullptr, kSettingsFilter, "Save", "tarn", true);
    QCOMPARE(toQtFileName(chosen.value()), inFolder("taken.tarn"));
}

void FileChooserTest::saveOpenAndExportChangeOnlyWhatTheyShouldAndSayWhyTheyFail() {
    DialogRig rig;
    MainDialog& dialog = rig.dialog;
    using namespace control;
    click(dialog, kPlay);
    retype(dialog, kVolume + 1, "70"); // an unsaved edit
    const SongSettings before = dialog.records().piece.settings;
    const Score played = dialog.records().piece.score;
    const QString title = dialog.windowTitle();
    const std::size_t sent = rig.log->messages.size();
    const auto unchanged = [&] {
        QVERIFY(text(dialog, kVolume + 1) == "70" && dialog.records().piece.settings == before);
        QVERIFY(rig.timer->running && rig.log->messages.size() == sent);
        QCOMPARE(dialog.windowTitle(), title);
    };
    // A file that cannot be read, then a cancel of each command (back at home).
    touch(inFolder("short.tarn"), 96);
    auto error = answerMessage();
    answerChooser(inFolder("short.tarn"));
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(*error, "Load: Could not load the settings from\n" + inFolder("short.tarn") +
                         "\n\nnot a Tarnwick settings file: 96 bytes, 312 expected");
    unchanged();
    for (const char* item : {"&Open...", "&Save...", "Save as &Midi", "Save as &Audio..."}) {
        const auto seen = answerChooser({});
        menuItem(dialog, item)->trigger();
        QCOMPARE(seen->at(2), item[1] == 'O' ? unicodeFolder : QDir::homePath());
        unchanged();
    }
    // The folder goes away between the chooser's checks and the write.
    const QString gone = inFolder("gone");
    for (const auto& [item, message] :
         {std::pair{"&Save...", "Could not save the settings to\n" + gone + "/song.tarn"},
          {"Save as &Midi", "Could not export the piece to\n" + gone + "/song.mid"},
          {"Save as &Audio...", "Could not render the piece to\n" + gone + "/song.wav"}}) {
        QVERIFY(QDir().mkpath(gone));
        error = answerMessage();
        answerChooser(gone + "/song", [&] { QDir(gone).removeRecursively(); });
        menuItem(dialog, item)->trigger();
        QCOMPARE(*error, "Save: " + message + "\n\nNo such file or directory");
        QCOMPARE(dialog.windowTitle(), title);
    }
    QCOMPARE(QDir(unicodeFolder).entryList(QDir::Files), QStringList{"short.tarn"});

    // Save, past 260 characters in several scripts, keeps a name's own extension.
    const QString deep = inFolder(QStringList(4, "Папка-フォルダ-" + QString(60, u'ä')).join('/'));
    QVERIFY(QDir().mkpath(deep) && deep.size() > 260);
    const QString name = "Kanon № 3 — ♫ 曲";
    retype(dialog, kVolume + 1, "71");
    auto seen = answerChooser(deep + "/" + name + ".canon");
    menuItem(dialog, "&Save...")->trigger();
    QCOMPARE(*seen, (QStringList{"Save", "Tarnwick Files (*.tarn)", QDir::homePath(), "", "save"}));
    QCOMPARE(dialog.windowTitle(), name);
    SongSettings saved;
    QVERIFY(loadSettingsFile(toFilesystemPath(deep + "/" + name + ".canon").string(), saved).ok());
    QCOMPARE(saved.volume[1], 71);

    // Export: the last Play's score, a volume typed since; the timer goes on.
    retype(dialog, kSeed, "1 1 1");
    retype(dialog, kVolume, "40");
    seen = answerChooser(deep + "/canon", [&] { rig.tick(); });
    menuItem(dialog, "Save as &Midi")->trigger();
    QCOMPARE(*seen, (QStringList{"Save", "MIDI Files (*.mid)", deep, "", "save"}));
    QVERIFY(rig.timer->running && dialog.performance().state().playPosition == 1);
    QVERIFY(dialog.records().piece.score == played &&
            dialog.records().piece.settings.volume[0] == 40);
    QCOMPARE(dialog.windowTitle(), QString("canon"));
    QFile midi(deep + "/canon.mid");
    QVERIFY(midi.open(QIODevice::ReadOnly) && midi.read(4) == "MThd");

    // Open stops playback; record and controls follow the file, reserved too.
    saved.reserved[3] = 99;
    QVERIFY(saveSettingsFile(toFilesystemPath(deep + "/second.tarn").string(), saved).ok());
    retype(dialog, kVolume + 1, "12");
    control<QComboBox>(dialog, kInstrument)->setCurrentIndex(33);
    seen = answerChooser(deep + "/second.tarn");
    menuItem(dialog, "&Open...")->trigger();
    QCOMPARE(*seen, (QStringList{"Load", "Tarnwick Files (*.tarn)", deep, "", "open"}));
    QVERIFY(text(dialog, kVolume + 1) == "71" &&
            control<QComboBox>(dialog, kInstrument)->currentIndex() == 0);
    QCOMPARE(dialog.windowTitle(), QString("second"));
    QVERIFY(!rig.timer->running && dialog.records().piece.settings == saved);
}

void FileChooserTest::saveAsAudioRendersWhilePlayingOrCancelsWithoutAFile() {
    const auto store = std::make_shared<QSettings>(folder->filePath("kept"), QSettings::IniFormat);
    store->setValue("output/soundFont", inFolder("chosen.sf2"));
    touch(inFolder("chosen.sf2"), 64);
    DialogRig rig(true, {}, store); // the real timer
    MainDialog& dialog = rig.dialog;
    retype(dialog, control::kStepMs, "50");
    click(dialog, control::kPlay);
    // What the output in use heard; unlike the step, it never wraps round.
    const auto sent = [&] { return rig.opened.back().second->messages.size(); };
    const QString title = dialog.windowTitle();

    // The SoundFont chosen in the Output menu renders, not the one found.
    const auto error = answerMessage();
    answerChooser(inFolder("chosen"));
    menuItem(dialog, "Save as &Audio...")->trigger();
    QVERIFY2(error->endsWith("chosen.sf2 could not be loaded"), qPrintable(*error));
    const QString font = QString::fromStdString(findSoundFont(defaultSoundFontPaths()));
    answerChooser(font);
    menuItem(dialog, "Choose &SoundFont...")->trigger();
    QCOMPARE(store->value("output/soundFont").toString(), font); // for the next start

    // Cancelled from the progress window: no file, no message, no new title.
    answerChooser(inFolder("dropped"));
    whenModal<QProgressDialog>([](QProgressDialog* progress) {
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    });
    menuItem(dialog, "Save as &Audio...")->trigger();
    QCOMPARE(QDir(unicodeFolder).entryList(QDir::Files), QStringList{"chosen.sf2"});
    QCOMPARE(dialog.windowTitle(), title);

    std::size_t atStart = 0;
    const auto seen = answerChooser(inFolder("canon"));
    whenModal<QProgressDialog>([&](QProgressDialog*) { atStart = sent(); });
    menuItem(dialog, "Save as &Audio...")->trigger();
    QCOMPARE(seen->at(1), QString("Audio Files (*.wav *.flac *.ogg)"));
    QVERIFY2(sent() >= atStart + 5, "the timer ticks on while it renders");
    click(dialog, control::kStop); // and stops at Stop
    const int stoppedAt = dialog.performance().state().playPosition;
    QTest::qWait(200);
    QCOMPARE(dialog.performance().state().playPosition, stoppedAt);
    QCOMPARE(dialog.windowTitle(), QString("canon"));
    SF_INFO info{};
    SNDFILE* file = sf_open(toFilesystemPath(inFolder("canon.wav")).c_str(), SFM_READ, &info);
    QVERIFY(file != nullptr);
    QCOMPARE(info.frames, pieceFrames(50));
    sf_close(file);

    // The tracks file: a track per line and one for the tempo.
    answerChooser(inFolder("tracks"));
    menuItem(dialog, "Save as Midi (&Tracks)...")->trigger();
    QFile tracks(inFolder("tracks.mid"));
    QVERIFY(tracks.open(QIODevice::ReadOnly) && tracks.read(12).endsWith(QByteArray("\0\1\0\5")));
    // Stems: a folder and a format, then a cancelled render leaves no file.
    const QString stems = inFolder("stems");
    QVERIFY(QDir().mkpath(stems));
    auto format = std::make_shared<QStringList>();
    whenModal<QFileDialog>([=](QFileDialog* chooser) {
        *format = chooser->nameFilters();
        chooser->selectNameFilter(format->at(1));
        chooser->setDirectory(stems);
        QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
    });
    auto progressTitle = std::make_shared<QString>();
    whenModal<QProgressDialog>([=](QProgressDialog* progress) {
        *progressTitle = progress->windowTitle();
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    });
    menuItem(dialog, "Save St&ems...")->trigger();
    QCOMPARE(*format, (QStringList{"WAV (*.wav)", "FLAC (*.flac)", "Ogg Vorbis (*.ogg)"}));
    QCOMPARE(*progressTitle, QString("Save Stems"));
    QCOMPARE(QDir(stems).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

} // namespace tarnwick::testing

QTEST_MAIN(tarnwick::testing::FileChooserTest)
#include "file_chooser_test.moc"
