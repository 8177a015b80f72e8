#include "ports/jack_midi_output.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <limits>
#include <optional>
#include <thread>

#include "audio/jack_probe.h"
#include "midi/midi_bytes.h"
#include "ports/clock_receiver.h"
#include "ports/jack_time_map.h"
#include "scheduling/timed_message_order.h"

namespace tarnwick {

namespace {

// How long closing waits at most for the last messages to go out at their
// time (their latency and a cycle, as a rule), unless the server has stopped
// serving us.
constexpr auto kDrainTimeout = std::chrono::seconds(1);
constexpr auto kDrainPoll = std::chrono::milliseconds(2);

// What to add to JACK's time, in nanoseconds, to get the steady clock's: the
// two are read back to back, so the error is a fraction of a microsecond.
std::int64_t jackClockOffsetNs() {
    const std::int64_t before = SteadyClock::now().time_since_epoch().count();
    const auto jackUs = static_cast<std::int64_t>(jack_get_time());
    const std::int64_t after = SteadyClock::now().time_since_epoch().count();
    return before + (after - before) / 2 - jackUs * 1000;
}

class JackMidiOutput final : public OutputDevice {
  public:
    JackMidiOutput(const SchedulerConfig& config, std::string target)
        : scheduler_(config), target_(std::move(target)) {}

    ~JackMidiOutput() override {
        scheduler_.close();
        if (client_ == nullptr) {
            return;
        }
        if (active_) {
            // Stop's messages are still on their way; clock pulses left
            // waiting (none after a Stop) are dropped.
            const auto giveUp = SteadyClock::now() + kDrainTimeout;
            while (scheduler_.pending() > 0 && !serverGone_ && SteadyClock::now() < giveUp) {
                std::this_thread::sleep_for(kDrainPoll);
            }
            jack_deactivate(client_);
        }
        jack_client_close(client_);
    }
    JackMidiOutput(const JackMidiOutput&) = delete;
    JackMidiOutput& operator=(const JackMidiOutput&) = delete;

    bool open(OutputState& failure) {
        jack_status_t status{};
        client_ =
            jack_client_open(std::string(kJackClientName).c_str(), JackNoStartServer, &status);
        if (client_ == nullptr) {
            failure = OutputState::silent(OutputCause::JackRefusedClient);
            return false;
        }
        clockOffsetNs_ = jackClockOffsetNs();
        time_ = JackTimeMap(clockOffsetNs_);
        const std::string portName = target_.empty() ? std::string(kJackClientName) : "out";
        port_ = jack_port_register(client_, portName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsOutput, 0);
        if (port_ == nullptr) {
            failure = OutputState::silent(OutputCause::JackGaveNoPort);
            return false;
        }
        ownPort_ = jack_port_name(port_);
        jack_set_process_callback(client_, &JackMidiOutput::process, this);
        jack_on_shutdown(client_, &JackMidiOutput::serverStopped, this);
        jack_set_port_connect_callback(client_, &JackMidiOutput::connectionsChanged, this);
        if (jack_activate(client_) != 0) {
            failure = OutputState::silent(OutputCause::JackNotActivated);
            return false;
        }
        active_ = true;
        if (!target_.empty()) {
            const int result = jack_connect(client_, ownPort_.c_str(), target_.c_str());
            if (result != 0 && result != EEXIST) {
                failure = OutputState::silent(OutputCause::JackNotConnected, target_);
                return false;
            }
        }
        return true;
    }

    void send(std::uint32_t message) override {
        if (!isSilent()) {
            scheduler_.send(message);
        }
    }
    void setMessageTime(SteadyClock::time_point time) override { scheduler_.setMessageTime(time); }
    void setMessageStamp(const TransportStamp& stamp, SteadyClock::time_point time) override {
        scheduler_.setMessageStamp(stamp, time);
    }
    void setMessageInstant(SteadyClock::time_point time) override {
        scheduler_.setMessageInstant(time);
    }
    bool takesClock() const override { return true; }

