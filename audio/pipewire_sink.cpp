#include "audio/pipewire_sink.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <pipewire/pipewire.h>
#include <pthread.h>
#include <sched.h>
#include <spa/param/audio/format-utils.h>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio_thread_priority.h"
#include "audio/period_stamps.h"
#include "audio/pipewire_connection.h"

namespace tarnwick {

namespace {

// The graph period asked for, about 21 ms: long enough that a busy machine
// does not miss a cycle, short enough that Stop is heard at once. The graph
// takes the shortest period any of its streams asks for.
constexpr const char* kNodeLatency = "1024/48000";
constexpr double kNodeLatencySeconds = 1024.0 / 48000.0;
// Longer than any local server takes to answer; then it is taken for absent.
constexpr int kOpenTimeoutSeconds = 5;
constexpr std::size_t kFrameBytes = 2 * sizeof(float);
// After the stream starts, its first cycles are played as silence, and a
// report older than any graph period is not used: nothing is rendered on a
// guess (the performance waits for the stream instead).
constexpr int kSettlingCycles = 2;
constexpr auto kStaleReport = std::chrono::milliseconds(100);

class ThreadLoopLock {
  public:
    explicit ThreadLoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~ThreadLoopLock() { pw_thread_loop_unlock(loop_); }
    ThreadLoopLock(const ThreadLoopLock&) = delete;
    ThreadLoopLock& operator=(const ThreadLoopLock&) = delete;

  private:
    pw_thread_loop* loop_;
};

// PipeWire's interface calls are macros that cast in C's way.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
void addCoreListener(pw_core* core, spa_hook* hook, const pw_core_events* events, void* data) {
    pw_core_add_listener(core, hook, events, data);
}
pw_registry* coreRegistry(pw_core* core) {
    return pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
}
void addRegistryListener(pw_registry* registry, spa_hook* hook, const pw_registry_events* events,
                         void* data) {
    pw_registry_add_listener(registry, hook, events, data);
}
int syncCore(pw_core* core) {
    return pw_core_sync(core, PW_ID_CORE, 0);
}
#pragma GCC diagnostic pop

SteadyClock::duration ticksToDuration(double ticks, const spa_fraction& rate) {
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(ticks * rate.num / rate.denom));
}

class PipeWireSink final : public AudioSink {
  public:
    PipeWireSink(double sampleRate, AudioSource& source)
        : sampleRate_(sampleRate), source_(source), stamps_(sampleRate), left_(kAudioPeriodFrames),
          right_(kAudioPeriodFrames) {}
    ~PipeWireSink() override;
    PipeWireSink(const PipeWireSink&) = delete;
    PipeWireSink& operator=(const PipeWireSink&) = delete;

    bool open();

    double sampleRate() const override { return sampleRate_; }
    std::chrono::nanoseconds latency() const override { return latency_; }
    void resume() override;
    std::string serverName() const override { return "PipeWire"; }

  private:
    static void onCoreDone(void* self, std::uint32_t id, int seq);
    static void onCoreError(void* self, std::uint32_t id, int seq, int res, const char* message);
    static void onGlobal(void* self, std::uint32_t id, std::uint32_t permissions, const char* type,
                         std::uint32_t version, const spa_dict* props);
    static void onStreamState(void* self, pw_stream_state old, pw_stream_state state,
                              const char* error);
    static void onProcess(void* self);
    static int onIdle(spa_loop* loop, bool async, std::uint32_t seq, const void* data,
                      std::size_t size, void* self);

    // With the loop locked: waits until `done`, false on an error or timeout.
    template <typename Done>
    bool waitUntil(Done&& done);
    bool hasAudioSink();
    bool connectStream();
    void process();
    // When the first frame of the buffer about to be queued is heard, by the
    // graph's latest report (on a busy machine not always this cycle's: see
    // PeriodStamps); none while the report is not valid.
    std::optional<SteadyClock::time_point> heardAtNextFrame(std::uint32_t frames);
    void lose();

