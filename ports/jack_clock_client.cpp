#include "ports/jack_clock_client.h"

#include <cerrno>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <string>

#include "audio/jack_probe.h"
#include "midi/midi_output.h"
#include "ports/clock_receiver.h"

namespace tarnwick {

namespace {

constexpr const char* kClientName = "Tarnwick clock";

class JackClockClient final : public ClockInput {
  public:
    explicit JackClockClient(std::string source) : source_(std::move(source)) {}
    ~JackClockClient() override {
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    JackClockClient(const JackClockClient&) = delete;
    JackClockClient& operator=(const JackClockClient&) = delete;

    bool open(ClockFault& failure) {
        jack_status_t status{};
        client_ = jack_client_open(kClientName, JackNoStartServer, &status);
        if (client_ == nullptr) {
            failure = ClockFault::NoJackServer;
            return false;
        }
        const std::int64_t before = SteadyClock::now().time_since_epoch().count();
        const auto jackUs = static_cast<std::int64_t>(jack_get_time());
        const std::int64_t after = SteadyClock::now().time_since_epoch().count();
        clockOffsetNs_ = before + (after - before) / 2 - jackUs * 1000;
        receiver_ = std::make_unique<ClockReceiver>(jack_get_sample_rate(client_));
        port_ = jack_port_register(client_, "clock in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (port_ == nullptr) {
            failure = ClockFault::NotConnected;
            return false;
        }
        jack_set_process_callback(client_, &JackClockClient::process, this);
        jack_set_port_connect_callback(client_, &JackClockClient::connectionsChanged, this);
        jack_on_shutdown(client_, &JackClockClient::serverStopped, this);
        if (jack_activate(client_) != 0) {
            failure = ClockFault::NoJackServer;
            return false;
        }
        const int result = jack_connect(client_, source_.c_str(), jack_port_name(port_));
        if (result != 0 && result != EEXIST) {
            failure = ClockFault::NotConnected;
            return false;
        }
        return true;
    }

    ClockView view() const override { return receiver_->view(); }

  private:
    static int process(jack_nframes_t frames, void* self) {
        auto& client = *static_cast<JackClockClient*>(self);
        jack_nframes_t firstFrame = 0;
        jack_time_t startUs = 0;
        jack_time_t nextUs = 0;
        float periodUs = 0.0F;
        if (jack_get_cycle_times(client.client_, &firstFrame, &startUs, &nextUs, &periodUs) != 0) {
            startUs = jack_get_time();
            nextUs = startUs +
                     static_cast<jack_time_t>(1e6 * frames / jack_get_sample_rate(client.client_));
        }
        client.receiver_->beginCycle(jack_last_frame_time(client.client_),
                                     static_cast<std::int64_t>(startUs) * 1000 +
                                         client.clockOffsetNs_,
                                     static_cast<double>(nextUs - startUs) * 1000.0 / frames);
        void* input = jack_port_get_buffer(client.port_, frames);
        const jack_nframes_t count = jack_midi_get_event_count(input);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, input, i) == 0) {
                client.receiver_->receive(event.buffer, event.size, event.time);
            }
        }
        client.receiver_->endCycle(frames);
        return 0;
    }

    static void connectionsChanged(jack_port_id_t a, jack_port_id_t b, int connected, void* self) {
        auto& client = *static_cast<JackClockClient*>(self);
        jack_port_t* first = jack_port_by_id(client.client_, a);
        jack_port_t* second = jack_port_by_id(client.client_, b);
        jack_port_t* other = first == client.port_    ? second
                             : second == client.port_ ? first
                                                      : nullptr;
        if (other != nullptr && connected == 0 && client.source_ == jack_port_name(other)) {
            client.receiver_->portGone();
        }
    }

    static void serverStopped(void* self) {
        static_cast<JackClockClient*>(self)->receiver_->serverGone();
    }

    std::string source_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::unique_ptr<ClockReceiver> receiver_;
    std::int64_t clockOffsetNs_ = 0;
};

} // namespace

std::unique_ptr<ClockInput> openJackClockInput(std::string_view port, ClockFault& failure) {
    if (!probeJackServer()) {
        failure = ClockFault::NoJackServer;
        return nullptr;
    }
    auto client = std::make_unique<JackClockClient>(std::string(port));
    if (!client->open(failure)) {
        return nullptr;
    }
    return client;
}

} // namespace tarnwick