    OutputState state() const override {
        if (serverGone_) {
            return OutputState::silent(OutputCause::JackServerStopped);
        }
        if (lost_) {
            return OutputState::silent(OutputCause::PortGone, target_);
        }
        return target_.empty() ? OutputState::playing(OutputPath::VirtualPort, ownPort_, "JACK")
                               : OutputState::playing(OutputPath::MidiPort, target_, "JACK");
    }
    bool isSilent() const override { return serverGone_ || lost_; }

    std::unique_ptr<ClockInput> receiveClock(std::string_view port, ClockFault& failure) override {
        if (clockPort_ == nullptr) {
            clock_ = std::make_unique<ClockReceiver>(jack_get_sample_rate(client_));
            clockPort_ =
                jack_port_register(client_, "clock in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            if (clockPort_ == nullptr) {
                failure = ClockFault::NotConnected;
                return nullptr;
            }
        }
        clock_->reset();
        clockSource_ = std::string(port);
        const int result = jack_connect(client_, clockSource_.c_str(), jack_port_name(clockPort_));
        if (result != 0 && result != EEXIST) {
            failure = ClockFault::NotConnected;
            return nullptr;
        }
        receiving_ = true;
        return std::make_unique<ClockHandle>(*this);
    }

  private:
    // What the performance follows; the receiver stays until the output
    // goes, as the process callback may be reading it.
    class ClockHandle final : public ClockInput {
      public:
        explicit ClockHandle(JackMidiOutput& output) : output_(output) {}
        ~ClockHandle() override {
            output_.receiving_ = false;
            jack_port_disconnect(output_.client_, output_.clockPort_);
        }
        ClockHandle(const ClockHandle&) = delete;
        ClockHandle& operator=(const ClockHandle&) = delete;
        ClockView view() const override {
            ClockView view = output_.clock_->view();
            if (output_.serverGone_) {
                view.fault = ClockFault::ServerStopped;
                view.timeline.rolling = false;
            }
            return view;
        }

      private:
        JackMidiOutput& output_;
    };

    // The process callback, on JACK's real-time thread.
    static int process(jack_nframes_t frames, void* self) {
        static_cast<JackMidiOutput*>(self)->writeCycle(frames);
        return 0;
    }

    void writeCycle(jack_nframes_t frames) {
        jack_nframes_t firstFrame = 0;
        jack_time_t startUs = 0;
        jack_time_t nextUs = 0;
        float periodUs = 0.0F;
        if (jack_get_cycle_times(client_, &firstFrame, &startUs, &nextUs, &periodUs) != 0) {
            // No estimate yet: the cycle plays from now.
            startUs = jack_get_time();
            nextUs =
                startUs + static_cast<jack_time_t>(1e6 * frames / jack_get_sample_rate(client_));
        }
        time_.beginCycle(frames, startUs, nextUs);
        followTransport(frames);
        ClockReceiver* clock = receiving_ ? clock_.get() : nullptr;
        if (clock != nullptr) {
            readClock(*clock, frames, startUs, nextUs);
        }
        void* buffer = jack_port_get_buffer(port_, frames);
        jack_midi_clear_buffer(buffer);
        const double cycleEnd = static_cast<double>(frames);
        double floor = 0.0; // the events of a cycle must not go back in time
        order_.release(
            scheduler_,
            [&](const TimedMessage& item) {
                if (item.stamped && item.stamp.timeline == StampTimeline::ClockPulses) {
                    return clock != nullptr ? !clock->place(item.stamp, false).wait
                                            : time_.offsetOf(latened(item)) < cycleEnd;
                }
                return item.stamped ? stampedOffset(item.stamp) < cycleEnd
                                    : time_.offsetOf(item.dueNs) < cycleEnd;
            },
            [&](const TimedMessage& item) {
                const bool startsSound =
                    midi::isNoteStart(item.message) || midi::isClockPulse(item.message);
                if (item.stamped && item.stamp.timeline == StampTimeline::ClockPulses) {
                    if (clock == nullptr) { // the clock is received elsewhere
                        return write(buffer, item.message,
                                     std::floor(time_.offsetOf(latened(item))), floor, cycleEnd);
                    }
                    const ClockReceiver::Placement placed = clock->place(item.stamp, startsSound);
                    if (placed.drop) {
                        return true;
                    }
                    return write(buffer, item.message, placed.offset, floor, cycleEnd);
                }
                const bool ended = item.stamped && !inRun(item.stamp);
                if (ended && startsSound) {
                    return true; // prepared for a run that a stop or relocation ended
                }
                const double offset = ended          ? 0.0
                                      : item.stamped ? stampedOffset(item.stamp)
                                                     : std::floor(time_.offsetOf(item.dueNs));
                return write(buffer, item.message, offset, floor, cycleEnd);
            });
    }