    double sampleRate_;
    AudioSource& source_;
    PipeWireConnection connection_;
    pw_stream* stream_ = nullptr;
    spa_hook coreListener_{};
    spa_hook streamListener_{};
    pw_core_events coreEvents_{};
    pw_registry_events registryEvents_{};
    pw_stream_events streamEvents_{};
    std::chrono::nanoseconds latency_{0};
    // Touched by the loop's thread, or by others with the loop locked.
    int syncSeq_ = -1;
    bool synced_ = false;
    bool failed_ = false;
    bool audioSinkSeen_ = false;
    bool opened_ = false;
    // Shared with the data thread. Paused from the start: the first cycle,
    // which tells the latency, plays silence.
    std::atomic<bool> paused_{true};
    std::atomic<bool> lost_{false};
    std::atomic<std::int64_t> firstLatencyNs_{-1};
    std::atomic<bool> startNow_{false}; // set by resume(), taken by the data thread
    bool prioritySet_ = false;          // the data thread's own
    int cyclesSinceStart_ = kSettlingCycles;
    PeriodStamps stamps_; // the data thread's own
    std::vector<float> left_, right_;
};

PipeWireSink::~PipeWireSink() {
    if (connection_.loop() == nullptr) {
        return;
    }
    const ThreadLoopLock lock(connection_.loop());
    if (stream_ != nullptr) {
        spa_hook_remove(&streamListener_); // its end is not a loss
        pw_stream_destroy(stream_);        // no process call after this
        stream_ = nullptr;
    }
    if (connection_.core() != nullptr) {
        spa_hook_remove(&coreListener_);
    }
}

template <typename Done>
bool PipeWireSink::waitUntil(Done&& done) {
    timespec deadline{};
    pw_thread_loop_get_time(connection_.loop(), &deadline,
                            static_cast<std::int64_t>(kOpenTimeoutSeconds) * SPA_NSEC_PER_SEC);
    while (!done()) {
        if (failed_ ||
            pw_thread_loop_timed_wait_full(connection_.loop(), &deadline) == -ETIMEDOUT) {
            return false;
        }
    }
    return !failed_;
}

bool PipeWireSink::open() {
    if (!connection_.start("tarnwick-pipewire")) {
        return false;
    }
    const ThreadLoopLock lock(connection_.loop());
    if (!connection_.connect()) {
        return false;
    }
    coreEvents_.version = PW_VERSION_CORE_EVENTS;
    coreEvents_.done = &onCoreDone;
    coreEvents_.error = &onCoreError;
    addCoreListener(connection_.core(), &coreListener_, &coreEvents_, this);
    if (!hasAudioSink() || !connectStream()) {
        return false;
    }
    opened_ = true;
    return true;
}

// Whether the server has an audio sink: a desktop that runs PulseAudio for
// sound may run PipeWire for video only, and a stream there is heard nowhere.
bool PipeWireSink::hasAudioSink() {
    pw_registry* registry = coreRegistry(connection_.core());
    if (registry == nullptr) {
        return false;
    }
    spa_hook registryListener{};
    registryEvents_.version = PW_VERSION_REGISTRY_EVENTS;
    registryEvents_.global = &onGlobal;
    addRegistryListener(registry, &registryListener, &registryEvents_, this);
    synced_ = false;
    syncSeq_ = syncCore(connection_.core());
    const bool answered = waitUntil([this] { return synced_; });
    spa_hook_remove(&registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
    return answered && audioSinkSeen_;
}

bool PipeWireSink::connectStream() {
    const std::string rate = std::to_string(static_cast<int>(sampleRate_));
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                          PW_KEY_MEDIA_ROLE, "Music", PW_KEY_APP_NAME, "Tarnwick", PW_KEY_NODE_NAME,
                          "Tarnwick", PW_KEY_NODE_LATENCY, kNodeLatency, nullptr);
    stream_ = pw_stream_new(connection_.core(), "Tarnwick", props);
    if (stream_ == nullptr) {
        return false;
    }
    streamEvents_.version = PW_VERSION_STREAM_EVENTS;
    streamEvents_.state_changed = &onStreamState;
    streamEvents_.process = &onProcess;
    pw_stream_add_listener(stream_, &streamListener_, &streamEvents_, this);

    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.rate = static_cast<std::uint32_t>(sampleRate_);
    format.channels = 2;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    std::uint8_t buffer[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0) {
        return false;
    }
    // The stream plays silence until its first cycle has told the whole way
    // from a render call to the listener; then it waits for resume().
    if (!waitUntil([this] { return firstLatencyNs_.load() >= 0; })) {
        return false;
    }
    latency_ = std::chrono::nanoseconds(firstLatencyNs_.load());
    pw_stream_set_active(stream_, false);
    return true;
}

void PipeWireSink::resume() {
    const ThreadLoopLock lock(connection_.loop());
    if (stream_ != nullptr && !lost_.load() && paused_.load()) {
        startNow_.store(true);
        paused_.store(false);
        pw_stream_set_active(stream_, true);
    }
}

std::optional<SteadyClock::time_point> PipeWireSink::heardAtNextFrame(std::uint32_t frames) {
    pw_time time{};
    if (pw_stream_get_time_n(stream_, &time, sizeof time) < 0 || time.now == 0 ||
        time.rate.denom == 0) {
        return std::nullopt;
    }
    // Right after the stream starts again its report may still be the last
    // cycle's from before it stopped, or its delay not yet settled.
    const auto age =
        SteadyClock::now() - SteadyClock::time_point(std::chrono::nanoseconds(time.now));
    if (age > kStaleReport || cyclesSinceStart_ < kSettlingCycles) {
        return std::nullopt;
    }
    // The cycle began at `now`; the next frame of the stream reaches the
    // device `delay` graph ticks later, after what is already queued and
    // what the resampler holds.
    const auto heardAt =
        SteadyClock::time_point(std::chrono::nanoseconds(time.now)) +
        ticksToDuration(static_cast<double>(time.delay), time.rate) +
        std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(
            static_cast<double>(time.queued + time.buffered) / sampleRate_));
    if (firstLatencyNs_.load(std::memory_order_relaxed) < 0) {
        // A render call comes at the start of a cycle at the earliest; its
        // last frame is heard a whole period after its first. The period may
        // grow up to the one asked for once other streams leave the graph.
        const auto period =
            std::chrono::duration<double>(std::max(frames / sampleRate_, kNodeLatencySeconds));
        const auto whole = heardAt - SteadyClock::time_point(std::chrono::nanoseconds(time.now)) +
                           std::chrono::duration_cast<SteadyClock::duration>(period);
        firstLatencyNs_.store(std::max<std::int64_t>(0, std::chrono::nanoseconds(whole).count()));
        pw_thread_loop_signal(connection_.loop(), false);
    }
    return heardAt;
}

