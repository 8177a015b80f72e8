// The whole `tarnwick --export-midi` command as a process: start-up, the
// sequence, the export and the atomic write of the file, as a user runs it.

#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <benchmark/benchmark.h>

extern char** environ;

namespace {

// Runs the built binary with the arguments and returns its exit status.
int runTarnwick(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TARNWICK_BINARY);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, TARNWICK_BINARY, nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_ExportMidiCommand(benchmark::State& state) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("cannot create a temporary folder");
        return;
    }
    const std::string out = folder + "/export.mid";
    for (auto _ : state) {
        if (runTarnwick({"--export-midi", out, "--rand-seed", "1"}) != 0) {
            state.SkipWithError("tarnwick --export-midi failed");
            break;
        }
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ExportMidiCommand)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_VersionCommand(benchmark::State& state) {
    for (auto _ : state) {
        runTarnwick({"--version"});
    }
}
// The start-up alone, to tell the process cost from the export's own work.
BENCHMARK(BM_VersionCommand)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
