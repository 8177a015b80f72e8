#pragma once
// The output "builtin": a FluidSynth synthesiser with a General MIDI
// SoundFont, heard through the first audio driver that opens.
//
// Opening takes up to a second (the font is large), so it happens on a thread
// of its own: the constructor returns at once. Messages sent meanwhile wait in
// the queue; once the synthesiser plays, the program and controller changes
// among them take effect, and note-ons that are long past due are dropped.
// Sending never blocks; each message is heard a fixed latency after the time
// given with setMessageTime (see MessageScheduler).
//
// When nothing sounds, the synthesiser stops rendering and the next message
// wakes it. When the audio driver goes away (a sound server that stops or
// restarts), the state says so and messages wait in the queue; from then on
// a message sent at least a second after the last try opens a driver again in
// the background, so the next Play after the server's return is heard (notes
// long past due by then are dropped, instruments and controllers still apply).

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_sink.h"
#include "playback/output_device.h"
#include "scheduling/message_scheduler.h"
#include "synth/synth_renderer.h"

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
                                             AudioSource& source)>
        openSink = openAudioSink;
};

class BuiltinSynthOutput final : public OutputDevice, private AudioSource {
  public:
    explicit BuiltinSynthOutput(BuiltinSynthOptions options);
    // Waits for a font that is still loading, then closes the audio driver.
    ~BuiltinSynthOutput() override;
    BuiltinSynthOutput(const BuiltinSynthOutput&) = delete;
    BuiltinSynthOutput& operator=(const BuiltinSynthOutput&) = delete;

    void send(std::uint32_t message) override;
    void setMessageTime(SteadyClock::time_point time) override { scheduler_.setMessageTime(time); }

    OutputState state() const override;
    bool isSilent() const override;
    bool waitUntilOpen(std::chrono::milliseconds timeout) override;

    // A sink that has not asked for audio for this long while music was due
    // has stopped (its device or server is gone).
    static constexpr auto kStalledAfter = std::chrono::seconds(2);
    // After the driver was lost, how often a message may try to open one.
    static constexpr auto kRetryEvery = std::chrono::seconds(1);

  private:
    using Kind = OutputState::Kind;

    void open();
    void reopen();
    // Tries the drivers in order; what the status line calls the one that
    // opened (its driver or server name), or "".
    std::string openSink(double sampleRate);
    void finish(OutputState state);
    // Playing becomes `interrupted`; other states stay.
    void lose(OutputState interrupted);
    void resumeSink();
    // Notices a sink that stopped, and opens one again after a loss.
    void checkSink();

    // AudioSource, on the audio thread.
    bool render(const AudioPeriod& period) override;
    void sinkLost(std::string_view driver) override;

    BuiltinSynthOptions options_;
    std::string fontPath_;
    std::string fontName_;
    MessageScheduler scheduler_;

    // Set by the opening thread once the font is loaded; read by the audio
    // thread, which renders silence until then.
    std::atomic<SynthRenderer*> renderer_{nullptr};
    std::unique_ptr<SynthRenderer> ownedRenderer_;

    // The sink, replaced by the opening thread and woken by the sending one.
    std::mutex sinkMutex_;
    std::unique_ptr<AudioSink> sink_;
    std::string driver_; // as openSink() returned it
    // True once the renderer said nothing sounds: the next message resumes
    // the sink.
    std::atomic<bool> idle_{true};
    // When the sink last asked for audio, or was resumed (nanoseconds).
    std::atomic<std::int64_t> lastRenderNs_{0};

    mutable std::mutex mutex_;
    std::condition_variable opened_;
    std::atomic<Kind> kind_{Kind::Opening};
    OutputState state_;

    // The sending thread's own: when it last tried to open a driver again.
    SteadyClock::time_point lastRetry_;
    std::atomic<bool> opening_{false};
    std::thread opener_;
};

} // namespace tarnwick
