#include "ports/pipewire_midi_output.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/control/control.h>
#include <spa/pod/builder.h>
#include <string>
#include <thread>

#include "audio/pipewire_connection.h"
#include "midi/midi_bytes.h"
#include "scheduling/timed_message_order.h"

namespace tarnwick {

namespace {

constexpr const char* kPortName = "Tarnwick";
// How long opening waits for the server at most, and closing for the last
// messages to go out at their time (their latency and a cycle, as a rule).
constexpr int kOpenTimeoutSeconds = 5;
constexpr auto kDrainTimeout = std::chrono::seconds(1);
constexpr auto kDrainPoll = std::chrono::milliseconds(2);

// PipeWire's interface calls are macros that cast in C's way.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
void addCoreListener(pw_core* core, spa_hook* hook, const pw_core_events* events, void* data) {
    pw_core_add_listener(core, hook, events, data);
}
#pragma GCC diagnostic pop

class PipeWireMidiPort final : public OutputDevice {
  public:
    explicit PipeWireMidiPort(const SchedulerConfig& config) : scheduler_(config) {}
    ~PipeWireMidiPort() override;
    PipeWireMidiPort(const PipeWireMidiPort&) = delete;
    PipeWireMidiPort& operator=(const PipeWireMidiPort&) = delete;

    bool open(OutputState& failure);

    void send(std::uint32_t message) override {
        if (!isSilent()) {
            scheduler_.send(message);
        }
    }
    void setMessageTime(SteadyClock::time_point time) override { scheduler_.setMessageTime(time); }
    bool takesClock() const override { return true; }
    OutputState state() const override {
        return serverGone_
                   ? OutputState::silent(OutputCause::PipeWireServerStopped)
                   : OutputState::playing(OutputPath::VirtualPort,
                                          std::string(kPortName) + ":" + kPortName, "PipeWire");
    }
    bool isSilent() const override { return serverGone_; }

  private:
    static void onCoreError(void* self, std::uint32_t id, int seq, int res, const char* message);
    static void onState(void* self, pw_filter_state old, pw_filter_state state, const char* error);
    static void onProcess(void* self, spa_io_position* position);

    void writeCycle(const spa_io_position& position);

