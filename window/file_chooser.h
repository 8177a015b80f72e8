#pragma once
// The program's one file chooser: Qt's own (non-native) file dialog with a
// single filter entry, run modally over the main window.

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include <QString>
#include <QStringList>

#include "controls/file_filters.h"

class QWidget;

namespace tarnwick {

class FileChooser {
  public:
    // Asks the user for a file; the full path, or nothing when the user
    // cancels. The dialog has the given title and filter, proposes no file
    // name and opens in the folder of the file the previous call returned (the
    // home folder at first, and after a cancelled call). A name typed without an extension gets
    // defaultExtension. forSaving: asks before replacing an existing file and refuses a folder that
    // does not exist, a read-only file and a write-protected folder. Otherwise: accepts only a file
    // that exists.
    std::optional<std::filesystem::path> chooseFile(QWidget* owner, const FileFilter& filter,
                                                    std::string_view title,
                                                    std::string_view defaultExtension,
                                                    bool forSaving);

    // Asks the user for an existing folder and one of `formats` (each a
    // filter entry, as "WAV (*.wav)"); the folder and the index of the
    // format, or nothing when the user cancels. Opens where chooseFile would.
    std::optional<std::pair<std::filesystem::path, int>>
    chooseFolderAndFormat(QWidget* owner, std::string_view title, const QStringList& formats);

    // The folder the next chooser opens in; empty before the first choice and
    // after a cancel.
    const QString& lastFolder() const { return lastFolder_; }

    // Opens the next chooser in this folder, as if a file in it had been chosen.
    void startIn(const QString& folder) { lastFolder_ = folder; }

  private:
    QString lastFolder_;
};

} // namespace tarnwick
