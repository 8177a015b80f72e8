#pragma once
// The program's window: a modal dialog with a menu, the controls of the song
// settings, "Play" and "Stop", the piano roll of what plays, and a status line
// naming the output that plays.
// Every button, menu item and timer tick is routed to the commands of
// app/dialog_commands.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QDialog>

#include "midi/midi_output.h"
#include "playback/step_timer.h"
#include "window/dialog_commands.h"
#include "window/file_chooser.h"
#include "window/qt_control_panel.h"

class QLabel;

namespace Ui {
class MainDialog;
}

namespace tarnwick {

class PianoRollWidget;

// Reports the output's status text (UTF-8); may be called from any thread.
using StatusReport = std::function<void(std::string)>;
// Hands one timer tick, with its ideal time, to the dialog.
using TickHandler = std::function<void(SteadyClock::time_point)>;

// What the dialog is built from, so tests can put in doubles.
struct MainDialogParts {
    // Opens the MIDI output once the generator is seeded. The output reports
    // its status text at once and again whenever it changes (for instance when
    // a sound font has finished loading in the background); it must stop
    // reporting before its destructor returns.
    std::function<std::unique_ptr<MidiOutput>(StatusReport)> openOutput;
    // Makes the step timer, which calls the handler on every tick.
    std::function<std::unique_ptr<StepTimer>(TickHandler)> makeTimer;
    // Seeds the random generator (the tick count at start).
    std::uint32_t randomSeed = 0;
};

class MainDialog : public QDialog, private DialogHost {
    Q_OBJECT

  public:
    explicit MainDialog(MainDialogParts parts, QWidget* parent = nullptr);
    ~MainDialog() override;

    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Carries out a command by id (the buttons' and menu items' ids).
    void runCommand(int commandId);

    // One tick of the step timer.
    void timerTick(SteadyClock::time_point idealTime);

    // True once the dialog has ended: playback stopped, output closed.
    bool isFinished() const { return finished_; }

    // For tests and tools.
    QtControlPanel& panel() { return *panel_; }
    AppRecords& records() { return records_; }
    FileChooser& fileChooser() { return chooser_; }
    StepTimer& stepTimer() { return *timer_; }
    PianoRollWidget& pianoRoll() { return *roll_; }
    QString statusText() const;

  public slots:
    // Esc and the close box end the dialog (command 2).
    void reject() override;
    // Enter never ends the dialog: there is no default button.
    void accept() override;

  private:
    std::optional<std::filesystem::path> chooseFile(const FileFilter& filter,
                                                    std::string_view title,
                                                    std::string_view defaultExtension,
                                                    bool forSaving) override;
    void showError(std::string_view title, std::string_view message) override;
    void setTitle(std::string_view title) override;
    void showAbout() override;
    void endDialog() override;

    void placePianoRoll();
    void prepareWidgets();
    void buildMenu();
    void fillLists();
    void setStatusText(const QString& text);
    // Stops playback and closes the output, once.
    void finish();
    DialogContext context();

    std::unique_ptr<Ui::MainDialog> ui_;
    std::unique_ptr<QtControlPanel> panel_;
    AppRecords records_;
    FileChooser chooser_;
    std::unique_ptr<StepTimer> timer_;
    std::unique_ptr<MidiOutput> output_;
    QLabel* statusLine_ = nullptr;
    PianoRollWidget* roll_ = nullptr;
    bool finished_ = false;
};

} // namespace tarnwick
