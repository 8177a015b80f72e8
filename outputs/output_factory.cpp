#include "outputs/output_factory.h"

#include <algorithm>
#include <iostream>

#include <RtMidi.h>

#include "audio/audio_sink.h"
#include "audio/jack_probe.h"
#include "outputs/silent_output.h"
#include "outputs/trace_output.h"
#include "ports/jack_midi_output.h"
#include "ports/pipewire_midi_output.h"
#include "ports/port_output.h"
#include "synth/builtin_synth_output.h"
#include "synth/soundfont_locator.h"

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

// The first audio driver that opens now, named as the status line names it
// ("PipeWire" for its server), or an empty string.
std::string firstWorkingAudioDriver() {
    Silence silence;
    for (std::string_view driver : audioDriverNames()) {
        if (auto sink = openAudioSink(driver, 44100.0, silence)) {
            return sink->serverName().empty() ? std::string(driver) : sink->serverName();
        }
    }
    return {};
}

// The virtual port where it exists on more than one of JACK, the ALSA
// sequencer and PipeWire: every message goes to each.
class FanOutOutput final : public OutputDevice {
  public:
    explicit FanOutOutput(std::vector<std::unique_ptr<OutputDevice>> outputs)
        : outputs_(std::move(outputs)) {}

    void send(std::uint32_t message) override {
        for (auto& output : outputs_) {
            output->send(message);
        }
    }
    void setMessageTime(SteadyClock::time_point time) override {
        for (auto& output : outputs_) {
            output->setMessageTime(time);
        }
    }
    void setMessageStamp(const TransportStamp& stamp, SteadyClock::time_point time) override {
        for (auto& output : outputs_) {
            output->setMessageStamp(stamp, time);
        }
    }
    void setMessageInstant(SteadyClock::time_point time) override {
        for (auto& output : outputs_) {
            output->setMessageInstant(time);
        }
    }
    bool takesClock() const override { return true; }
    OutputState state() const override {
        std::vector<OutputState> sides;
        for (const auto& output : outputs_) {
            sides.push_back(output->state());
        }
        return OutputState::several(std::move(sides));
    }
    bool isSilent() const override {
        return std::all_of(outputs_.begin(), outputs_.end(),
                           [](const auto& output) { return output->isSilent(); });
    }

  private:
    std::vector<std::unique_ptr<OutputDevice>> outputs_;
};

// --- builtin ---

std::vector<OutputChoice> listBuiltin(Listing listing) {
    const std::string label = "Built-in synthesiser";
    if (listing == Listing::Menu) {
        return {{std::string(kDefaultOutputName), {}, label}};
    }
    const std::string font = findSoundFont(defaultSoundFontPaths());
    const std::string driver = font.empty() ? std::string() : firstWorkingAudioDriver();
    if (driver.empty()) {
        return {};
    }
    return {{std::string(kDefaultOutputName),
             "built-in synthesiser, " + soundFontDisplayName(font) + " through " + driver, label}};
}

std::unique_ptr<OutputDevice> openBuiltin(std::string_view /*detail*/, const OutputOptions& options,
                                          OutputState& /*failure*/) {
    BuiltinSynthOptions builtin;
    builtin.soundFont = options.soundFont;
    builtin.scheduler = options.scheduler;
    return std::make_unique<BuiltinSynthOutput>(builtin);
}

// --- port:NAME ---

std::vector<OutputChoice> listPorts(Listing /*listing*/) {
    std::vector<OutputChoice> choices;
    for (const MidiPort& port : listMidiPorts()) {
        const std::string system =
            port.api == RtMidi::UNIX_JACK ? "JACK" : RtMidi::getApiDisplayName(port.api);
        choices.push_back({std::string(kPortPrefix) + port.name, "MIDI port (" + system + ")",
                           port.name + " (" + system + ")"});
    }
    return choices;
}

std::unique_ptr<OutputDevice> openPort(std::string_view detail, const OutputOptions& options,
                                       OutputState& failure) {
    return openPortOutput(detail, options.scheduler, failure);
}

// --- virtual ---

// The MIDI systems a virtual port can be made on now.
std::string virtualPortSystems() {
    std::string systems = probeJackServer() ? "JACK" : "";
    const std::vector<RtMidi::Api> apis = usableMidiApis();
    if (std::find(apis.begin(), apis.end(), RtMidi::LINUX_ALSA) != apis.end()) {
        systems += systems.empty() ? "ALSA" : " and ALSA";
    }
    if (pipeWireRunning()) {
        systems += systems.empty() ? "PipeWire" : " and PipeWire";
    }
    return systems;
}

std::vector<OutputChoice> listVirtual(Listing /*listing*/) {
    const std::string systems = virtualPortSystems();
    if (systems.empty()) {
        return {};
    }
    return {{"virtual", "virtual MIDI port Tarnwick (" + systems + ")",
             "Virtual port \"Tarnwick\" (" + systems + ")"}};
}

