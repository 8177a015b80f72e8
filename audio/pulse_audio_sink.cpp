#include "audio/pulse_audio_sink.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <pulse/pulseaudio.h>
#include <string_view>
#include <vector>

#include "audio/audio_thread_priority.h"

namespace tarnwick {

namespace {

// The whole way from our buffer to the listener, the server's sink included:
// a busy machine must not run it dry, and Stop must still be heard at once.
constexpr pa_usec_t kTargetLatencyUs = 30'000;
// Longer than any local server takes to answer; then it is taken for absent.
constexpr pa_usec_t kOpenTimeoutUs = 5'000'000;
// How often the server is asked where it plays: between its reports the
// stream's timeline is carried on at the nominal rate.
constexpr auto kReportEvery = std::chrono::milliseconds(100);
// A report that took longer than this to come back is not used.
constexpr pa_usec_t kMaxReportAgeUs = 1000;
// After resume(), how long to wait for the server's first report before the
// buffer is taken as the lead.
constexpr auto kFirstReportWithin = std::chrono::milliseconds(100);
constexpr std::size_t kFrameBytes = 2 * sizeof(float);

class MainloopLock {
  public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

void dropOperation(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

class PulseAudioSink final : public AudioSink {
  public:
    PulseAudioSink(double sampleRate, AudioSource& source)
        : sampleRate_(sampleRate), source_(source), left_(kAudioPeriodFrames),
          right_(kAudioPeriodFrames), interleaved_(2 * kAudioPeriodFrames) {}
    ~PulseAudioSink() override;
    PulseAudioSink(const PulseAudioSink&) = delete;
    PulseAudioSink& operator=(const PulseAudioSink&) = delete;

    bool open();

    double sampleRate() const override { return sampleRate_; }
    std::chrono::nanoseconds latency() const override { return latency_; }
    void resume() override;
    std::string serverName() const override { return onPipeWire_ ? "PipeWire" : ""; }

  private:
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onTimingUpdate(pa_stream* stream, int success, void* self);
    static void onTimingReport(pa_stream* stream, void* self);
    static void onTimeout(pa_mainloop_api* api, pa_time_event* event, const timeval* time,
                          void* self);

    // With the loop locked: waits for the server, the stream and its timing.
    bool connect();
    template <typename Done>
    bool waitUntil(Done&& done);
    void fill(std::size_t bytes);
    void askForReport();
    void takeReport();
    std::optional<SteadyClock::time_point> heardAtWriteIndex();
    void lose();

    double sampleRate_;
    AudioSource& source_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::chrono::nanoseconds latency_{0};
    // Touched by the loop's thread, or by others with the loop locked.
    bool opened_ = false;
    bool paused_ = true;
    bool timedOut_ = false;
    bool lost_ = false;
    bool prioritySet_ = false;
    // The server says it is PipeWire serving the PulseAudio protocol.
    bool onPipeWire_ = false;
    // The server's last report, as a point on the stream's timeline: frame
    // reportedFrame_ was heard at reportedAt_. None while paused.
    std::optional<SteadyClock::time_point> reportedAt_;
    double reportedFrame_ = 0.0;
    SteadyClock::time_point lastAsked_;
    SteadyClock::time_point resumedAt_;
    std::vector<float> left_, right_, interleaved_;
};

PulseAudioSink::~PulseAudioSink() {
    if (loop_ != nullptr) {
        pa_threaded_mainloop_stop(loop_); // no callback after this
    }
    if (stream_ != nullptr) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_ != nullptr) {
        pa_threaded_mainloop_free(loop_);
    }
}

bool PulseAudioSink::open() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) {
        return false;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Tarnwick");
    if (context_ == nullptr) {
        return false;
    }
    pa_context_set_state_callback(context_, &onContextState, this);
    // Never start a server on our behalf.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop_) < 0) {
        return false;
    }
    const MainloopLock lock(loop_);
    pa_time_event* timeout =
        pa_context_rttime_new(context_, pa_rtclock_now() + kOpenTimeoutUs, &onTimeout, this);
    opened_ = connect();
    if (timeout != nullptr) {
        pa_threaded_mainloop_get_api(loop_)->time_free(timeout);
    }
    return opened_;
}

template <typename Done>
bool PulseAudioSink::waitUntil(Done&& done) {
    while (!done()) {
        if (timedOut_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) ||
            (stream_ != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))) {
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    return true;
}

bool PulseAudioSink::connect() {
    if (!waitUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; })) {
        return false;
    }
    pa_operation* info = pa_context_get_server_info(context_, &onServerInfo, this);
    const bool answered = info != nullptr && waitUntil([info] {
                              return pa_operation_get_state(info) != PA_OPERATION_RUNNING;
                          });
    dropOperation(info);
    if (!answered) {
        return false;
    }
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(sampleRate_), 2};
    stream_ = pa_stream_new(context_, "Tarnwick", &format, nullptr);
    if (stream_ == nullptr) {
        return false;
    }
    pa_stream_set_state_callback(stream_, &onStreamState, this);
    pa_stream_set_write_callback(stream_, &onWritable, this);
    pa_stream_set_latency_update_callback(stream_, &onTimingReport, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &format));
    // Play on through a late period rather than wait for the buffer to fill
    // again: waiting would push everything after it later for good.
    attr.prebuf = 0;
    attr.minreq = static_cast<std::uint32_t>(kAudioPeriodFrames * kFrameBytes);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    // Corked until resume(): the buffer is filled with silence first.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                       PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0 ||
        !waitUntil([this] { return pa_stream_get_state(stream_) == PA_STREAM_READY; })) {
        return false;
    }
    pa_operation* update = pa_stream_update_timing_info(stream_, &onTimingUpdate, this);
    const bool updated = update != nullptr && waitUntil([update] {
                             return pa_operation_get_state(update) != PA_OPERATION_RUNNING;
                         });
    dropOperation(update);
    const pa_buffer_attr* actual = pa_stream_get_buffer_attr(stream_);
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (!updated || actual == nullptr || timing == nullptr) {
        return false;
    }
    latency_ =
        std::chrono::microseconds(pa_bytes_to_usec(actual->tlength, &format) + timing->sink_usec);
    return true;
}

