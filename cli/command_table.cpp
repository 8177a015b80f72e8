#include "cli/command_table.h"

#include <algorithm>
#include <ostream>

#include "cli/batch_commands.h"
#include "cli/exit_status.h"
#include "cli/option_values.h"
#ifdef TARNWICK_HAS_DRAW_COMMAND
#include "cli/draw_score_command.h"
#endif
#ifdef TARNWICK_HAS_PLAY_COMMAND
#include "cli/play_command.h"
#include "cli/render_command.h"
#endif

namespace tarnwick {

namespace {

std::string quoted(std::string_view value) {
    return "'" + std::string(value) + "'";
}

UsageProblem readSettingsPath(std::string_view value, CommandOptions& options) {
    options.settingsPath = std::string(value);
    return std::nullopt;
}

UsageProblem readRandSeed(std::string_view value, CommandOptions& options) {
    if (!isDecimalInteger(value)) {
        return "--rand-seed needs a decimal integer, not " + quoted(value);
    }
    options.randSeed = parseRandSeed(value);
    if (!options.randSeed) {
        return "--rand-seed needs a number from -2147483648 to 4294967295, not " + quoted(value);
    }
    return std::nullopt;
}

UsageProblem readTracks(std::string_view /*value*/, CommandOptions& options) {
    options.tracks = true;
    return std::nullopt;
}

#ifdef TARNWICK_HAS_PLAY_COMMAND
UsageProblem readSeconds(std::string_view value, CommandOptions& options) {
    options.seconds = parseSeconds(value);
    if (!options.seconds) {
        return "--seconds needs a number of seconds above 0, not " + quoted(value);
    }
    return std::nullopt;
}

UsageProblem readTicks(std::string_view value, CommandOptions& options) {
    options.ticks = parseTicks(value);
    if (!options.ticks) {
        return "--ticks needs a whole number of ticks, not " + quoted(value);
    }
    return std::nullopt;
}

UsageProblem readSoundFont(std::string_view value, CommandOptions& options) {
    options.soundFont = std::string(value);
    return std::nullopt;
}

UsageProblem readFormat(std::string_view value, CommandOptions& options) {
    options.audioFormat = std::string(value);
    return std::nullopt;
}

UsageProblem readMidiClock(std::string_view /*value*/, CommandOptions& options) {
    options.midiClock = true;
    return std::nullopt;
}

UsageProblem readSync(std::string_view value, CommandOptions& options) {
    if (const std::optional<std::string_view> port = clockPortOf(value)) {
        options.sync = TempoSource::MidiClockIn;
        options.clockPort = std::string(*port);
        return std::nullopt;
    }
    const std::optional<TempoSource> source = parseTempoSource(value);
    if (!source || *source == TempoSource::MidiClockIn) {
        return "--sync needs one of " + std::string(kTempoSourceNames) + ", not " + quoted(value);
    }
    options.sync = *source;
    return std::nullopt;
}

UsageProblem readStepsPerBeat(std::string_view value, CommandOptions& options) {
    const int steps = value == "8" ? 8 : value == "4" ? 4 : value == "2" ? 2 : 0;
    if (!isStepsPerBeat(steps)) {
        return "--steps-per-beat needs 8, 4 or 2, not " + quoted(value);
    }
    options.stepsPerBeat = steps;
    return std::nullopt;
}

UsageProblem readJackTimebase(std::string_view /*value*/, CommandOptions& options) {
    options.jackTimebase = true;
    return std::nullopt;
}
#endif

int printVersion(const CommandOptions& /*options*/, std::ostream& out, std::ostream& /*err*/) {
    out << "tarnwick " << TARNWICK_VERSION << '\n';
    return kExitSuccess;
}

const OptionEntry kOptions[] = {
    {"settings", "FILE.tarn", "start from a saved settings file", "a settings file",
     readSettingsPath},
    {"rand-seed", "N", "seed the random generator with N (default: the clock)", "a number",
     readRandSeed},
    {"tracks", "", "one track per line (voices, harmony, drums)", "", readTracks},
#ifdef TARNWICK_HAS_PLAY_COMMAND
    {"seconds", "S", "play for S seconds (default: until Ctrl-C)", "a value", readSeconds},
    {"ticks", "T", "play T steps back to back without waiting, then stop", "a value", readTicks},
    {"output", "NAME",
     "builtin (default), port:NAME, virtual (the port\n"
     "Tarnwick that others connect to), none, or trace\n"
     "(every message to standard output, one line each:\n"
     "\"<tick> <status> <data1> <data2>\")",
     "a value", readOutputName},
    {"soundfont", "FILE", "a .sf2 or .sf3 file for the built-in synthesiser", "a value",
     readSoundFont},
    {"format", "wav|flac|ogg", "the stems' sound file format (default: wav)", "a value",
     readFormat},
    {"midi-clock", "", "send MIDI clock to the port: Start, 24 pulses a\nquarter note, Stop", "",
     readMidiClock},
    {"sync", "SOURCE",
     "where the tempo and the steps come from: internal\n"
     "(default: a step every \"ms per\"), jack (follow\n"
     "the JACK transport: rolling plays, stopping stops),\n"
     "clock:PORT (follow the MIDI clock of a JACK MIDI\n"
     "port: Start plays, Stop stops) or link (join the\n"
     "Ableton Link session: its tempo, its bars of four\n"
     "beats, its start and stop)",
     "a value", readSync},
    {"steps-per-beat", "N",
     "steps in a quarter note: 8 (default, a step is\n"
     "1/32), 4 (1/16) or 2 (1/8)",
     "a value", readStepsPerBeat},
    {"jack-timebase", "",
     "be the JACK timebase master at the \"ms per\" tempo\n(with --sync internal)", "",
     readJackTimebase},
#endif
};

const HelpPage kMidiPage{
    "Write the piece as a Standard MIDI File, as \"Save as Midi\" in the window does\n"
    "after \"Play\"; with --tracks one track per line (voice 1, voice 2, the\n"
    "harmony while its offset is not 0, voice 3, the drums), as \"Save as Midi\n"
    "(Tracks)...\" does."};

#ifdef TARNWICK_HAS_PLAY_COMMAND
const HelpPage kPlayPage{
    "Play the piece as \"Play\" in the window does, until S seconds have passed or\n"
    "Ctrl-C, then stop as \"Stop\" does."};

const HelpPage kRenderPage{
    "Render the piece that --export-midi writes with the built-in synthesiser, as\n"
    "fast as the machine allows, into a 44.1 kHz stereo file: WAV or FLAC (16-bit)\n"
    "or Ogg Vorbis, by the name's extension. The sound lasts the 1024 steps and\n"
    "2 seconds more. Ctrl-C stops it and leaves no file (exit status 130)."};

const HelpPage kStemsPage{
    "Render each line of the piece into a sound file of its own in the folder DIR,\n"
    "in one pass: voice1, voice2, harmony (while its offset is not 0), voice3 and\n"
    "drums, as WAV (default), FLAC or Ogg Vorbis files as long as --render-audio's.\n"
    "They add up to the mix before its limiter; they share its gain, lowered only\n"
    "as far as keeps every stem at or below -1 dBFS. Ctrl-C leaves no file (130)."};
#endif

// In the order the help lists them.
const std::vector<CommandEntry>& commands() {
    static const std::vector<CommandEntry> table{
        {.name = "print-score",
         .help = "print the score as one line of JSON",
         .takes = {{"settings"}, {"rand-seed"}},
         .run = printScore},
#ifdef TARNWICK_HAS_DRAW_COMMAND
        {.name = "draw-score",
         .valueName = "OUT.svg|OUT.png",
         .help = "draw the score as a piano roll image",
         .takes = {{"settings"}, {"rand-seed"}},
         .check = checkDrawScoreOptions,
         .run = drawScore},
#endif
        {.name = "export-midi",
         .valueName = "OUT.mid",
         .help = "write the piece as a Standard MIDI File",
         .takes = {{"settings"}, {"rand-seed"}, {"tracks"}},
         .page = &kMidiPage,
         .run = exportMidi},
        {.name = "save-settings",
         .valueName = "OUT.tarn",
         .help = "write the settings, as the dialog would read them back",
         .takes = {{"settings"}, {"rand-seed"}},
         .run = saveSettings},
#ifdef TARNWICK_HAS_PLAY_COMMAND
        {.name = "play",
         .help = "play the piece, looping",
         .takes = {{"settings"},
                   {"rand-seed"},
                   {"seconds", "ticks"},
                   {"output"},
                   {"soundfont"},
                   {"midi-clock"},
                   {"sync"},
                   {"steps-per-beat"},
                   {"jack-timebase"}},
         .page = &kPlayPage,
         .check = checkPlayOptions,
         .run = playPiece},
        {.name = "render-audio",
         .valueName = "OUT.wav|OUT.flac|OUT.ogg",
         .help = "render the piece to a sound file",
         .takes = {{"settings"}, {"rand-seed"}, {"soundfont"}},
         .page = &kRenderPage,
         .check = checkRenderOptions,
         .run = renderAudio},
        {.name = "render-stems",
         .valueName = "DIR",
         .help = "render each line to a sound file of its own in DIR",
         .takes = {{"settings"}, {"rand-seed"}, {"soundfont"}, {"format"}},
         .page = &kStemsPage,
         .check = checkStemsOptions,
         .run = renderStems},
        {.name = "list-outputs",
         .help = "list the outputs that can be opened now",
         .page = &kPlayPage,
         .run = listOutputs},
#endif
        {.name = kHelpCommand, .shortName = 'h', .help = "show this help and exit"},
        {.name = "version",
         .shortName = 'v',
         .help = "show the version and exit",
         .run = printVersion},
    };
    return table;
}

} // namespace

std::span<const CommandEntry> commandTable() {
    return commands();
}

std::span<const OptionEntry> optionTable() {
    return kOptions;
}

const CommandEntry* findCommand(std::string_view name) {
    const auto table = commandTable();
    const auto found = std::find_if(table.begin(), table.end(), [&](const CommandEntry& command) {
        return command.name == name || (name.size() == 1 && name[0] == command.shortName);
    });
    return found == table.end() ? nullptr : &*found;
}

const OptionEntry* findOption(std::string_view name) {
    const auto table = optionTable();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const OptionEntry& option) { return option.name == name; });
    return found == table.end() ? nullptr : &*found;
}

} // namespace tarnwick
