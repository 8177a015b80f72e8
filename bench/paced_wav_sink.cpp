#include "bench/paced_wav_sink.h"

#include <chrono>

namespace tarnwick::bench {

PacedWavSink::PacedWavSink(const std::string& path, double sampleRate, AudioSource& source)
    : sampleRate_(sampleRate), source_(source) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        return;
    }
    start_ = SteadyClock::now() + std::chrono::milliseconds(10);
    thread_ = std::thread([this] { run(); });
}

PacedWavSink::~PacedWavSink() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

void PacedWavSink::run() {
    std::vector<float> left(kAudioPeriodFrames);
    std::vector<float> right(kAudioPeriodFrames);
    for (std::int64_t period = 0; !stopping_; ++period) {
        const double due = static_cast<double>(period * kAudioPeriodFrames) / sampleRate_;
        const auto dueTime = start_ + std::chrono::duration_cast<SteadyClock::duration>(
                                          std::chrono::duration<double>(due));
        std::this_thread::sleep_until(dueTime);
        source_.render({left.data(), right.data(), kAudioPeriodFrames, dueTime});
        sf_writef_float(file_, left.data(), kAudioPeriodFrames);
    }
}

} // namespace tarnwick::bench
