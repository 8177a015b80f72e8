#pragma once
// The "Open Recent" submenu of the file menu, and the list behind it kept
// across runs in QSettings.

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <QStringList>

#include "controls/control_ids.h"
#include "controls/recent_files.h"

class QMenu;
class QSettings;

namespace tarnwick {

class RecentFilesMenu {
  public:
    // Entry i of the menu runs the command "Open Recent" of entry i. Without a
    // store the list lasts for this run only.
    RecentFilesMenu(QMenu& menu, std::shared_ptr<QSettings> store,
                    std::function<void(Command)> runCommand);

    // The list as the last run left it.
    std::vector<std::filesystem::path> stored() const;

    // Shows the list, newest first, and keeps it when it changed; the menu is
    // disabled while the list is empty.
    void show(const RecentFiles& recent);

  private:
    QMenu& menu_;
    std::shared_ptr<QSettings> store_;
    std::function<void(Command)> runCommand_;
    QStringList kept_; // what the store holds
};

} // namespace tarnwick
