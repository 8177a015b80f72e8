#include "window/output_menu.h"

#include <QMenu>
#include <QSignalBlocker>

namespace tarnwick {

namespace {

// A port's own name may hold '&', which a menu would take for a shortcut.
QString menuText(const std::string& text) {
    return QString::fromStdString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

OutputMenu::OutputMenu(QMenu& menu, Handlers handlers)
    : QObject(&menu), menu_(menu), handlers_(std::move(handlers)) {
    connect(&menu_, &QMenu::aboutToShow, this, [this] { rebuild(); });
    rebuild();
}

void OutputMenu::show(std::string inUse, bool clock) {
    inUse_ = std::move(inUse);
    clock_ = clock;
    // The items stay (one of them may be calling this); their checks change.
    for (QAction* item : menu_.actions()) {
        const QSignalBlocker quiet(item);
        if (item->data().isValid()) {
            item->setChecked(item->data().toString().toStdString() == inUse_);
        } else if (item->isCheckable()) {
            item->setChecked(clock_);
        }
    }
}

void OutputMenu::rebuild() {
    menu_.clear();
    const std::vector<OutputChoice> choices =
        handlers_.list ? handlers_.list() : std::vector<OutputChoice>{};
    for (const OutputChoice& choice : choices) {
        QAction* item = menu_.addAction(menuText(choice.label));
        item->setCheckable(true);
        item->setChecked(choice.name == inUse_);
        item->setData(QString::fromStdString(choice.name));
        connect(item, &QAction::triggered, this,
                [this, name = choice.name] { handlers_.choose(name); });
    }
    menu_.addSeparator();
    connect(menu_.addAction(tr("Choose &SoundFont...")), &QAction::triggered, this,
            [this] { handlers_.chooseSoundFont(); });
    QAction* clock = menu_.addAction(tr("Send MIDI &Clock"));
    clock->setCheckable(true);
    clock->setChecked(clock_);
    connect(clock, &QAction::toggled, this, [this](bool on) { handlers_.sendClock(on); });
}

} // namespace tarnwick
