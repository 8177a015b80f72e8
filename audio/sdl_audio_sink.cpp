#include "audio/sdl_audio_sink.h"

#include <SDL.h>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace tarnwick {

namespace {

class SdlAudioSink final : public AudioSink {
  public:
    SdlAudioSink(AudioSource& source, double sampleRate)
        : source_(source), sampleRate_(sampleRate), left_(kAudioPeriodFrames),
          right_(kAudioPeriodFrames) {}

    ~SdlAudioSink() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_); // waits for a running callback
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    SdlAudioSink(const SdlAudioSink&) = delete;
    SdlAudioSink& operator=(const SdlAudioSink&) = delete;

    bool start() {
        SDL_AudioSpec wanted{};
        wanted.freq = static_cast<int>(sampleRate_);
        wanted.format = AUDIO_F32SYS;
        wanted.channels = 2;
        wanted.samples = kAudioPeriodFrames;
        wanted.callback = &SdlAudioSink::fill;
        wanted.userdata = this;
        SDL_AudioSpec obtained{};
        // No changes allowed: SDL converts to whatever the device plays.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (device_ == 0) {
            return false;
        }
        // SDL plays the buffer just filled after the one playing now.
        latency_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(2.0 * obtained.samples / sampleRate_));
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    double sampleRate() const override { return sampleRate_; }
    std::chrono::nanoseconds latency() const override { return latency_; }

  private:
    // SDL's callback: interleaved stereo floats, `bytes` long.
    static void fill(void* data, std::uint8_t* stream, int bytes) {
        auto* sink = static_cast<SdlAudioSink*>(data);
        auto* out = reinterpret_cast<float*>(stream);
        int frames = bytes / static_cast<int>(2 * sizeof(float));
        auto heardAt = SteadyClock::now() + sink->latency_;
        while (frames > 0) {
            const int chunk = std::min(frames, kAudioPeriodFrames);
            sink->source_.render({sink->left_.data(), sink->right_.data(), chunk, heardAt});
            heardAt += std::chrono::duration_cast<SteadyClock::duration>(
                std::chrono::duration<double>(chunk / sink->sampleRate_));
            for (std::size_t i = 0; i < static_cast<std::size_t>(chunk); ++i) {
                *out++ = sink->left_[i];
                *out++ = sink->right_[i];
            }
            frames -= chunk;
        }
    }

    AudioSource& source_;
    double sampleRate_;
    std::chrono::nanoseconds latency_{0};
    SDL_AudioDeviceID device_ = 0;
    std::vector<float> left_;
    std::vector<float> right_;
};

} // namespace

std::unique_ptr<AudioSink> openSdlAudioSink(double sampleRate, AudioSource& source) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return nullptr;
    }
    // From here on the sink's destructor quits the subsystem again.
    auto sink = std::make_unique<SdlAudioSink>(source, sampleRate);
    if (!sink->start()) {
        return nullptr;
    }
    return sink;
}

} // namespace tarnwick
