#pragma once
// The window's "&Output" menu: the outputs that can be opened now (the list is
// read again each time the menu opens) with a check mark on the one in use,
// then "Choose &SoundFont..." for the built-in synthesiser and the check item
// "Send MIDI &Clock". What the items do is the dialog's.

#include <functional>
#include <string>
#include <vector>

#include <QObject>

#include "outputs/output_factory.h"

class QMenu;

namespace tarnwick {

class OutputMenu final : public QObject {
  public:
    struct Handlers {
        std::function<std::vector<OutputChoice>()> list;
        std::function<void(const std::string& name)> choose;
        std::function<void()> chooseSoundFont;
        std::function<void(bool on)> sendClock;
    };

    OutputMenu(QMenu& menu, Handlers handlers);

    // The output in use, which gets the check mark, and the clock's state.
    void show(std::string inUse, bool clock);

  private:
    void rebuild();

    QMenu& menu_;
    Handlers handlers_;
    std::string inUse_;
    bool clock_ = false;
};

} // namespace tarnwick