    // When a message stamped with a pulse of a clock this client does not
    // receive plays: its moment, a latency later, as an unstamped one.
    std::int64_t latened(const TimedMessage& item) const {
        return item.dueNs + scheduler_.config().latency.count();
    }

    // Writes one message at `offset`, or later than `floor` where an earlier
    // one went; false when the buffer is full (the rest waits a cycle).
    static bool write(void* buffer, std::uint32_t message, double offset, double& floor,
                      double cycleEnd) {
        const MidiBytes bytes = midiBytes(message);
        if (jack_midi_max_event_size(buffer) < bytes.size) {
            return false;
        }
        floor = std::clamp(offset, floor, cycleEnd - 1.0);
        jack_midi_event_write(buffer, static_cast<jack_nframes_t>(floor), bytes.bytes.data(),
                              bytes.size);
        return true;
    }

    // The clock's events of this cycle, each at its frame.
    void readClock(ClockReceiver& clock, jack_nframes_t frames, jack_time_t startUs,
                   jack_time_t nextUs) {
        const double nsPerFrame = static_cast<double>(nextUs - startUs) * 1000.0 / frames;
        clock.beginCycle(jack_last_frame_time(client_),
                         static_cast<std::int64_t>(startUs) * 1000 + clockOffsetNs_, nsPerFrame);
        void* input = jack_port_get_buffer(clockPort_, frames);
        const jack_nframes_t count = jack_midi_get_event_count(input);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, input, i) == 0) {
                clock.receive(event.buffer, event.size, event.time);
            }
        }
        clock.endCycle(frames);
    }

    // Where the transport is this cycle, and where its current run of
    // rolling began: a run begins where rolling starts or the frames jump.
    void followTransport(jack_nframes_t frames) {
        jack_position_t position{};
        const jack_transport_state_t state = jack_transport_query(client_, &position);
        const bool rolling = state == JackTransportRolling;
        const auto frame = static_cast<std::int64_t>(position.frame);
        const bool newRun = rolling && (!rolling_ || frame != nextFrame_);
        if (rolling_ && (!rolling || newRun)) {
            endedRunStart_ = runStart_;
            endedRunEnd_ = nextFrame_;
        }
        if (newRun) {
            runStart_ = frame;
        }
        rolling_ = rolling;
        starting_ = state == JackTransportStarting;
        transportFrame_ = frame;
        nextFrame_ = frame + frames;
    }

    // A stamped message's run still lasts, or is about to start here.
    bool inRun(const TransportStamp& stamp) const {
        return stamp.runStart == (rolling_ ? runStart_ : starting_ ? transportFrame_ : -1);
    }

    // A stamped message of the run that ended last, beyond where it ended.
    bool neverReached(const TransportStamp& stamp) const {
        return stamp.runStart == endedRunStart_ && stamp.frame > endedRunEnd_;
    }

    // The frame of this cycle for a stamped message: 0 for one late or of an
    // ended run, beyond the cycle for one that waits (its run has not rolled
    // this far, or is about to start).
    double stampedOffset(const TransportStamp& stamp) const {
        if (!inRun(stamp)) {
            return 0.0;
        }
        if (!rolling_) {
            return std::numeric_limits<double>::infinity();
        }
        return static_cast<double>(std::max<std::int64_t>(stamp.frame - transportFrame_, 0));
    }

    // On JACK's notification thread: a connection was made or broken
    // somewhere. The one from our port to the target breaks when the target
    // goes away (its program quits); it is judged from the event itself, as
    // the server's graph may not show it yet.
    static void connectionsChanged(jack_port_id_t a, jack_port_id_t b, int connected, void* self) {
        auto& output = *static_cast<JackMidiOutput*>(self);
        jack_port_t* first = jack_port_by_id(output.client_, a);
        jack_port_t* second = jack_port_by_id(output.client_, b);
        jack_port_t* other = first == output.port_    ? second
                             : second == output.port_ ? first
                                                      : nullptr;
        if (other != nullptr && output.target_ == jack_port_name(other)) {
            output.lost_ = connected == 0;
        }
        // The clock's port: judged the same way.
        jack_port_t* clockPort = output.clockPort_;
        jack_port_t* source = clockPort == nullptr  ? nullptr
                              : first == clockPort  ? second
                              : second == clockPort ? first
                                                    : nullptr;
        if (source != nullptr && connected == 0 && output.receiving_ &&
            output.clockSource_ == jack_port_name(source)) {
            output.clock_->portGone();
        }
    }

    static void serverStopped(void* self) {
        auto& output = *static_cast<JackMidiOutput*>(self);
        output.serverGone_ = true;
        if (output.clock_) {
            output.clock_->serverGone();
        }
    }

    MessageScheduler scheduler_;
    TimedMessageOrder order_; // the process callback's
    JackTimeMap time_;        // the process callback's
    // The transport, as the process callback last saw it.
    bool rolling_ = false;
    bool starting_ = false;
    std::int64_t transportFrame_ = 0;
    std::int64_t nextFrame_ = -1;
    std::int64_t runStart_ = -1;
    std::int64_t endedRunStart_ = -1;
    std::int64_t endedRunEnd_ = -1;
    std::string target_; // empty for the virtual port
    std::string ownPort_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    bool active_ = false;
    std::atomic<bool> lost_{false};
    std::atomic<bool> serverGone_{false};
    // MIDI clock received, when it is followed.
    std::unique_ptr<ClockReceiver> clock_;
    jack_port_t* clockPort_ = nullptr;
    std::string clockSource_;
    std::atomic<bool> receiving_{false};
    std::int64_t clockOffsetNs_ = 0;
};

} // namespace