void PipeWireSink::process() {
    if (!prioritySet_) {
        prioritySet_ = true;
        int policy = SCHED_OTHER;
        sched_param param{};
        if (pthread_getschedparam(pthread_self(), &policy, &param) != 0 || policy == SCHED_OTHER) {
            raiseAudioThreadPriority();
        }
    }
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream_);
    if (buffer == nullptr) {
        return;
    }
    spa_data& data = buffer->buffer->datas[0];
    auto* out = static_cast<float*>(data.data);
    if (out == nullptr) {
        pw_stream_queue_buffer(stream_, buffer);
        return;
    }
    auto frames = static_cast<std::uint32_t>(data.maxsize / kFrameBytes);
    if (buffer->requested > 0) {
        frames = std::min(frames, static_cast<std::uint32_t>(buffer->requested));
    }
    if (startNow_.exchange(false)) {
        cyclesSinceStart_ = 0;
    }
    const auto reported = heardAtNextFrame(frames);
    ++cyclesSinceStart_;
    std::optional<PeriodStamp> stamp;
    if (reported) {
        stamp = stamps_.next(*reported, frames);
    } else {
        stamps_.reset();
    }
    bool sounding = stamp && !paused_.load() && !lost_.load();
    for (std::uint32_t done = 0; done < frames;) {
        const auto n = std::min<std::uint32_t>(frames - done, kAudioPeriodFrames);
        float* interleaved = out + 2 * done;
        if (!sounding) {
            std::fill_n(interleaved, 2 * n, 0.0f);
        } else {
            const auto at = stamp->heardAt + std::chrono::duration_cast<SteadyClock::duration>(
                                                 std::chrono::duration<double>(done / sampleRate_));
            sounding = source_.render({left_.data(), right_.data(), static_cast<int>(n), at,
                                       stamp->restarted && done == 0});
            for (std::uint32_t i = 0; i < n; ++i) {
                interleaved[2 * i] = left_[i];
                interleaved[2 * i + 1] = right_[i];
            }
            if (!sounding) {
                // The rest is silence; the stream stops once the loop's
                // thread has seen to it, unless resume() came first.
                paused_.store(true);
                pw_loop_invoke(pw_thread_loop_get_loop(connection_.loop()), &onIdle, 0, nullptr, 0,
                               false, this);
            }
        }
        done += n;
    }
    data.chunk->offset = 0;
    data.chunk->stride = static_cast<std::int32_t>(kFrameBytes);
    data.chunk->size = static_cast<std::uint32_t>(frames * kFrameBytes);
    buffer->size = frames;
    pw_stream_queue_buffer(stream_, buffer);
}

