#pragma once
// The main dialog's commands: what "Play", "Stop", the randomisers, the file
// menu, the timer and the dialog's end do to the app's records, the controls
// and the performance. Plain C++: the Qt dialog routes its buttons, menu items
// and timer ticks here, and tests drive it directly.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "controls/control_ids.h"
#include "controls/file_filters.h"
#include "controls/panel_snapshot.h"
#include "controls/recent_files.h"
#include "controls/undo_history.h"
#include "files/file_result.h"
#include "files/midi_events.h"
#include "playback/performance.h"

namespace tarnwick {

class ControlPanel;

// Everything the program owns apart from the window and the performance: the
// piece, what undo can return to, and the settings files used last.
struct AppRecords {
    Piece piece;
    UndoHistory<SettingsState> history;
    RecentFiles recentFiles;
};

// Where "Save Stems" writes: a folder, and the files' extension (the format).
struct StemsTarget {
    std::filesystem::path folder;
    std::string extension; // "wav", "flac" or "ogg"
};

// What writing the stems came to: the result, and the gain they share, in
// dB against the mix's (below 0 when it had to be lowered).
struct StemsOutcome {
    FileResult result;
    double gainDb = 0.0;
};

// What the commands need from the window they run in.
class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // Runs the modal file chooser; nothing when the user cancels. Timer ticks
    // go on being delivered while it is open.
    virtual std::optional<std::filesystem::path> chooseFile(const FileFilter& filter,
                                                            std::string_view title,
                                                            std::string_view defaultExtension,
                                                            bool forSaving) = 0;

    // Renders the piece, as these settings and events give it, into a sound
    // file at `path`, showing its progress; timer ticks go on being delivered
    // meanwhile. Nothing when the user cancelled (no file is left then).
    virtual std::optional<FileResult> renderAudio(const std::filesystem::path& path,
                                                  const SongSettings& settings,
                                                  const std::vector<MidiEvent>& events) = 0;

    // Asks for the stems' folder and format; nothing when the user cancels.
    virtual std::optional<StemsTarget> chooseStemsTarget() = 0;

    // Renders each line into a file of its own in the target folder, as
    // renderAudio does the mix. Nothing when the user cancelled.
    virtual std::optional<StemsOutcome> renderStems(const StemsTarget& target,
                                                    const SongSettings& settings,
                                                    const std::vector<LineEvent>& events) = 0;

    // A modal message box telling the user something worth knowing.
    virtual void showInformation(std::string_view title, std::string_view message) = 0;

    // A modal message box telling the user that a command failed.
    virtual void showError(std::string_view title, std::string_view message) = 0;

    // The main window's title (UTF-8).
    virtual void setTitle(std::string_view title) = 0;

    // The modal About dialog.
    virtual void showAbout() = 0;

    // Ends the main dialog; the caller then stops playback and closes the
    // output (endSession).
    virtual void endDialog() = 0;

    // "Play" and "Stop" while the performance follows another program's
    // timeline: true when they went to that timeline (which then starts or
    // stops the performance) instead of the performance.
    virtual bool playFollowed() { return false; }
    virtual bool stopFollowed() { return false; }
};

// The parts one command works on, all owned by the caller.
struct DialogContext {
    AppRecords& records;
    ControlPanel& panel;
    Performance& performance;
    DialogHost& host;
    // The moment the command belongs to: the messages it sends (set-up, All
    // Sound Off) are timed from here, not from the last tick.
    SteadyClock::time_point now = SteadyClock::now();
};

// The start of the dialog, once the generator is seeded, the output is open
// and the lists of the combo boxes are filled: a freshly drawn seed, the start
// values, no drum notes, every control written.
void initialiseSession(DialogContext& context);

// What "&Open..." does once a file is chosen: the file is read; if that fails,
// an error message and nothing else. Otherwise playback stops, undo remembers
// the controls, the controls show the file's settings, the window is named
// after the file and the file heads the recent files. True when it loaded.
bool openSettingsFile(DialogContext& context, const std::filesystem::path& path);

// Carries out one command. Ids that name no command, Enter (1) included, do
// nothing.
void runCommand(DialogContext& context, Command command);

// The end of the dialog: playback stops (All Sound Off, then the clock's Stop).
// The caller closes the output afterwards.
void endSession(DialogContext& context);

} // namespace tarnwick
