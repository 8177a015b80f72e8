#include "outputs/port_output.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

#include "outputs/jack_probe.h"

namespace tarnwick {

namespace {

constexpr const char* kClientName = "Tarnwick";
constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";

// With an error callback set, RtMidi reports later errors (a port that went
// away while sending) here instead of printing and throwing them.
void ignoreMidiError(RtMidiError::Type /*type*/, const std::string& /*text*/, void* /*user*/) {}

class PortOutput final : public OutputDevice {
  public:
    PortOutput(std::unique_ptr<RtMidiOut> client, std::string portName)
        : client_(std::move(client)), portName_(std::move(portName)) {}

    ~PortOutput() override {
        try {
            client_->closePort();
        } catch (const RtMidiError&) {
            // Closing is best effort.
        }
    }
    PortOutput(const PortOutput&) = delete;
    PortOutput& operator=(const PortOutput&) = delete;

    void send(std::uint32_t message) override {
        const MidiBytes bytes = midiBytes(message);
        try {
            client_->sendMessage(bytes.bytes.data(), bytes.size);
        } catch (const RtMidiError&) {
            // A lost port makes sends fail silently; playback goes on.
        }
    }

    std::string status() const override { return "MIDI port: " + portName_; }
    bool isSilent() const override { return false; }

  private:
    std::unique_ptr<RtMidiOut> client_;
    std::string portName_;
};

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::vector<std::string> portNames(RtMidiOut& client) {
    std::vector<std::string> names;
    try {
        const unsigned count = client.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            names.push_back(client.getPortName(i));
        }
    } catch (const RtMidiError&) {
        // A client that cannot list its ports offers none.
    }
    return names;
}

} // namespace

std::unique_ptr<RtMidiOut> createMidiClient(RtMidi::Api api, std::string& failure) {
    try {
        auto client = std::make_unique<RtMidiOut>(api, kClientName);
        client->setErrorCallback(&ignoreMidiError, nullptr);
        return client;
    } catch (const RtMidiError& error) {
        failure = error.getMessage();
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
        if (api == RtMidi::UNIX_JACK && !probeJackServer()) {
            continue;
        }
        if (api == RtMidi::RTMIDI_DUMMY) {
            continue;
        }
        usable.push_back(api);
    }
    return usable;
}

std::vector<MidiPort> listMidiPorts() {
    std::vector<MidiPort> ports;
    for (RtMidi::Api api : usableMidiApis()) {
        std::string failure;
        auto client = createMidiClient(api, failure);
        if (!client) {
            continue;
        }
        for (std::string& name : portNames(*client)) {
            ports.push_back(MidiPort{api, std::move(name)});
        }
    }
    return ports;
}

int choosePort(const std::vector<std::string>& ports, std::string_view name) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] == name) {
            return static_cast<int>(i);
        }
    }
    const std::string wanted = lowerCase(name);
    int found = -1;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!wanted.empty() && lowerCase(ports[i]).find(wanted) != std::string::npos) {
            if (found >= 0) {
                return -2;
            }
            found = static_cast<int>(i);
        }
    }
    return found;
}

std::unique_ptr<OutputDevice> openPortOutput(std::string_view name, std::string& failure) {
    const std::vector<RtMidi::Api> apis = usableMidiApis();
    if (apis.empty()) {
        failure = "no MIDI system is available (no ALSA sequencer, no JACK server)";
        return nullptr;
    }
    std::vector<MidiPort> ports;
    std::vector<std::unique_ptr<RtMidiOut>> clients;
    std::vector<std::size_t> clientOfPort;
    for (RtMidi::Api api : apis) {
        std::string clientFailure;
        auto client = createMidiClient(api, clientFailure);
        if (!client) {
            failure = clientFailure;
            continue;
        }
        for (std::string& portName : portNames(*client)) {
            ports.push_back(MidiPort{api, std::move(portName)});
            clientOfPort.push_back(clients.size());
        }
        clients.push_back(std::move(client));
    }
    std::vector<std::string> names;
    for (const MidiPort& port : ports) {
        names.push_back(port.name);
    }
    const int chosen = choosePort(names, name);
    if (chosen == -1) {
        failure = "no MIDI port called '" + std::string(name) + "'";
        return nullptr;
    }
    if (chosen == -2) {
        failure = "more than one MIDI port matches '" + std::string(name) + "'";
        return nullptr;
    }
    const auto index = static_cast<std::size_t>(chosen);
    std::unique_ptr<RtMidiOut>& client = clients[clientOfPort[index]];
    // The port's index within its own client.
    unsigned portIndex = 0;
    for (std::size_t i = 0; i < index; ++i) {
        if (clientOfPort[i] == clientOfPort[index]) {
            ++portIndex;
        }
    }
    try {
        client->openPort(portIndex, kClientName);
    } catch (const RtMidiError& error) {
        failure = error.getMessage();
        return nullptr;
    }
    if (!client->isPortOpen()) {
        failure = "the MIDI port '" + ports[index].name + "' could not be opened";
        return nullptr;
    }
    return std::make_unique<PortOutput>(std::move(client), ports[index].name);
}

MidiBytes midiBytes(std::uint32_t message) {
    const std::uint8_t status = messageStatus(message);
    const std::uint8_t kind = status & 0xF0;
    const std::size_t size = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    return MidiBytes{{status, messageData1(message), messageData2(message)}, size};
}

} // namespace tarnwick