    MessageScheduler scheduler_;
    TimedMessageOrder order_; // the process callback's
    PipeWireConnection connection_;
    pw_filter* filter_ = nullptr;
    void* port_ = nullptr;
    spa_hook coreListener_{};
    spa_hook filterListener_{};
    pw_core_events coreEvents_{};
    pw_filter_events filterEvents_{};
    pw_filter_state filterState_ = PW_FILTER_STATE_UNCONNECTED; // the loop's
    std::atomic<bool> serverGone_{false};
};

PipeWireMidiPort::~PipeWireMidiPort() {
    scheduler_.close();
    if (connection_.loop() == nullptr) {
        return;
    }
    // Stop's messages are still on their way; clock pulses left waiting
    // (none after a Stop) are dropped.
    const auto giveUp = SteadyClock::now() + kDrainTimeout;
    while (filter_ != nullptr && scheduler_.pending() > 0 && !serverGone_ &&
           SteadyClock::now() < giveUp) {
        std::this_thread::sleep_for(kDrainPoll);
    }
    pw_thread_loop_lock(connection_.loop());
    if (filter_ != nullptr) {
        spa_hook_remove(&filterListener_);
        pw_filter_destroy(filter_); // no process call after this
    }
    if (connection_.core() != nullptr) {
        spa_hook_remove(&coreListener_);
    }
    pw_thread_loop_unlock(connection_.loop());
}

bool PipeWireMidiPort::open(OutputState& failure) {
    failure = OutputState::silent(OutputCause::NoPipeWireServer);
    if (!connection_.start("tarnwick-midi")) {
        return false;
    }
    pw_thread_loop_lock(connection_.loop());
    bool ready = false;
    if (connection_.connect()) {
        coreEvents_.version = PW_VERSION_CORE_EVENTS;
        coreEvents_.error = &onCoreError;
        addCoreListener(connection_.core(), &coreListener_, &coreEvents_, this);
        filterEvents_.version = PW_VERSION_FILTER_EVENTS;
        filterEvents_.state_changed = &onState;
        filterEvents_.process = &onProcess;
        filter_ = pw_filter_new(connection_.core(), kPortName,
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Midi", PW_KEY_MEDIA_CATEGORY,
                                                  "Playback", PW_KEY_MEDIA_CLASS, "Midi/Source",
                                                  PW_KEY_NODE_NAME, kPortName, nullptr));
    }
    if (filter_ != nullptr) {
        failure = OutputState::silent(OutputCause::PipeWireGaveNoPort);
        pw_filter_add_listener(filter_, &filterListener_, &filterEvents_, this);
        port_ = pw_filter_add_port(filter_, PW_DIRECTION_OUTPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
                                   pw_properties_new(PW_KEY_FORMAT_DSP, "8 bit raw midi",
                                                     PW_KEY_PORT_NAME, kPortName, nullptr),
                                   nullptr, 0);
        if (port_ != nullptr &&
            pw_filter_connect(filter_, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) >= 0) {
            timespec deadline{};
            pw_thread_loop_get_time(connection_.loop(), &deadline,
                                    static_cast<std::int64_t>(kOpenTimeoutSeconds) *
                                        SPA_NSEC_PER_SEC);
            while (filterState_ != PW_FILTER_STATE_PAUSED &&
                   filterState_ != PW_FILTER_STATE_STREAMING &&
                   filterState_ != PW_FILTER_STATE_ERROR && !serverGone_ &&
                   pw_thread_loop_timed_wait_full(connection_.loop(), &deadline) != -ETIMEDOUT) {
            }
            ready =
                filterState_ == PW_FILTER_STATE_PAUSED || filterState_ == PW_FILTER_STATE_STREAMING;
        }
    }
    pw_thread_loop_unlock(connection_.loop());
    return ready && !serverGone_;
}

// Every message due before the cycle ends goes out in it, at its frame.
void PipeWireMidiPort::writeCycle(const spa_io_position& position) {
    pw_buffer* buffer = pw_filter_dequeue_buffer(port_);
    if (buffer == nullptr) {
        return;
    }
    spa_data& data = buffer->buffer->datas[0];
    if (data.data == nullptr) {
        pw_filter_queue_buffer(port_, buffer);
        return;
    }
    const spa_io_clock& clock = position.clock;
    const double frames = static_cast<double>(clock.duration);
    const double spanNs = clock.next_nsec > clock.nsec
                              ? static_cast<double>(clock.next_nsec - clock.nsec)
                              : frames * 1e9 * clock.rate.num / std::max(clock.rate.denom, 1U);
    const auto offsetOf = [&](std::int64_t dueNs) {
        return static_cast<double>(dueNs - static_cast<std::int64_t>(clock.nsec)) * frames / spanNs;
    };
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, data.data, data.maxsize);
    spa_pod_frame sequence{};
    spa_pod_builder_push_sequence(&builder, &sequence, 0);
    double floor = 0.0; // the events of a cycle must not go back in time
    order_.release(
        scheduler_, [&](const TimedMessage& item) { return offsetOf(item.dueNs) < frames; },
        [&](const TimedMessage& item) {
            const MidiBytes bytes = midiBytes(item.message);
            // A full buffer keeps the rest for the next cycle.
            if (builder.state.offset + 64 > builder.size) {
                return false;
            }
            floor =
                std::clamp(std::floor(offsetOf(item.dueNs)), floor, std::max(frames - 1.0, 0.0));
            spa_pod_builder_control(&builder, static_cast<std::uint32_t>(floor), SPA_CONTROL_Midi);
            spa_pod_builder_bytes(&builder, bytes.bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size));
            return true;
        });
    spa_pod_builder_pop(&builder, &sequence);
    data.chunk->offset = 0;
    data.chunk->stride = 1;
    data.chunk->size = builder.state.offset;
    pw_filter_queue_buffer(port_, buffer);
}

void PipeWireMidiPort::onCoreError(void* self, std::uint32_t id, int /*seq*/, int res,
                                   const char* /*message*/) {
    auto* port = static_cast<PipeWireMidiPort*>(self);
    if (id == PW_ID_CORE && res == -EPIPE) {
        port->serverGone_ = true;
        pw_thread_loop_signal(port->connection_.loop(), false);
    }
}

void PipeWireMidiPort::onState(void* self, pw_filter_state /*old*/, pw_filter_state state,
                               const char* /*error*/) {
    auto* port = static_cast<PipeWireMidiPort*>(self);
    port->filterState_ = state;
    if (state == PW_FILTER_STATE_ERROR) {
        port->serverGone_ = true;
    }
    pw_thread_loop_signal(port->connection_.loop(), false);
}

void PipeWireMidiPort::onProcess(void* self, spa_io_position* position) {
    if (position != nullptr) {
        static_cast<PipeWireMidiPort*>(self)->writeCycle(*position);
    }
}

} // namespace

bool pipeWireRunning() {
    initialisePipeWire();
    pw_main_loop* loop = pw_main_loop_new(nullptr);
    if (loop == nullptr) {
        return false;
    }
    pw_context* context = pw_context_new(pw_main_loop_get_loop(loop), nullptr, 0);
    pw_core* core = context != nullptr ? pw_context_connect(context, nullptr, 0) : nullptr;
    const bool running = core != nullptr;
    if (core != nullptr) {
        pw_core_disconnect(core);
    }
    if (context != nullptr) {
        pw_context_destroy(context);
    }
    pw_main_loop_destroy(loop);
    return running;
}

std::unique_ptr<OutputDevice> openPipeWireMidiPort(const SchedulerConfig& config,
                                                   OutputState& failure) {
    auto port = std::make_unique<PipeWireMidiPort>(config);
    if (!port->open(failure)) {
        return nullptr;
    }
    return port;
}

} // namespace tarnwick