void PipeWireSink::lose() {
    failed_ = true;
    if (opened_ && !lost_.exchange(true)) {
        source_.sinkLost("PipeWire");
    }
    pw_thread_loop_signal(connection_.loop(), false);
}

void PipeWireSink::onCoreDone(void* self, std::uint32_t id, int seq) {
    auto* sink = static_cast<PipeWireSink*>(self);
    if (id == PW_ID_CORE && seq == sink->syncSeq_) {
        sink->synced_ = true;
        pw_thread_loop_signal(sink->connection_.loop(), false);
    }
}

void PipeWireSink::onCoreError(void* self, std::uint32_t id, int /*seq*/, int res,
                               const char* /*message*/) {
    // The connection to the server is broken: it has gone away.
    if (id == PW_ID_CORE && res == -EPIPE) {
        static_cast<PipeWireSink*>(self)->lose();
    }
}

void PipeWireSink::onGlobal(void* self, std::uint32_t /*id*/, std::uint32_t /*permissions*/,
                            const char* type, std::uint32_t /*version*/, const spa_dict* props) {
    const char* mediaClass =
        props != nullptr ? spa_dict_lookup(props, PW_KEY_MEDIA_CLASS) : nullptr;
    if (type != nullptr && std::string_view(type) == PW_TYPE_INTERFACE_Node &&
        mediaClass != nullptr && std::string_view(mediaClass) == "Audio/Sink") {
        static_cast<PipeWireSink*>(self)->audioSinkSeen_ = true;
    }
}

void PipeWireSink::onStreamState(void* self, pw_stream_state /*old*/, pw_stream_state state,
                                 const char* /*error*/) {
    auto* sink = static_cast<PipeWireSink*>(self);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        sink->lose();
    }
    pw_thread_loop_signal(sink->connection_.loop(), false);
}

void PipeWireSink::onProcess(void* self) {
    static_cast<PipeWireSink*>(self)->process();
}

int PipeWireSink::onIdle(spa_loop* /*loop*/, bool /*async*/, std::uint32_t /*seq*/,
                         const void* /*data*/, std::size_t /*size*/, void* self) {
    auto* sink = static_cast<PipeWireSink*>(self);
    if (sink->stream_ != nullptr && sink->paused_.load()) {
        pw_stream_set_active(sink->stream_, false);
    }
    return 0;
}

} // namespace

std::unique_ptr<AudioSink> openPipeWireSink(double sampleRate, AudioSource& source) {
    auto sink = std::make_unique<PipeWireSink>(sampleRate, source);
    if (!sink->open()) {
        return nullptr;
    }
    return sink;
}

} // namespace tarnwick
