#include "window/output_control.h"

#include <QMenu>

#include "controls/file_filters.h"
#include "window/output_menu.h"

namespace tarnwick {

namespace {

constexpr FileFilter kSoundFontFilter{"SoundFonts", "*.sf2 *.sf3"};

} // namespace

OutputControl::OutputControl(QMenu& menu, QWidget& owner, Parts parts)
    : owner_(owner), parts_(std::move(parts)),
      choice_(loadOutputPreferences(parts_.preferences.get())),
      menu_(new OutputMenu(menu, {.list = parts_.list,
                                  .choose = [this](const std::string& name) { choose(name); },
                                  .chooseSoundFont = [this] { chooseSoundFont(); },
                                  .sendClock = [this](bool on) { sendClock(on); }})) {}

OutputControl::~OutputControl() = default;

std::unique_ptr<MidiOutput> OutputControl::openRemembered() {
    auto output = parts_.open(choice_, true, parts_.report);
    menu_->show(choice_.output, choice_.midiClock);
    return output;
}

void OutputControl::choose(const std::string& name) {
    if (closed_ || name == choice_.output) {
        return;
    }
    choice_.output = name;
    rememberOutput(parts_.preferences.get(), name);
    switchToChoice();
}

void OutputControl::chooseSoundFont() {
    const auto path =
        soundFontChooser_.chooseFile(&owner_, kSoundFontFilter, "Choose SoundFont", "sf2", false);
    if (!path || closed_) {
        return;
    }
    choice_.soundFont = path->string();
    rememberSoundFont(parts_.preferences.get(), choice_.soundFont);
    if (choice_.output == kDefaultOutputName) {
        switchToChoice(); // the built-in synthesiser again, with the new font
    }
}

void OutputControl::sendClock(bool on) {
    if (closed_) {
        return;
    }
    choice_.midiClock = on;
    rememberMidiClock(parts_.preferences.get(), on);
    parts_.performance().setClockEnabled(on, SteadyClock::now());
}

void OutputControl::switchToChoice() {
    auto next = parts_.open(choice_, false, parts_.report);
    // The output left behind goes at once; it closes on a thread of its own
    // once its last messages are out (see WatchedOutput).
    parts_.performance().switchOutput(std::move(next), SteadyClock::now()).reset();
    menu_->show(choice_.output, choice_.midiClock);
}

} // namespace tarnwick