void PulseAudioSink::resume() {
    const MainloopLock lock(loop_);
    if (!paused_ || lost_ || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return;
    }
    paused_ = false;
    resumedAt_ = SteadyClock::now();
    dropOperation(pa_stream_cork(stream_, 0, nullptr, nullptr));
    askForReport();
}

void PulseAudioSink::askForReport() {
    lastAsked_ = SteadyClock::now();
    dropOperation(pa_stream_update_timing_info(stream_, nullptr, nullptr));
}

// The server reports how far it has read the stream, how long its sink takes
// to play what it has read, and when (on the wall clock) it looked.
void PulseAudioSink::takeReport() {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    // A report that took long to come back was taken at a moment we do not
    // know well enough.
    if (paused_ || timing == nullptr || timing->playing == 0 || timing->read_index_corrupt != 0 ||
        timing->transport_usec > kMaxReportAgeUs) {
        return;
    }
    const auto wallNow = std::chrono::system_clock::now();
    const auto steadyNow = SteadyClock::now();
    const auto looked =
        std::chrono::system_clock::time_point(std::chrono::seconds(timing->timestamp.tv_sec) +
                                              std::chrono::microseconds(timing->timestamp.tv_usec));
    reportedAt_ = steadyNow - std::chrono::duration_cast<SteadyClock::duration>(wallNow - looked);
    reportedFrame_ = static_cast<double>(timing->read_index) / static_cast<double>(kFrameBytes) -
                     static_cast<double>(timing->sink_usec) * 1e-6 * sampleRate_;
}

