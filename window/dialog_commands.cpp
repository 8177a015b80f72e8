#include "window/dialog_commands.h"

#include <string>
#include <system_error>

#include "composition/canon_generator.h"
#include "composition/randomisers.h"
#include "controls/control_ids.h"
#include "controls/control_panel.h"
#include "controls/controls_exchange.h"
#include "controls/seed_text.h"
#include "controls/window_title.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"
#include "playback/step_timer.h"
#include "playback/transport.h"

namespace tarnwick {

namespace {

// The caption of the message about a recent file that is gone.
constexpr std::string_view kOpenRecentTitle = "Open Recent";

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// "Could not save the settings to" + path + reason, as one message.
std::string failureMessage(std::string_view what, const std::filesystem::path& path,
                           std::string_view reason) {
    std::string message{what};
    message += "\n";
    message += utf8(path);
    if (!reason.empty()) {
        message += "\n\n";
        message += reason;
    }
    return message;
}

void nameWindowAfter(DialogContext& context, const std::filesystem::path& path) {
    context.host.setTitle(titleFromPath(path));
}

SettingsState shownState(const DialogContext& context) {
    return {capturePanel(context.panel), context.records.settings};
}

// Called by every command that replaces settings from outside the user's
// typing, before it does.
void rememberShownState(DialogContext& context) {
    context.records.history.remember(shownState(context));
}

// Undo or redo: the settings record and every control as they were. A running
// performance goes on, as after a save.
void stepThroughHistory(DialogContext& context, bool forward) {
    UndoHistory<SettingsState>& history = context.records.history;
    std::optional<SettingsState> target =
        forward ? history.redo(shownState(context)) : history.undo(shownState(context));
    if (!target) {
        return;
    }
    context.records.settings = target->settings;
    restorePanel(target->panel, context.panel);
}

// Compose the score from the controls and play it from step 0, also when
// already playing.
void play(DialogContext& context) {
    AppRecords& r = context.records;
    readControls(context.panel, r.settings);
    context.timer.stop(); // the player must never see a half-written score
    generateScore(r.settings, r.score);
    startPlayback(r.settings, r.score, r.playState, context.output, context.timer);
    r.startSettings = r.settings;
    r.clock.start(context.output, std::chrono::milliseconds(context.timer.periodMs()));
}

// Stop's messages, then the clock's Stop.
void stop(DialogContext& context) {
    stopPlayback(context.output, context.timer);
    context.records.clock.stop(context.output);
}

// A new seed in the seed box alone; the music goes on and hears it at the next
// Play.
void randomCanon(DialogContext& context) {
    rememberShownState(context);
    SongSettings& s = context.records.settings;
    drawSeed(s, context.records.random);
    context.panel.writeText(control::kSeed, formatSeed(s.seed, s.seedCount));
}

void randomAll(DialogContext& context) {
    rememberShownState(context);
    stop(context);
    randomiseAll(context.records.settings, context.records.random);
    writeControls(context.records.settings, context.panel);
}

// Saving writes what the controls show; playback goes on.
void save(DialogContext& context) {
    const auto path =
        context.host.chooseFile(kSettingsFilter, kSaveTitle, kSettingsExtension, true);
    if (!path) {
        return;
    }
    readControls(context.panel, context.records.settings);
    const FileResult result = saveSettingsFile(path->string(), context.records.settings);
    if (!result.ok()) {
        context.host.showError(
            kSaveTitle, failureMessage("Could not save the settings to", *path, result.reason));
        return;
    }
    nameWindowAfter(context, *path);
    context.records.recentFiles.add(*path);
}

void open(DialogContext& context) {
    const auto path =
        context.host.chooseFile(kSettingsFilter, kLoadTitle, kSettingsExtension, false);
    if (path) {
        openSettingsFile(context, *path);
    }
}

// A listed file that is gone leaves the list; any other failure to read it is
// reported as "&Open..." reports it, and the entry stays.
void openRecent(DialogContext& context, std::size_t index) {
    RecentFiles& recent = context.records.recentFiles;
    if (index >= recent.paths().size()) {
        return;
    }
    const std::filesystem::path path = recent.paths()[index];
    std::error_code error;
    if (std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found) {
        recent.remove(path);
        context.host.showError(kOpenRecentTitle,
                               failureMessage("Could not open", path,
                                              "The file no longer exists. It has been "
                                              "removed from the recent files."));
        return;
    }
    openSettingsFile(context, path);
}

// Exports the score of the last Play, timed and voiced by the current controls;
// playback goes on.
void saveMidi(DialogContext& context) {
    const auto path = context.host.chooseFile(kMidiFilter, kSaveTitle, kMidiExtension, true);
    if (!path) {
        return;
    }
    AppRecords& r = context.records;
    readControls(context.panel, r.settings);
    const std::vector<MidiEvent> events = buildMidiEvents(r.settings, r.score, r.random);
    const FileResult result = writeMidiFile(path->string(), r.settings, events);
    if (!result.ok()) {
        context.host.showError(
            kSaveTitle, failureMessage("Could not export the piece to", *path, result.reason));
        return;
    }
    nameWindowAfter(context, *path);
}

// Renders what "Save as Midi" would write into a sound file; playback goes on.
void saveAudio(DialogContext& context) {
    const auto path = context.host.chooseFile(kAudioFilter, kSaveTitle, kAudioExtension, true);
    if (!path) {
        return;
    }
    AppRecords& r = context.records;
    readControls(context.panel, r.settings);
    const std::vector<MidiEvent> events = buildMidiEvents(r.settings, r.score, r.random);
    const std::optional<FileResult> result = context.host.renderAudio(*path, r.settings, events);
    if (!result) {
        return;
    }
    if (!result->ok()) {
        context.host.showError(
            kSaveTitle, failureMessage("Could not render the piece to", *path, result->reason));
        return;
    }
    nameWindowAfter(context, *path);
}

} // namespace

// The file is read into a scratch record first: a file that cannot be read
// changes nothing, so unsaved edits in the controls and a running performance
// survive it.
bool openSettingsFile(DialogContext& context, const std::filesystem::path& path) {
    SongSettings loaded = context.records.settings;
    const FileResult result = loadSettingsFile(path.string(), loaded);
    if (!result.ok()) {
        context.host.showError(
            kLoadTitle, failureMessage("Could not load the settings from", path, result.reason));
        return false;
    }
    // Ticks went on while the chooser was open; Stop belongs to now.
    context.output.setMessageTime(SteadyClock::now());
    stop(context);
    rememberShownState(context);
    context.records.settings = loaded;
    writeControls(context.records.settings, context.panel);
    nameWindowAfter(context, path);
    context.records.recentFiles.add(path);
    return true;
}

void initialiseSession(DialogContext& context) {
    AppRecords& r = context.records;
    applyStartValues(r.settings, r.random);
    r.score.drumNotes.fill(0);
    writeControls(r.settings, context.panel);
}

void runCommand(DialogContext& context, std::uint32_t commandId) {
    // Messages a command sends (set-up, All Sound Off) belong to now, not to
    // the last tick.
    context.output.setMessageTime(SteadyClock::now());
    const int id = static_cast<int>(commandId & 0xFFFFu);
    switch (id) {
    case command::kCancel:
    case command::kExit:
        context.host.endDialog();
        break;
    case control::kPlay:
        play(context);
        break;
    case control::kStop:
        stop(context);
        break;
    case control::kRandomCanon:
        randomCanon(context);
        break;
    case control::kRandomAll:
        randomAll(context);
        break;
    case command::kSave:
        save(context);
        break;
    case command::kOpen:
        open(context);
        break;
    case command::kSaveMidi:
        saveMidi(context);
        break;
    case command::kSaveAudio:
        saveAudio(context);
        break;
    case command::kAbout:
        context.host.showAbout();
        break;
    case command::kUndo:
    case command::kRedo:
        stepThroughHistory(context, id == command::kRedo);
        break;
    default: { // "Open Recent", Enter (1) and everything else
        const int recent = id - command::kOpenRecent;
        if (recent >= 0 && recent < static_cast<int>(kRecentFileCount)) {
            openRecent(context, static_cast<std::size_t>(recent));
        }
        break;
    }
    }
}

void runTimerTick(DialogContext& context, SteadyClock::time_point idealTime) {
    AppRecords& r = context.records;
    playClockedStep(r.playState, r.score, r.settings, r.random, r.clock, context.output, idealTime);
}

void endSession(DialogContext& context) {
    context.output.setMessageTime(SteadyClock::now());
    stop(context);
}

} // namespace tarnwick
