#pragma once
// The program's window: a modal dialog with a menu, the controls of the song
// settings, "Play" and "Stop", the piano roll of what plays, and a status line
// naming the output that plays, which the Output menu chooses.
// Every button, menu item and timer tick is routed to the commands of
// window/dialog_commands.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QDialog>

#include "midi/midi_output.h"
#include "playback/step_timer.h"
#include "playback/switched_step_timer.h"
#include "synth/soundfont_locator.h"
#include "window/dialog_commands.h"
#include "window/file_chooser.h"
#include "window/output_control.h"
#include "window/qt_control_panel.h"
#include "window/recent_files_menu.h"
#include "window/tempo_control.h"

class QAction;
class QLabel;
class QMenu;
class QSettings;

namespace Ui {
class MainDialog;
}

namespace tarnwick {

class PianoRollWidget;

// Hands one timer tick, with its ideal time, to the dialog.
using TickHandler = std::function<void(SteadyClock::time_point)>;

// What the dialog is built from, so tests can put in doubles.
struct MainDialogParts {
    // Opens the MIDI output `choice` names (choice.output, as --output takes
    // it, with its SoundFont), first once the generator is seeded, then for
    // each choice made in the Output menu. The output reports its status text
    // at once and again whenever it changes (for instance when a sound font has
    // finished loading in the background); it must stop reporting before its
    // destructor returns. At the start (`atStart`), an output that cannot be
    // opened gives way to the built-in synthesiser: choice.output then says so
    // and the status tells why.
    OpenOutput openOutput;
    // The outputs that can be opened now, as the Output menu lists them.
    std::function<std::vector<OutputChoice>()> listOutputs;
    // Makes the step timer, which calls the handler on every tick.
    std::function<std::unique_ptr<StepTimer>(TickHandler)> makeTimer;
    // Seeds the random generator (the tick count at start).
    std::uint32_t randomSeed = 0;
    // Where the window's preferences are kept between runs (the output, its
    // SoundFont, the clock, the recent files); without it they last for this
    // run only.
    std::shared_ptr<QSettings> preferences;
    // The SoundFont "Save as Audio" renders with when none was chosen in the
    // Output menu; empty when there is none.
    std::function<std::string()> soundFont = [] { return findSoundFont(defaultSoundFontPaths()); };
};

class MainDialog : public QDialog, private DialogHost {
    Q_OBJECT

  public:
    explicit MainDialog(MainDialogParts parts, QWidget* parent = nullptr);
    ~MainDialog() override;

    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Carries out a command (a button's or a menu item's).
    void runCommand(Command command);

    // One tick of the step timer.
    void timerTick(SteadyClock::time_point idealTime);

    // Opens a settings file as "&Open..." does once its chooser returned the
    // path, the chooser's folder included: for a file named at start.
    void openFile(const std::filesystem::path& path);

    // True once the dialog has ended: playback stopped, output closed.
    bool isFinished() const { return finished_; }

    // For tests and tools.
    QtControlPanel& panel() { return *panel_; }
    AppRecords& records() { return records_; }
    Performance& performance() { return *performance_; }
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
    std::optional<FileResult> renderAudio(const std::filesystem::path& path,
                                          const SongSettings& settings,
                                          const std::vector<MidiEvent>& events) override;
    std::optional<StemsTarget> chooseStemsTarget() override;
    std::optional<StemsOutcome> renderStems(const StemsTarget& target, const SongSettings& settings,
                                            const std::vector<LineEvent>& events) override;
    void showInformation(std::string_view title, std::string_view message) override;
    void showError(std::string_view title, std::string_view message) override;
    void setTitle(std::string_view title) override;
    void showAbout() override;
    void endDialog() override;
    bool playFollowed() override;
    bool stopFollowed() override;

    void placePianoRoll();
    void prepareWidgets();
    void buildMenu(MainDialogParts& parts);
    void reportStatus(std::string text);
    // The tempo followed, or why not; empty while the tempo is Internal.
    void reportTempo(std::string text);
    void fillLists();
    void setStatusText(const QString& text);
    // The piano roll and the menus as the command left them.
    void showResultOf(Command command);
    // Undo, Redo and "Open Recent".
    void showHistory();
    // Stops playback and closes the output, once.
    void finish();
    DialogContext context();

    std::unique_ptr<Ui::MainDialog> ui_;
    std::function<std::string()> soundFont_;
    std::unique_ptr<QtControlPanel> panel_;
    AppRecords records_;
    FileChooser chooser_;
    std::unique_ptr<StepTimer> timer_;
    std::unique_ptr<SwitchedStepTimer> switched_;
    std::unique_ptr<Performance> performance_;
    std::unique_ptr<OutputControl> outputs_;
    QMenu* tempoMenu_ = nullptr;
    std::unique_ptr<TempoControl> tempo_;
    QLabel* statusLine_ = nullptr;
    QString outputStatus_;
    QString tempoStatus_;
    QAction* undoItem_ = nullptr;
    QAction* redoItem_ = nullptr;
    std::unique_ptr<RecentFilesMenu> recentMenu_;
    PianoRollWidget* roll_ = nullptr;
    bool finished_ = false;
};

} // namespace tarnwick