std::unique_ptr<OutputDevice> openVirtual(std::string_view /*detail*/, const OutputOptions& options,
                                          OutputState& failure) {
    std::vector<std::unique_ptr<OutputDevice>> sides;
    OutputState jackFailure;
    OutputState alsaFailure;
    OutputState pipeWireFailure;
    if (auto jack = openJackMidiOutput("", options.scheduler, jackFailure)) {
        sides.push_back(std::move(jack));
    }
    if (auto alsa = openAlsaVirtualPort(options.scheduler, alsaFailure)) {
        sides.push_back(std::move(alsa));
    }
    if (auto pipeWire = openPipeWireMidiPort(options.scheduler, pipeWireFailure)) {
        sides.push_back(std::move(pipeWire));
    }
    if (sides.empty()) {
        failure = OutputState::silent(OutputCause::NoVirtualPort);
        failure.parts = {std::move(jackFailure), std::move(alsaFailure),
                         std::move(pipeWireFailure)};
        return nullptr;
    }
    if (sides.size() == 1) {
        return std::move(sides.front());
    }
    return std::make_unique<FanOutOutput>(std::move(sides));
}

// --- none and trace ---

std::vector<OutputChoice> listNone(Listing /*listing*/) {
    return {{"none", "no sound", "None"}};
}

std::unique_ptr<OutputDevice> openNone(std::string_view /*detail*/,
                                       const OutputOptions& /*options*/, OutputState& /*failure*/) {
    return std::make_unique<SilentOutput>(OutputState::silent(OutputCause::OutputNone));
}

std::vector<OutputChoice> listTrace(Listing listing) {
    if (listing == Listing::Menu) {
        return {};
    }
    return {{"trace", "every message written to standard output", "Trace"}};
}

std::unique_ptr<OutputDevice> openTrace(std::string_view /*detail*/, const OutputOptions& options,
                                        OutputState& /*failure*/) {
    return std::make_unique<TraceOutput>(
        options.traceStream != nullptr ? *options.traceStream : std::cout,
        options.ticksPlayed != nullptr ? *options.ticksPlayed : kNoTicks);
}

// The trace stands for a port in scripts and tests, so it takes the clock.
const OutputBackend kBackends[] = {
    {"builtin", "builtin", false, listBuiltin, openBuiltin},
    {"port", "port:NAME", true, listPorts, openPort},
    {"virtual", "virtual", true, listVirtual, openVirtual},
    {"none", "none", false, listNone, openNone},
    {"trace", "trace", true, listTrace, openTrace},
};

} // namespace

std::span<const OutputBackend> outputBackends() {
    return kBackends;
}

const OutputBackend* findOutputBackend(std::string_view name) {
    for (const OutputBackend& backend : kBackends) {
        const bool matches = backend.name == "port"
                                 ? name.starts_with(kPortPrefix) && name.size() > kPortPrefix.size()
                                 : name == backend.name;
        if (matches) {
            return &backend;
        }
    }
    return nullptr;
}

bool isOutputName(std::string_view name) {
    return findOutputBackend(name) != nullptr;
}

std::string outputNamesText() {
    std::string text;
    for (const OutputBackend& backend : kBackends) {
        text += (text.empty() ? "" : ", ") + std::string(backend.spelled);
    }
    return text;
}

std::unique_ptr<OutputDevice> openMidiOutput(const OutputOptions& options) {
    const OutputBackend* backend = findOutputBackend(options.name);
    if (backend == nullptr) {
        return std::make_unique<SilentOutput>(
            OutputState::silent(OutputCause::NoSuchOutput, options.name));
    }
    const std::string_view detail = backend->name == "port"
                                        ? std::string_view(options.name).substr(kPortPrefix.size())
                                        : std::string_view();
    OutputState failure;
    if (auto device = backend->open(detail, options, failure)) {
        return device;
    }
    return std::make_unique<SilentOutput>(std::move(failure));
}

std::unique_ptr<OutputDevice> openRememberedOutput(const OutputOptions& options,
                                                   std::string& note) {
    auto device = openMidiOutput(options);
    if (!device->isSilent() || options.name == "none" || options.name == kDefaultOutputName) {
        return device;
    }
    note = "The output " + options.name + " could not be opened (" +
           silenceReason(device->state()) + "). ";
    OutputOptions builtin = options;
    builtin.name = kDefaultOutputName;
    return openMidiOutput(builtin);
}

std::optional<OutputState> missingMidiPorts(const std::vector<OutputChoice>& listed) {
    const bool anyPort = std::any_of(listed.begin(), listed.end(), [](const OutputChoice& choice) {
        return choice.name == "virtual" || choice.name.starts_with(kPortPrefix);
    });
    if (anyPort) {
        return std::nullopt;
    }
    // The virtual port is listed wherever any of the three runs.
    OutputState missing = OutputState::silent(OutputCause::NoMidiPort);
    missing.parts = {OutputState::silent(OutputCause::NoAlsaSequencer),
                     OutputState::silent(OutputCause::NoJackServer),
                     OutputState::silent(OutputCause::NoPipeWireServer)};
    return missing;
}

std::vector<OutputChoice> listMidiOutputs(Listing listing) {
    std::vector<OutputChoice> choices;
    for (const OutputBackend& backend : kBackends) {
        for (OutputChoice& choice : backend.list(listing)) {
            choices.push_back(std::move(choice));
        }
    }
    return choices;
}

} // namespace tarnwick