std::vector<std::string> listJackMidiPorts(JackPortDirection direction) {
    std::vector<std::string> names;
    if (!probeJackServer()) {
        return names;
    }
    jack_status_t status{};
    jack_client_t* client = jack_client_open("tarnwick-list", JackNoStartServer, &status);
    if (client == nullptr) {
        return names;
    }
    const unsigned long flags =
        direction == JackPortDirection::Inputs ? JackPortIsInput : JackPortIsOutput;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
        for (const char** port = ports; *port != nullptr; ++port) {
            const std::string_view name(*port);
            if (direction == JackPortDirection::Inputs ||
                name.substr(0, kJackClientName.size() + 1) != std::string(kJackClientName) + ":") {
                names.emplace_back(name);
            }
        }
        jack_free(static_cast<void*>(ports));
    }
    jack_client_close(client);
    return names;
}

std::unique_ptr<OutputDevice>
openJackMidiOutput(std::string_view target, const SchedulerConfig& config, OutputState& failure) {
    const std::optional<JackServerInfo> server = probeJackServer();
    if (!server) {
        failure = OutputState::silent(OutputCause::NoJackServer);
        return nullptr;
    }
    auto output = std::make_unique<JackMidiOutput>(config, std::string(target));
    if (!output->open(failure)) {
        return nullptr;
    }
    return output;
}

} // namespace tarnwick
