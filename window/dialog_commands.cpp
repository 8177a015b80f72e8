#include "window/dialog_commands.h"

#include <cstdio>
#include <string>
#include <system_error>

#include "composition/randomisers.h"
#include "controls/control_ids.h"
#include "controls/control_panel.h"
#include "controls/controls_exchange.h"
#include "controls/seed_text.h"
#include "controls/window_title.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"

namespace tarnwick {

namespace {

// The caption of the message about a recent file that is gone.
constexpr std::string_view kOpenRecentTitle = "Open Recent";
constexpr std::string_view kStemsTitle = "Save Stems";

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
    return {capturePanel(context.panel), context.records.piece.settings};
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
    context.records.piece.settings = target->settings;
    restorePanel(target->panel, context.panel);
}

// Compose the score from the controls and play it from step 0, also when
// already playing; or start the timeline followed.
void play(DialogContext& context) {
    readControls(context.panel, context.records.piece.settings);
    if (!context.host.playFollowed()) {
        context.performance.play(context.now);
    }
}

// A new seed in the seed box alone; the music goes on and hears it at the next
// Play.
void randomCanon(DialogContext& context) {
    rememberShownState(context);
    SongSettings& s = context.records.piece.settings;
    drawSeed(s, context.records.piece.random);
    context.panel.writeText(control::kSeed, formatSeed(s.seed, s.seedCount));
}

void randomAll(DialogContext& context) {
    rememberShownState(context);
    context.performance.stop(context.now);
    Piece& piece = context.records.piece;
    randomiseAll(piece.settings, piece.random);
    writeControls(piece.settings, context.panel);
}

// Saving writes what the controls show; playback goes on.
void save(DialogContext& context) {
    const auto path =
        context.host.chooseFile(kSettingsFilter, kSaveTitle, kSettingsExtension, true);
    if (!path) {
        return;
    }
    readControls(context.panel, context.records.piece.settings);
    const FileResult result = saveSettingsFile(path->string(), context.records.piece.settings);
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
    Piece& piece = context.records.piece;
    readControls(context.panel, piece.settings);
    const std::vector<MidiEvent> events =
        buildMidiEvents(piece.settings, piece.score, piece.random);
    const FileResult result = writeMidiFile(path->string(), piece.settings, events);
    if (!result.ok()) {
        context.host.showError(
            kSaveTitle, failureMessage("Could not export the piece to", *path, result.reason));
        return;
    }
    nameWindowAfter(context, *path);
}

// "Save as Midi" with one track per line, named after the file.
void saveMidiTracks(DialogContext& context) {
    const auto path = context.host.chooseFile(kMidiFilter, kSaveTitle, kMidiExtension, true);
    if (!path) {
        return;
    }
    Piece& piece = context.records.piece;
    readControls(context.panel, piece.settings);
    const std::vector<LineEvent> events =
        buildLineEvents(piece.settings, piece.score, piece.random);
    const FileResult result = writeMidiTracksFile(path->string(), piece.settings, events,
                                                  pieceNameForPath(path->string()));
    if (!result.ok()) {
        context.host.showError(
            kSaveTitle, failureMessage("Could not export the piece to", *path, result.reason));
        return;
    }
    nameWindowAfter(context, *path);
}

// Renders each line of what "Save as Midi" would write into a sound file of
// its own; playback goes on. Says by how much their gain was lowered, if it was.
void saveStems(DialogContext& context) {
    const std::optional<StemsTarget> target = context.host.chooseStemsTarget();
    if (!target) {
        return;
    }
    Piece& piece = context.records.piece;
    readControls(context.panel, piece.settings);
    const std::vector<LineEvent> events =
        buildLineEvents(piece.settings, piece.score, piece.random);
    const std::optional<StemsOutcome> outcome =
        context.host.renderStems(*target, piece.settings, events);
    if (!outcome) {
        return;
    }
    if (!outcome->result.ok()) {
        context.host.showError(kStemsTitle,
                               failureMessage("Could not render the stems to", target->folder,
                                              outcome->result.message()));
        return;
    }
    if (outcome->gainDb < 0.0) {
        char amount[32];
        std::snprintf(amount, sizeof amount, "%.1f", -outcome->gainDb);
        context.host.showInformation(
            kStemsTitle, std::string("The stems are ") + amount +
                             " dB quieter than the mix, so that none of them peaks above "
                             "-1 dBFS. Together they still sound as the mix does.");
    }
}

// Renders what "Save as Midi" would write into a sound file; playback goes on.
void saveAudio(DialogContext& context) {
    const auto path = context.host.chooseFile(kAudioFilter, kSaveTitle, kAudioExtension, true);
    if (!path) {
        return;
    }
    Piece& piece = context.records.piece;
    readControls(context.panel, piece.settings);
    const std::vector<MidiEvent> events =
        buildMidiEvents(piece.settings, piece.score, piece.random);
    const std::optional<FileResult> result =
        context.host.renderAudio(*path, piece.settings, events);
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
    SongSettings loaded = context.records.piece.settings;
    const FileResult result = loadSettingsFile(path.string(), loaded);
    if (!result.ok()) {
        context.host.showError(
            kLoadTitle, failureMessage("Could not load the settings from", path, result.reason));
        return false;
    }
    // Ticks went on while the chooser was open; Stop belongs to now.
    context.performance.stop(SteadyClock::now());
    rememberShownState(context);
    context.records.piece.settings = loaded;
    writeControls(loaded, context.panel);
    nameWindowAfter(context, path);
    context.records.recentFiles.add(path);
    return true;
}

void initialiseSession(DialogContext& context) {
    Piece& piece = context.records.piece;
    applyStartValues(piece.settings, piece.random);
    piece.score.drumNotes.fill(0);
    writeControls(piece.settings, context.panel);
}

void runCommand(DialogContext& context, Command command) {
    context.performance.setMessageTime(context.now);
    switch (command) {
    case Command::Cancel:
    case Command::Exit:
        context.host.endDialog();
        break;
    case Command::Play:
        play(context);
        break;
    case Command::Stop:
        if (!context.host.stopFollowed()) {
            context.performance.stop(context.now);
        }
        break;
    case Command::RandomCanon:
        randomCanon(context);
        break;
    case Command::RandomAll:
        randomAll(context);
        break;
    case Command::Save:
        save(context);
        break;
    case Command::Open:
        open(context);
        break;
    case Command::SaveMidi:
        saveMidi(context);
        break;
    case Command::SaveAudio:
        saveAudio(context);
        break;
    case Command::SaveMidiTracks:
        saveMidiTracks(context);
        break;
    case Command::SaveStems:
        saveStems(context);
        break;
    case Command::About:
        context.host.showAbout();
        break;
    case Command::Undo:
    case Command::Redo:
        stepThroughHistory(context, command == Command::Redo);
        break;
    default: // "Open Recent", Enter and every number that names no command
        if (const auto index = recentFileIndex(command, kRecentFileCount)) {
            openRecent(context, *index);
        }
        break;
    }
}

void endSession(DialogContext& context) {
    context.performance.stop(SteadyClock::now());
}

} // namespace tarnwick
