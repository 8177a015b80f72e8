#include "cli/batch_commands.h"

#include <optional>
#include <ostream>
#include <vector>

#include "cli/exit_status.h"
#include "cli/score_json.h"
#include "cli/session_setup.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"

namespace tarnwick {

std::optional<Piece> openSession(const CommandOptions& options, std::ostream& err) {
    Piece piece{RandomGenerator(options.randSeed.value_or(tickCountMs())), {}, {}};
    const FileResult prepared = prepareSession(
        piece.random, settingsFileLoader(options.settingsPath), piece.settings, piece.score);
    if (!prepared.ok()) {
        err << "tarnwick: cannot load settings from " << prepared.message() << '\n';
        return std::nullopt;
    }
    return piece;
}

int reportWrite(const FileResult& written, std::ostream& err) {
    if (!written.ok()) {
        err << "tarnwick: cannot write " << written.message() << '\n';
        return kExitCannotWrite;
    }
    return kExitSuccess;
}

int printScore(const CommandOptions& options, std::ostream& out, std::ostream& err) {
    const std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    out << scoreToJson(piece->score) << '\n';
    return kExitSuccess;
}

int exportMidi(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    if (options.tracks) {
        const std::vector<LineEvent> events =
            buildLineEvents(piece->settings, piece->score, piece->random);
        return reportWrite(writeMidiTracksFile(options.outputPath, piece->settings, events,
                                               pieceNameForPath(options.outputPath)),
                           err);
    }
    const std::vector<MidiEvent> events =
        buildMidiEvents(piece->settings, piece->score, piece->random);
    return reportWrite(writeMidiFile(options.outputPath, piece->settings, events), err);
}

int saveSettings(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    const std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    return reportWrite(saveSettingsFile(options.outputPath, piece->settings), err);
}

} // namespace tarnwick
