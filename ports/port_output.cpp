#include "ports/port_output.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>
#include <unistd.h>

#include "audio/jack_probe.h"
#include "midi/midi_bytes.h"
#include "ports/jack_midi_output.h"
#include "ports/rtmidi_ports.h"
#include "ports/timed_sender.h"

namespace tarnwick {

namespace {

constexpr const char* kClientName = "Tarnwick";

// An RtMidi port, opened or virtual. The client is used by the sender's
// thread alone once the port is open.
class PortOutput final : public OutputDevice {
  public:
    // `portName` empty: the client's virtual port, which is never missed.
    PortOutput(std::unique_ptr<RtMidiOut> client, std::string portName,
               const SchedulerConfig& config)
        : client_(std::move(client)), portName_(std::move(portName)),
          sender_(
              std::in_place, config, [this](std::uint32_t message) { deliver(message); },
              [this] { checkPort(); }) {}

    ~PortOutput() override {
        sender_.reset(); // the last messages go out first
        try {
            client_->closePort();
        } catch (const RtMidiError&) {
            // Closing is best effort.
        }
    }
    PortOutput(const PortOutput&) = delete;
    PortOutput& operator=(const PortOutput&) = delete;

    void send(std::uint32_t message) override { sender_->send(message); }
    void setMessageTime(SteadyClock::time_point time) override { sender_->setMessageTime(time); }
    bool takesClock() const override { return true; }

    OutputState state() const override {
        if (portName_.empty()) {
            return OutputState::playing(OutputPath::VirtualPort, kClientName, "ALSA");
        }
        return lost_ ? OutputState::silent(OutputCause::PortGone, portName_)
                     : OutputState::playing(OutputPath::MidiPort, portName_);
    }
    bool isSilent() const override { return lost_; }

  private:
    void deliver(std::uint32_t message) {
        if (lost_) {
            return;
        }
        const MidiBytes bytes = midiBytes(message);
        try {
            client_->sendMessage(bytes.bytes.data(), bytes.size);
        } catch (const RtMidiError&) {
            // A port that went away fails silently here; checkPort notices.
        }
    }

    // A port that is no longer listed has gone (its program quit, its
    // device was unplugged).
    void checkPort() {
        if (!portName_.empty() && !lost_) {
            const std::vector<std::string> names = rtMidiPortNames(*client_);
            lost_ = std::find(names.begin(), names.end(), portName_) == names.end();
        }
    }

    std::unique_ptr<RtMidiOut> client_;
    std::string portName_;
    std::atomic<bool> lost_{false};
    std::optional<TimedSender> sender_;
};

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::unique_ptr<OutputDevice> openRtMidiPort(RtMidi::Api api, std::string_view name,
                                             const SchedulerConfig& config, OutputState& failure) {
    auto client = createMidiClient(api, failure);
    if (!client) {
        return nullptr;
    }
    const std::vector<std::string> names = rtMidiPortNames(*client);
    const auto found = std::find(names.begin(), names.end(), name);
    try {
        if (found != names.end()) {
            client->openPort(static_cast<unsigned>(found - names.begin()), kClientName);
        }
    } catch (const RtMidiError& error) {
        failure = OutputState::silent(OutputCause::MidiSystemError, error.getMessage());
        return nullptr;
    }
    if (!client->isPortOpen()) {
        failure = OutputState::silent(OutputCause::PortNotOpened, std::string(name));
        return nullptr;
    }
    return std::make_unique<PortOutput>(std::move(client), std::string(name), config);
}

} // namespace

std::unique_ptr<RtMidiOut> createMidiClient(RtMidi::Api api, OutputState& failure) {
    try {
        auto client = std::make_unique<RtMidiOut>(api, kClientName);
        client->setErrorCallback(&ignoreMidiError, nullptr);
        return client;
    } catch (const RtMidiError& error) {
        failure = OutputState::silent(OutputCause::MidiSystemError, error.getMessage());
        return nullptr;
    }
}

std::vector<RtMidi::Api> usableMidiApis() {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    std::vector<RtMidi::Api> usable;
    for (RtMidi::Api api : compiled) {
        if (api == RtMidi::LINUX_ALSA && access(kAlsaSequencerDevice, R_OK | W_OK) != 0) {
            continue;
        }
        if (api == RtMidi::UNIX_JACK || api == RtMidi::RTMIDI_DUMMY) {
            continue;
        }
        usable.push_back(api);
    }
    return usable;
}

std::vector<MidiPort> listMidiPorts() {
    std::vector<MidiPort> ports;
    for (std::string& name : listJackMidiPorts(JackPortDirection::Inputs)) {
        ports.push_back(MidiPort{RtMidi::UNIX_JACK, std::move(name)});
    }
    for (RtMidi::Api api : usableMidiApis()) {
        OutputState failure;
        if (auto client = createMidiClient(api, failure)) {
            for (std::string& name : rtMidiPortNames(*client)) {
                ports.push_back(MidiPort{api, std::move(name)});
            }
        }
    }
    return ports;
}

PortChoice choosePort(const std::vector<std::string>& ports, std::string_view name) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] == name) {
            return i;
        }
    }
    const std::string wanted = lowerCase(name);
    PortChoice found = OutputCause::NoSuchPort;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!wanted.empty() && lowerCase(ports[i]).find(wanted) != std::string::npos) {
            if (std::holds_alternative<std::size_t>(found)) {
                return OutputCause::AmbiguousPort;
            }
            found = i;
        }
    }
    return found;
}

std::unique_ptr<OutputDevice> openPortOutput(std::string_view name, const SchedulerConfig& config,
                                             OutputState& failure) {
    if (usableMidiApis().empty() && !probeJackServer()) {
        failure = OutputState::silent(OutputCause::NoMidiSystem);
        return nullptr;
    }
    const std::vector<MidiPort> ports = listMidiPorts();
    std::vector<std::string> names;
    for (const MidiPort& port : ports) {
        names.push_back(port.name);
    }
    const PortChoice chosen = choosePort(names, name);
    if (const OutputCause* cause = std::get_if<OutputCause>(&chosen)) {
        failure = OutputState::silent(*cause, std::string(name));
        return nullptr;
    }
    const MidiPort& port = ports[std::get<std::size_t>(chosen)];
    if (port.api == RtMidi::UNIX_JACK) {
        return openJackMidiOutput(port.name, config, failure);
    }
    return openRtMidiPort(port.api, port.name, config, failure);
}

std::unique_ptr<OutputDevice> openAlsaVirtualPort(const SchedulerConfig& config,
                                                  OutputState& failure) {
    const std::vector<RtMidi::Api> apis = usableMidiApis();
    if (std::find(apis.begin(), apis.end(), RtMidi::LINUX_ALSA) == apis.end()) {
        failure = OutputState::silent(OutputCause::NoAlsaSequencer);
        return nullptr;
    }
    auto client = createMidiClient(RtMidi::LINUX_ALSA, failure);
    if (!client) {
        return nullptr;
    }
    try {
        client->openVirtualPort(kClientName);
    } catch (const RtMidiError& error) {
        failure = OutputState::silent(OutputCause::MidiSystemError, error.getMessage());
        return nullptr;
    }
    return std::make_unique<PortOutput>(std::move(client), std::string(), config);
}

} // namespace tarnwick
