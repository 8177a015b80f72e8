#pragma once
// The window's choice of where it plays: opens the output remembered from the
// last run, carries out the Output menu's items (another output, a SoundFont,
// MIDI clock on or off), keeps each choice in the preferences, and moves a
// running performance to the output chosen.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "outputs/output_factory.h"
#include "window/dialog_commands.h"
#include "window/file_chooser.h"
#include "window/output_preferences.h"

class QMenu;
class QSettings;
class QWidget;

namespace tarnwick {

class OutputMenu;

// Reports the output's status text (UTF-8); may be called from any thread.
using StatusReport = std::function<void(std::string)>;
// Opens the output `choice` names; see MainDialogParts::openOutput.
using OpenOutput = std::function<std::unique_ptr<MidiOutput>(OutputPreferences& choice,
                                                             bool atStart, StatusReport report)>;

class OutputControl {
  public:
    struct Parts {
        OpenOutput open;
        std::function<std::vector<OutputChoice>()> list;
        std::shared_ptr<QSettings> preferences; // may be null
        StatusReport report;
        // The performance that plays through the output chosen.
        std::function<Performance&()> performance;
    };

    // Fills `menu`; the SoundFont chooser opens over `owner`.
    OutputControl(QMenu& menu, QWidget& owner, Parts parts);
    ~OutputControl();
    OutputControl(const OutputControl&) = delete;
    OutputControl& operator=(const OutputControl&) = delete;

    // The output to play through, which the menu can replace later: the
    // remembered one, or the built-in synthesiser when that cannot open now.
    // Once, before the menu is used.
    std::unique_ptr<MidiOutput> openRemembered();

    // The SoundFont chosen for the built-in synthesiser; empty: the default.
    const std::string& soundFont() const { return choice_.soundFont; }

    // Whether MIDI clock is to be sent, as remembered.
    bool clockEnabled() const { return choice_.midiClock; }

    // The window has ended: the menu's items do nothing any more.
    void close() { closed_ = true; }

  private:
    void choose(const std::string& name);
    void chooseSoundFont();
    void sendClock(bool on);
    // Opens the output of choice_ and moves the performance there.
    void switchToChoice();

    QWidget& owner_;
    Parts parts_;
    OutputPreferences choice_; // what plays now
    OutputMenu* menu_;
    FileChooser soundFontChooser_;
    bool closed_ = false;
};

} // namespace tarnwick
