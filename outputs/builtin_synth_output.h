#pragma once
// The output "builtin": a FluidSynth synthesiser with a General MIDI
// SoundFont, heard through the first audio driver that opens.
//
// Opening takes up to a second (the font is large), so it happens on a thread
// of its own: the constructor returns at once. Messages sent meanwhile wait in
// the queue; once the synthesiser plays, the program and controller changes
// among them take effect, and note-ons that are long past due are dropped.
// Sending never blocks; each message sounds a fixed latency after the time
// given with setMessageTime (see MessageScheduler).

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "outputs/audio_sink.h"
#include "outputs/message_scheduler.h"
#include "outputs/output_device.h"
#include "outputs/synth_renderer.h"

namespace tarnwick {

struct BuiltinSynthOptions {
    // A .sf2 or .sf3 file; empty: the first of the default General MIDI fonts.
    std::string soundFont;
    // Audio drivers to try, in order; empty: all, in audioDriverNames() order.
    std::vector<std::string> drivers;
    SchedulerConfig scheduler;
    SynthConfig synth;
    // Opens one audio driver; tests put a sound card of their own here.
    std::function<std::unique_ptr<AudioSink>(std::string_view driver, double sampleRate,
                                             RenderCallback callback)>
        openSink = openAudioSink;
};

class BuiltinSynthOutput final : public OutputDevice {
  public:
    explicit BuiltinSynthOutput(BuiltinSynthOptions options);
    // Waits for a font that is still loading, then closes the audio driver.
    ~BuiltinSynthOutput() override;
    BuiltinSynthOutput(const BuiltinSynthOutput&) = delete;
    BuiltinSynthOutput& operator=(const BuiltinSynthOutput&) = delete;

    void send(std::uint32_t message) override { scheduler_.send(message); }
    void setMessageTime(SteadyClock::time_point time) override { scheduler_.setMessageTime(time); }

    std::string status() const override;
    bool isSilent() const override;
    bool waitUntilOpen(std::chrono::milliseconds timeout) override;

  private:
    enum class State { Opening, Playing, Silent };

    void open();
    void finish(State state, std::string status);
    static void renderAudio(void* self, float* left, float* right, int frames);

    BuiltinSynthOptions options_;
    std::string fontPath_;
    std::string fontName_;
    MessageScheduler scheduler_;

    // Set by the opening thread once the font is loaded; read by the audio
    // thread, which renders silence until then.
    std::atomic<SynthRenderer*> renderer_{nullptr};
    std::unique_ptr<SynthRenderer> ownedRenderer_;
    std::unique_ptr<AudioSink> sink_;

    mutable std::mutex mutex_;
    std::condition_variable opened_;
    State state_ = State::Opening;
    std::string status_;

    std::thread opener_;
};

} // namespace tarnwick
