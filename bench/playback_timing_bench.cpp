// How steady the beat sounds: the real step timer (a precise QTimer on Qt's
// event loop, offscreen platform) drives the transport and the step player,
// which strike one wood block per step through the built-in synthesiser. A
// thread of our own stands in for the sound card, rendering in real time into
// a WAV file; the onsets found in that audio are compared with the ideal step
// grid. Run with one core idle and with one core kept busy, once with the
// messages applied as they arrive and once scheduled on the sample clock;
// and, scheduled, once more with the window's piano roll shown, following
// every tick and repainting its playhead's columns as the window does.
//
// Counters: median_ms, p99_ms and max_ms of the absolute deviation from the
// grid, drift_ms (mean deviation of the last 20 onsets less the first 20),
// latency_ms (the constant offset taken off) and onsets found (of 400); and,
// for comparison, how late the timer's ticks ran: tick_late_median_ms,
// tick_late_p99_ms and tick_late_max_ms.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include "bench/paced_wav_sink.h"
#include "bench/timing_analysis.h"
#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/play_state.h"
#include "playback/qt_step_timer.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "synth/builtin_synth_output.h"
#include "window/piano_roll_widget.h"

namespace tarnwick::bench {
namespace {

constexpr int kSteps = 400;
constexpr int kWoodBlock = 50; // drum-table entry: percussion key 76
constexpr double kSampleRate = 44100.0;

// Keeps one core busy while it lives.
class BusyCore {
  public:
    BusyCore() : thread_([this] { spin(); }) {}
    ~BusyCore() {
        stop_ = true;
        thread_.join();
    }
    BusyCore(const BusyCore&) = delete;
    BusyCore& operator=(const BusyCore&) = delete;

  private:
    void spin() {
        std::uint64_t x = 1;
        while (!stop_.load(std::memory_order_relaxed)) {
            x = x * 6364136223846793005u + 1442695040888963407u;
        }
        sink_ = x;
    }
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sink_{0};
    std::thread thread_;
};

std::vector<float> readWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<float> audio(static_cast<std::size_t>(info.frames));
    sf_readf_float(file, audio.data(), info.frames);
    sf_close(file);
    return audio;
}

double seconds(SteadyClock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

void BM_PlaybackTiming(benchmark::State& state) {
    const int stepMs = static_cast<int>(state.range(0));
    const bool busy = state.range(1) != 0;
    const bool scheduled = state.range(2) != 0;
    const bool rollShown = state.range(3) != 0;
    const std::string wav =
        (std::filesystem::temp_directory_path() /
         ("tarnwick-timing-" + std::to_string(stepMs) + "-" + std::to_string(busy) + "-" +
          std::to_string(scheduled) + "-" + std::to_string(rollShown) + ".wav"))
            .string();
    for (auto _ : state) {
        PacedWavSink* card = nullptr;
        BuiltinSynthOptions options;
        options.drivers = {"paced-wav"};
        options.scheduler.scheduled = scheduled;
        options.synth.effects = false; // onsets on a dry signal
        options.openSink = [&](std::string_view, double rate, AudioSource& source) {
            auto sink = std::make_unique<PacedWavSink>(wav, rate, source);
            card = sink.get();
            return sink->isOpen() ? std::unique_ptr<AudioSink>(std::move(sink)) : nullptr;
        };
        auto output = std::make_unique<BuiltinSynthOutput>(options);
        if (!output->waitUntilOpen(std::chrono::seconds(60)) || output->isSilent()) {
            state.SkipWithError(statusLine(output->state()).c_str());
            return;
        }
        // Let the sample clock lock on, as it has long done when a user
        // presses "Play".
        std::this_thread::sleep_for(std::chrono::seconds(2));
        std::unique_ptr<BusyCore> load;
        if (busy) {
            load = std::make_unique<BusyCore>();
        }

        SongSettings settings;
        settings.stepMs = stepMs;
        settings.beatLength = 1;
        settings.drumKit.fill(kWoodBlock);
        settings.drumVolume = 127; // every hit at full velocity: identical notes
        Score score;               // all rests: only the drums play
        PlayState play;
        RandomGenerator random(1);
        // The roll shows a whole canon, so its paints cost what they do in use.
        std::unique_ptr<PianoRollWidget> roll;
        Score shown;
        if (rollShown) {
            SongSettings canon;
            RandomGenerator drawSeed(2024);
            applyStartValues(canon, drawSeed);
            generateScore(canon, shown);
            roll = std::make_unique<PianoRollWidget>();
            roll->show();
        }
        std::vector<SteadyClock::time_point> ideal;
        std::vector<double> lateness;
        QtStepTimer timer([&](SteadyClock::time_point idealTime) {
            lateness.push_back(
                std::chrono::duration<double, std::milli>(SteadyClock::now() - idealTime).count());
            ideal.push_back(idealTime);
            output->setMessageTime(idealTime);
            playStep(play, score, settings, random, *output);
            if (roll) {
                roll->followTick(play, settings);
            }
            if (ideal.size() == kSteps) {
                output->setMessageTime(SteadyClock::now());
                stopPlayback(*output, timer);
                QCoreApplication::exit(0);
            }
        });
        const auto started = SteadyClock::now();
        output->setMessageTime(started);
        startPlayback(settings, score, play, *output, timer);
        if (roll) {
            roll->startPerformance(shown, settings, play);
        }
        QCoreApplication::exec();
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - started).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        load.reset();
        const double cardStart = seconds(card->startTime());
        output.reset(); // closes the WAV

        const std::vector<float> audio = readWav(wav);
        std::vector<double> onsets;
        for (double frame : detectOnsets(audio, 0.6 * stepMs * kSampleRate / 1000.0)) {
            onsets.push_back(cardStart + frame / kSampleRate);
        }
        const TimingFigures figures =
            compareWithGrid(onsets, seconds(ideal.front()), stepMs / 1000.0);
        state.counters["median_ms"] = figures.medianMs;
        state.counters["p99_ms"] = figures.p99Ms;
        state.counters["max_ms"] = figures.maxMs;
        state.counters["drift_ms"] = figures.driftMs;
        state.counters["latency_ms"] = figures.latencyMs;
        state.counters["onsets"] = static_cast<double>(figures.onsets);
        std::sort(lateness.begin(), lateness.end());
        state.counters["tick_late_median_ms"] = lateness[lateness.size() / 2];
        state.counters["tick_late_p99_ms"] = lateness[lateness.size() * 99 / 100];
        state.counters["tick_late_max_ms"] = lateness.back();
        if (std::getenv("TARNWICK_KEEP_TIMING_WAV") == nullptr) {
            std::filesystem::remove(wav);
        }
    }
}

BENCHMARK(BM_PlaybackTiming)
    ->ArgNames({"step_ms", "busy_core", "scheduled", "roll"})
    ->ArgsProduct({{50, 175}, {0, 1}, {0, 1}, {0}})
    ->ArgsProduct({{50, 175}, {0, 1}, {1}, {1}})
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
} // namespace tarnwick::bench

int main(int argc, char** argv) {
    // The window's event loop without a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
