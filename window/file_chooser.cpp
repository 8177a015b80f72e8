#include "window/file_chooser.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "window/path_text.h"

namespace tarnwick {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Write-protected for everyone, the owner included: no write permission bit at
// all, or no write access for this process. The bits count even where the
// process could write anyway (as an administrator can).
bool isWriteProtected(const QFileInfo& info) {
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || (info.permissions() & anyWrite) == 0;
}

// Qt's file dialog with the checks a save needs before the dialog may close.
class CheckedFileDialog : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;

    void accept() override {
        if (acceptMode() == QFileDialog::AcceptSave && !saveTargetAccepted()) {
            return;
        }
        QFileDialog::accept();
    }

  private:
    bool saveTargetAccepted() {
        const QStringList files = selectedFiles();
        if (files.isEmpty()) {
            return true; // nothing chosen yet: Qt's dialog stays open itself
        }
        const QFileInfo target(files.first());
        if (target.isDir()) {
            return true; // Qt's dialog moves into the folder
        }
        const QFileInfo folder(target.absolutePath());
        if (!folder.isDir()) {
            return refuse(tr("%1\nThe folder does not exist.\nPlease verify the correct path "
                             "was given.")
                              .arg(QDir::toNativeSeparators(folder.absoluteFilePath())));
        }
        if (target.exists() && isWriteProtected(target)) {
            return refuse(tr("%1\nThis file is read-only.\nTry again with a different file name.")
                              .arg(target.fileName()));
        }
        if (!target.exists() && isWriteProtected(folder)) {
            return refuse(tr("%1\nThe folder is write-protected.\nTry again with a different "
                             "folder.")
                              .arg(QDir::toNativeSeparators(folder.absoluteFilePath())));
        }
        return true;
    }

    bool refuse(const QString& message) {
        QMessageBox::warning(this, windowTitle(), message);
        return false;
    }
};

} // namespace

std::optional<std::filesystem::path>
FileChooser::chooseFile(QWidget* owner, const FileFilter& filter, std::string_view title,
                        std::string_view defaultExtension, bool forSaving) {
    CheckedFileDialog dialog(owner, fromUtf8(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(fromUtf8(filter.description) + QStringLiteral(" (") +
                         fromUtf8(filter.pattern) + QStringLiteral(")"));
    dialog.setDefaultSuffix(fromUtf8(defaultExtension));
    // Only the previous call's choice is remembered: after a cancel the next
    // chooser starts again from the home folder.
    const QString initialFolder = std::exchange(lastFolder_, QString());
    const bool folderKnown = !initialFolder.isEmpty() && QFileInfo(initialFolder).isDir();
    dialog.setDirectory(folderKnown ? initialFolder : QDir::homePath());
    dialog.selectFile(QString());

    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) {
        return std::nullopt;
    }
    const QFileInfo chosen(files.first());
    lastFolder_ = chosen.absolutePath();
    return toFilesystemPath(chosen.absoluteFilePath());
}

std::optional<std::pair<std::filesystem::path, int>>
FileChooser::chooseFolderAndFormat(QWidget* owner, std::string_view title,
                                   const QStringList& formats) {
    QFileDialog dialog(owner, fromUtf8(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setNameFilters(formats);
    const QString initialFolder = std::exchange(lastFolder_, QString());
    const bool folderKnown = !initialFolder.isEmpty() && QFileInfo(initialFolder).isDir();
    dialog.setDirectory(folderKnown ? initialFolder : QDir::homePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QFileInfo chosen(dialog.selectedFiles().first());
    lastFolder_ = chosen.absoluteFilePath();
    return std::pair{toFilesystemPath(chosen.absoluteFilePath()),
                     std::max(0, static_cast<int>(formats.indexOf(dialog.selectedNameFilter())))};
}

} // namespace tarnwick
