// How fast a piece renders to a WAV file: the whole `tarnwick --render-audio`
// command (start-up and font loading included) beside the FluidSynth command
// line (`fluidsynth -F`) rendering the exported MIDI file of the same piece
// with the same font, alternately in each iteration so both see the same
// machine. Reports each as seconds of audio per second of wall time (the
// real-time factor) and their ratio. The piece: the start values, 181.2 s.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <sndfile.h>

extern char** environ;

namespace {

// Runs a program with its arguments; the exit status and the wall time.
std::pair<int, double> run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return {-1, 0.0};
    }
    int status = 0;
    waitpid(child, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, took.count()};
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
    if (run({TARNWICK_BINARY, "--export-midi", mid, "--rand-seed", "1"}).first != 0) {
        state.SkipWithError("tarnwick --export-midi failed");
        return;
    }
    double oursSeconds = 0.0;
    double theirsSeconds = 0.0;
    for (auto _ : state) {
        const auto [oursStatus, oursTook] =
            run({TARNWICK_BINARY, "--render-audio", ours, "--rand-seed", "1", "--soundfont", font});
        const auto [theirsStatus, theirsTook] =
            run({"fluidsynth", "-q", "-n", "-i", "-r", "44100", "-F", theirs, font, mid});
        if (oursStatus != 0 || theirsStatus != 0) {
            state.SkipWithError("a render failed (is the fluidsynth package installed?)");
            break;
        }
        state.SetIterationTime(oursTook);
        oursSeconds += oursTook;
        theirsSeconds += theirsTook;
    }
    const double oursFactor =
        audioSeconds(ours) * static_cast<double>(state.iterations()) / std::max(oursSeconds, 1e-9);
    const double theirsFactor = audioSeconds(theirs) * static_cast<double>(state.iterations()) /
                                std::max(theirsSeconds, 1e-9);
    state.counters["tarnwick_x_realtime"] = oursFactor;
    state.counters["fluidsynth_x_realtime"] = theirsFactor;
    state.counters["ratio"] = oursFactor / std::max(theirsFactor, 1e-9);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RenderBesideFluidSynthCommandLine)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

} // namespace
