#include "outputs/output_factory.h"

#include <algorithm>
#include <iostream>

#include "outputs/audio_sink.h"
#include "outputs/builtin_synth_output.h"
#include "outputs/port_output.h"
#include "outputs/silent_output.h"
#include "outputs/soundfont_locator.h"
#include "outputs/trace_output.h"

namespace tarnwick {

namespace {

constexpr std::string_view kPortPrefix = "port:";
const std::int64_t kNoTicks = 0;

struct Silence final : AudioSource {
    bool render(const AudioPeriod& period) override {
        std::fill(period.left, period.left + period.frames, 0.0f);
        std::fill(period.right, period.right + period.frames, 0.0f);
        return false;
    }
};

// The first audio driver that opens now, or an empty string.
std::string firstWorkingAudioDriver() {
    Silence silence;
    for (std::string_view driver : audioDriverNames()) {
        if (openAudioSink(driver, 44100.0, silence)) {
            return std::string(driver);
        }
    }
    return {};
}

std::string apiName(RtMidi::Api api) {
    return RtMidi::getApiDisplayName(api);
}

} // namespace

bool isOutputName(std::string_view name) {
    if (name.starts_with(kPortPrefix)) {
        return name.size() > kPortPrefix.size();
    }
    return name == "builtin" || name == "none" || name == "trace";
}

std::unique_ptr<OutputDevice> openMidiOutput(const OutputOptions& options) {
    const std::string_view name = options.name;
    if (name == "builtin") {
        BuiltinSynthOptions builtin;
        builtin.soundFont = options.soundFont;
        builtin.scheduler = options.scheduler;
        return std::make_unique<BuiltinSynthOutput>(builtin);
    }
    if (name == "trace") {
        return std::make_unique<TraceOutput>(
            options.traceStream != nullptr ? *options.traceStream : std::cout,
            options.ticksPlayed != nullptr ? *options.ticksPlayed : kNoTicks);
    }
    if (name == "none") {
        return std::make_unique<SilentOutput>("No sound: the output is none");
    }
    if (isOutputName(name)) {
        std::string failure;
        if (auto port = openPortOutput(name.substr(kPortPrefix.size()), failure)) {
            return port;
        }
        return std::make_unique<SilentOutput>("No sound: " + failure);
    }
    return std::make_unique<SilentOutput>("No sound: there is no output called '" +
                                          std::string(name) + "'");
}

void closeMidiOutput(std::unique_ptr<OutputDevice>& output) {
    output.reset();
}

std::vector<OutputChoice> listMidiOutputs() {
    std::vector<OutputChoice> choices;
    const std::string font = findSoundFont(defaultSoundFontPaths());
    if (!font.empty()) {
        const std::string driver = firstWorkingAudioDriver();
        if (!driver.empty()) {
            choices.push_back({"builtin", "built-in synthesiser, " + soundFontDisplayName(font) +
                                              " through " + driver});
        }
    }
    for (const MidiPort& port : listMidiPorts()) {
        choices.push_back(
            {std::string(kPortPrefix) + port.name, "MIDI port (" + apiName(port.api) + ")"});
    }
    choices.push_back({"none", "no sound"});
    choices.push_back({"trace", "every message written to standard output"});
    return choices;
}

} // namespace tarnwick
