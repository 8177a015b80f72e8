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

std::optional<Session> openSession(const CommandOptions& options, std::ostream& err) {
    Session session{RandomGenerator(options.randSeed.value_or(tickCountMs())), {}, {}};
    const FileResult prepared = prepareSession(
        session.random, settingsFileLoader(options.settingsPath), session.settings, session.score);
    if (!prepared.ok()) {
        err << "tarnwick: cannot load settings from " << prepared.message() << '\n';
        return std::nullopt;
    }
    return session;
}

int reportWrite(const FileResult& written, std::ostream& err) {
    if (!written.ok()) {
        err << "tarnwick: cannot write " << written.message() << '\n';
        return kExitCannotWrite;
    }
    return kExitSuccess;
}

int printScore(const CommandOptions& options, std::ostream& out, std::ostream& err) {
    const std::optional<Session> session = openSession(options, err);
    if (!session) {
        return kExitUsage;
    }
    out << scoreToJson(session->score) << '\n';
    return kExitSuccess;
}

int exportMidi(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    std::optional<Session> session = openSession(options, err);
    if (!session) {
        return kExitUsage;
    }
    const std::vector<MidiEvent> events =
        buildMidiEvents(session->settings, session->score, session->random);
    return reportWrite(writeMidiFile(options.outputPath, session->settings, events), err);
}

int saveSettings(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    const std::optional<Session> session = openSession(options, err);
    if (!session) {
        return kExitUsage;
    }
    return reportWrite(saveSettingsFile(options.outputPath, session->settings), err);
}

} // namespace tarnwick