void PulseAudioSink::fill(std::size_t bytes) {
    if (!paused_ && SteadyClock::now() - lastAsked_ >= kReportEvery) {
        askForReport();
    }
    for (std::size_t frames = bytes / kFrameBytes; frames > 0;) {
        const int n = static_cast<int>(std::min<std::size_t>(frames, kAudioPeriodFrames));
        // Until the server has said where it plays, after a resume, the
        // buffer is kept full of silence: nothing is rendered on a guess.
        const auto heardAt = paused_ ? std::nullopt : heardAtWriteIndex();
        if (!heardAt) {
            std::fill_n(interleaved_.begin(), 2 * n, 0.0f);
        } else {
            const bool sounding = source_.render({left_.data(), right_.data(), n, *heardAt});
            for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                interleaved_[2 * i] = left_[i];
                interleaved_[2 * i + 1] = right_[i];
            }
            if (!sounding) {
                // The rest of the request is silence too; the buffer stays
                // full, so the lead is the same when play resumes.
                paused_ = true;
                reportedAt_.reset();
                dropOperation(pa_stream_cork(stream_, 1, nullptr, nullptr));
            }
        }
        pa_stream_write(stream_, interleaved_.data(), static_cast<std::size_t>(n) * kFrameBytes,
                        nullptr, 0, PA_SEEK_RELATIVE);
        frames -= static_cast<std::size_t>(n);
    }
}

// The moment the next frame written is heard: the server's last report
// carried on along the stream at the nominal rate.
std::optional<SteadyClock::time_point> PulseAudioSink::heardAtWriteIndex() {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (timing == nullptr || timing->write_index_corrupt != 0) {
        return std::nullopt;
    }
    if (!reportedAt_) {
        if (SteadyClock::now() - resumedAt_ < kFirstReportWithin) {
            return std::nullopt;
        }
        return SteadyClock::now() + latency_; // a server that does not report
    }
    const double written =
        static_cast<double>(timing->write_index) / static_cast<double>(kFrameBytes);
    const std::chrono::duration<double> ahead((written - reportedFrame_) / sampleRate_);
    return *reportedAt_ + std::chrono::duration_cast<SteadyClock::duration>(ahead);
}

void PulseAudioSink::lose() {
    if (opened_ && !lost_) {
        lost_ = true;
        source_.sinkLost(onPipeWire_ ? "PipeWire" : "pulseaudio");
    }
}

void PulseAudioSink::onContextState(pa_context* context, void* self) {
    auto* sink = static_cast<PulseAudioSink*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        sink->lose();
    }
    pa_threaded_mainloop_signal(sink->loop_, 0);
}

void PulseAudioSink::onStreamState(pa_stream* stream, void* self) {
    auto* sink = static_cast<PulseAudioSink*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        sink->lose();
    }
    pa_threaded_mainloop_signal(sink->loop_, 0);
}

void PulseAudioSink::onWritable(pa_stream* /*stream*/, std::size_t bytes, void* self) {
    auto* sink = static_cast<PulseAudioSink*>(self);
    if (!sink->prioritySet_) {
        sink->prioritySet_ = true;
        raiseAudioThreadPriority();
    }
    if (!sink->lost_) {
        sink->fill(bytes);
    }
}

void PulseAudioSink::onServerInfo(pa_context* /*context*/, const pa_server_info* info, void* self) {
    auto* sink = static_cast<PulseAudioSink*>(self);
    sink->onPipeWire_ =
        info != nullptr && info->server_name != nullptr &&
        std::string_view(info->server_name).find("PipeWire") != std::string_view::npos;
    pa_threaded_mainloop_signal(sink->loop_, 0);
}

void PulseAudioSink::onTimingUpdate(pa_stream* /*stream*/, int /*success*/, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioSink*>(self)->loop_, 0);
}

void PulseAudioSink::onTimingReport(pa_stream* /*stream*/, void* self) {
    static_cast<PulseAudioSink*>(self)->takeReport();
}

void PulseAudioSink::onTimeout(pa_mainloop_api* /*api*/, pa_time_event* /*event*/,
                               const timeval* /*time*/, void* self) {
    auto* sink = static_cast<PulseAudioSink*>(self);
    sink->timedOut_ = true;
    pa_threaded_mainloop_signal(sink->loop_, 0);
}

} // namespace

std::unique_ptr<AudioSink> openPulseAudioSink(double sampleRate, AudioSource& source) {
    auto sink = std::make_unique<PulseAudioSink>(sampleRate, source);
    if (!sink->open()) {
        return nullptr;
    }
    return sink;
}

} // namespace tarnwick
