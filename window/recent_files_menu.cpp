#include "window/recent_files_menu.h"

#include <QAction>
#include <QMenu>
#include <QSettings>

#include "controls/control_ids.h"
#include "window/path_text.h"

namespace tarnwick {

namespace {

const QString kStoreKey = QStringLiteral("recentFiles");

QStringList fileNames(const RecentFiles& recent) {
    QStringList names;
    for (const std::filesystem::path& path : recent.paths()) {
        names << toQtFileName(path);
    }
    return names;
}

} // namespace

RecentFilesMenu::RecentFilesMenu(QMenu& menu, std::shared_ptr<QSettings> store,
                                 std::function<void(Command)> runCommand)
    : menu_(menu), store_(std::move(store)), runCommand_(std::move(runCommand)) {
    kept_ = fileNames(RecentFiles(stored()));
}

std::vector<std::filesystem::path> RecentFilesMenu::stored() const {
    std::vector<std::filesystem::path> paths;
    if (store_) {
        for (const QString& name : store_->value(kStoreKey).toStringList()) {
            paths.push_back(toFilesystemPath(name));
        }
    }
    return paths;
}

void RecentFilesMenu::show(const RecentFiles& recent) {
    const QStringList names = fileNames(recent);
    if (store_ && names != kept_) {
        store_->setValue(kStoreKey, names);
        store_->sync();
    }
    kept_ = names;
    // The item that ran this command may still be emitting its signal, so the
    // old items go later.
    for (QAction* old : menu_.actions()) {
        menu_.removeAction(old);
        old->deleteLater();
    }
    for (int i = 0; i < names.size(); ++i) {
        // "&1" to "1&0": the number is the item's key; an "&" in a name is shown.
        QString number = QString::number(i + 1);
        number.insert(number.size() - 1, QLatin1Char('&'));
        QString shownName = names[i];
        shownName.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = menu_.addAction(number + QLatin1Char(' ') + shownName);
        const Command command = openRecentCommand(static_cast<int>(i));
        item->setData(static_cast<int>(command));
        QObject::connect(item, &QAction::triggered, &menu_,
                         [run = runCommand_, command] { run(command); });
    }
    menu_.setEnabled(!names.isEmpty());
}

} // namespace tarnwick
