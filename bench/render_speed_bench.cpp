// How fast a piece renders to a WAV file: the whole `tarnwick --render-audio`
// command (start-up and font loading included) beside the FluidSynth command
// line (`fluidsynth -F`) rendering the exported MIDI file of the same piece
// with the same font, alternately in each iteration so both see the same
// machine. Reports each as seconds of audio per second of wall time (the
// real-time factor) and their ratio, and the processor time each used (user
// and system, all threads), which a busy machine does not inflate. The piece:
// the start values, 181.2 s.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <sndfile.h>

extern char** environ;

namespace {

struct Ran {
    int status;
    double wallSeconds;
    double cpuSeconds;
};

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Runs a program with its arguments to its end.
Ran run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return {-1, 0.0, 0.0};
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, took.count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

double audioSeconds(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return 0.0;
    }
    sf_close(file);
    return static_cast<double>(info.frames) / info.samplerate;
}

void BM_RenderBesideFluidSynthCommandLine(benchmark::State& state) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("cannot create a temporary folder");
        return;
    }
    const std::string font = "/usr/share/sounds/sf2/default-GM.sf2";
    const std::string mid = folder + "/piece.mid";
    const std::string ours = folder + "/tarnwick.wav";
    const std::string theirs = folder + "/fluidsynth.wav";
    if (run({TARNWICK_BINARY, "--export-midi", mid, "--rand-seed", "1"}).status != 0) {
        state.SkipWithError("tarnwick --export-midi failed");
        return;
    }
    double oursSeconds = 0.0;
    double theirsSeconds = 0.0;
    double oursCpu = 0.0;
    double theirsCpu = 0.0;
    for (auto _ : state) {
        const Ran a =
            run({TARNWICK_BINARY, "--render-audio", ours, "--rand-seed", "1", "--soundfont", font});
        const Ran b = run({"fluidsynth", "-q", "-n", "-i", "-r", "44100", "-F", theirs, font, mid});
        if (a.status != 0 || b.status != 0) {
            state.SkipWithError("a render failed (is the fluidsynth package installed?)");
            break;
        }
        state.SetIterationTime(a.wallSeconds);
        oursSeconds += a.wallSeconds;
        theirsSeconds += b.wallSeconds;
        oursCpu += a.cpuSeconds;
        theirsCpu += b.cpuSeconds;
    }
    const auto iterations = static_cast<double>(state.iterations());
    const double oursFactor = audioSeconds(ours) * iterations / std::max(oursSeconds, 1e-9);
    const double theirsFactor = audioSeconds(theirs) * iterations / std::max(theirsSeconds, 1e-9);
    state.counters["tarnwick_x_realtime"] = oursFactor;
    state.counters["fluidsynth_x_realtime"] = theirsFactor;
    state.counters["ratio"] = oursFactor / std::max(theirsFactor, 1e-9);
    state.counters["tarnwick_cpu_s"] = oursCpu / iterations;
    state.counters["fluidsynth_cpu_s"] = theirsCpu / iterations;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RenderBesideFluidSynthCommandLine)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kSecond);

} // namespace
