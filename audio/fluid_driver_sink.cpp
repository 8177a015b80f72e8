#include "audio/fluid_driver_sink.h"

#include <algorithm>
#include <string>

#include <fluidsynth.h>

#include "audio/fluid_log.h"

namespace tarnwick {

namespace {

class FluidDriverSink final : public AudioSink {
  public:
    FluidDriverSink(fluid_settings_t* settings, AudioSource& source, double sampleRate,
                    std::chrono::nanoseconds latency)
        : settings_(settings), source_(source), sampleRate_(sampleRate), latency_(latency) {}

    ~FluidDriverSink() override {
        if (driver_ != nullptr) {
            delete_fluid_audio_driver(driver_);
        }
        delete_fluid_settings(settings_);
    }
    FluidDriverSink(const FluidDriverSink&) = delete;
    FluidDriverSink& operator=(const FluidDriverSink&) = delete;

    bool start() {
        driver_ = new_fluid_audio_driver2(settings_, &FluidDriverSink::process, this);
        return driver_ != nullptr;
    }

    double sampleRate() const override { return sampleRate_; }
    std::chrono::nanoseconds latency() const override { return latency_; }

  private:
    // FluidSynth's audio callback. Drivers pass two output buffers (left and
    // right) and no effect buffers; anything else is left silent.
    static int process(void* data, int len, int /*nfx*/, float* /*fx*/[], int nout, float* out[]) {
        const auto* sink = static_cast<const FluidDriverSink*>(data);
        if (nout >= 2) {
            // The driver keeps calling while the source is silent; the source
            // then fills the periods cheaply.
            sink->source_.render({out[0], out[1], len, SteadyClock::now() + sink->latency_});
        }
        for (int i = nout >= 2 ? 2 : 0; i < nout; ++i) {
            std::fill(out[i], out[i] + len, 0.0f);
        }
        return FLUID_OK;
    }

    fluid_settings_t* settings_;
    fluid_audio_driver_t* driver_ = nullptr;
    AudioSource& source_;
    double sampleRate_;
    std::chrono::nanoseconds latency_;
};

} // namespace

std::unique_ptr<AudioSink> openFluidDriverSink(std::string_view driver, double sampleRate,
                                               std::chrono::nanoseconds latency,
                                               AudioSource& source) {
    silenceFluidSynthLog();
    fluid_settings_t* settings = new_fluid_settings();
    if (settings == nullptr) {
        return nullptr;
    }
    const std::string name(driver);
    fluid_settings_setstr(settings, "audio.driver", name.c_str());
    fluid_settings_setnum(settings, "synth.sample-rate", sampleRate);
    fluid_settings_setint(settings, "audio.period-size", kAudioPeriodFrames);
    fluid_settings_setint(settings, "audio.periods", kFluidDriverPeriods);
    fluid_settings_setstr(settings, "audio.jack.id", "Tarnwick");
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    auto sink = std::make_unique<FluidDriverSink>(settings, source, sampleRate, latency);
    if (!sink->start()) {
        return nullptr;
    }
    return sink;
}

} // namespace tarnwick
