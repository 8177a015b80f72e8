#include "outputs/fluid_driver_sink.h"

#include <algorithm>
#include <string>

#include <fluidsynth.h>

#include "outputs/fluid_log.h"

namespace tarnwick {

namespace {

class FluidDriverSink final : public AudioSink {
  public:
    FluidDriverSink(fluid_settings_t* settings, RenderCallback callback, double sampleRate)
        : settings_(settings), callback_(callback), sampleRate_(sampleRate) {}

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

  private:
    // FluidSynth's audio callback. Drivers pass two output buffers (left and
    // right) and no effect buffers; anything else is left silent.
    static int process(void* data, int len, int /*nfx*/, float* /*fx*/[], int nout, float* out[]) {
        const auto* sink = static_cast<const FluidDriverSink*>(data);
        if (nout >= 2) {
            sink->callback_.render(sink->callback_.user, out[0], out[1], len);
        }
        for (int i = nout >= 2 ? 2 : 0; i < nout; ++i) {
            std::fill(out[i], out[i] + len, 0.0f);
        }
        return FLUID_OK;
    }

    fluid_settings_t* settings_;
    fluid_audio_driver_t* driver_ = nullptr;
    RenderCallback callback_;
    double sampleRate_;
};

} // namespace

std::unique_ptr<AudioSink> openFluidDriverSink(std::string_view driver, double sampleRate,
                                               RenderCallback callback) {
    silenceFluidSynthLog();
    fluid_settings_t* settings = new_fluid_settings();
    if (settings == nullptr) {
        return nullptr;
    }
    const std::string name(driver);
    fluid_settings_setstr(settings, "audio.driver", name.c_str());
    fluid_settings_setnum(settings, "synth.sample-rate", sampleRate);
    fluid_settings_setint(settings, "audio.period-size", kAudioPeriodFrames);
    // ALSA: a buffer of four periods, 23 ms at 44.1 kHz.
    fluid_settings_setint(settings, "audio.periods", 4);
    // An empty role keeps the pulseaudio driver from setting an environment
    // variable from its own thread while others may read the environment.
    fluid_settings_setstr(settings, "audio.pulseaudio.media-role", "");
    fluid_settings_setstr(settings, "audio.jack.id", "Tarnwick");
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    auto sink = std::make_unique<FluidDriverSink>(settings, callback, sampleRate);
    if (!sink->start()) {
        return nullptr;
    }
    return sink;
}

} // namespace tarnwick
