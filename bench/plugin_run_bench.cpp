// The LV2 plugin's run() per block of 256 frames at 48 kHz, loaded from its
// bundle as a host loads it, rolling on a host's timeline: at the start
// values (120 BPM, a step a thirty-second note), and busy (nothing held, the
// harmony on, a drum on every step, 480 BPM: a step every 750 frames). The
// "allocations" counter counts every operator new during run(), a stop and a
// start (which composes the score) included: it must be 0.

#include <array>
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <new>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "plugin/plugin_controls.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
// The counting operator new above takes its memory from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t /*size*/) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace tarnwick::plugin {
namespace {

constexpr std::uint32_t kBlock = 256;

std::vector<std::string> uris;
LV2_URID mapUri(LV2_URID_Map_Handle /*handle*/, const char* uri) {
    for (std::size_t i = 0; i < uris.size(); ++i) {
        if (uris[i] == uri) {
            return static_cast<LV2_URID>(i + 1);
        }
    }
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}
// The worker's answers, taken over after the block (set-up only: no control
// moves while measuring).
const LV2_Worker_Interface* workerInterface = nullptr;
LV2_Handle instance = nullptr;
std::vector<std::vector<std::uint8_t>> answers;
LV2_Worker_Status respond(LV2_Worker_Respond_Handle /*handle*/, std::uint32_t size,
                          const void* data) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    answers.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
}
LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle /*handle*/, std::uint32_t size,
                           const void* data) {
    return workerInterface->work(instance, respond, nullptr, size, data);
}

void runBlocks(benchmark::State& state, bool busiest) {
    void* library = dlopen(TARNWICK_LV2_BUNDLE "/tarnwick.so", RTLD_NOW);
    if (library == nullptr) {
        state.SkipWithError(dlerror());
        return;
    }
    const auto descriptorOf = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(
        dlsym(library, "lv2_descriptor"));
    const LV2_Descriptor* descriptor = descriptorOf(0);
    LV2_URID_Map map{nullptr, mapUri};
    LV2_Worker_Schedule worker{nullptr, schedule};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature workerFeature{LV2_WORKER__schedule, &worker};
    const LV2_Feature* features[] = {&mapFeature, &workerFeature, nullptr};
    const long beforeSetUp = allocations.load();
    LV2_Handle plugin =
        descriptor->instantiate(descriptor, 48'000.0, TARNWICK_LV2_BUNDLE, features);
    instance = plugin;
    workerInterface =
        static_cast<const LV2_Worker_Interface*>(descriptor->extension_data(LV2_WORKER__interface));

    std::array<float, kControlCount> values{};
    const auto& table = controlTable();
    for (std::size_t i = 0; i < kControlCount; ++i) {
        values[i] = static_cast<float>(table[i].start);
        descriptor->connect_port(plugin, static_cast<std::uint32_t>(i + 2), &values[i]);
    }
    alignas(8) std::array<std::uint8_t, 1024> input{};
    alignas(8) std::array<std::uint8_t, 16384> output{};
    descriptor->connect_port(plugin, 0, input.data());
    descriptor->connect_port(plugin, 1, output.data());
    descriptor->activate(plugin);

    // The transport rolls from frame 0 in the first block; later blocks say nothing.
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &map);
    const double bpm = busiest ? 480.0 : 120.0;
    const auto report = [&](bool rolling) {
        lv2_atom_forge_set_buffer(&forge, input.data(), input.size());
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, mapUri(nullptr, LV2_TIME__Position));
        lv2_atom_forge_key(&forge, mapUri(nullptr, LV2_TIME__frame));
        lv2_atom_forge_long(&forge, 0);
        lv2_atom_forge_key(&forge, mapUri(nullptr, LV2_TIME__speed));
        lv2_atom_forge_float(&forge, rolling ? 1.0f : 0.0f);
        lv2_atom_forge_key(&forge, mapUri(nullptr, LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, static_cast<float>(bpm));
        lv2_atom_forge_key(&forge, mapUri(nullptr, LV2_TIME__beat));
        lv2_atom_forge_double(&forge, 0.0);
        lv2_atom_forge_pop(&forge, &object);
        lv2_atom_forge_pop(&forge, &sequence);
    };
    const auto empty = [&] {
        lv2_atom_forge_set_buffer(&forge, input.data(), input.size());
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_pop(&forge, &sequence);
    };
    const auto run = [&] {
        reinterpret_cast<LV2_Atom*>(output.data())->size =
            static_cast<std::uint32_t>(output.size() - sizeof(LV2_Atom));
        descriptor->run(plugin, kBlock);
    };
    if (busiest) {
        for (std::size_t i = 0; i < kControlCount; ++i) {
            if (table[i].symbol == "beatLength") {
                values[i] = 1.0f;
            } else if (table[i].symbol == "harmonyOffset") {
                values[i] = 7.0f;
            } else if (table[i].symbol.starts_with("hold")) {
                values[i] = 0.0f;
            } else if (table[i].symbol.starts_with("drumKit")) {
                values[i] = 9.0f; // Bass Drum 1
            }
        }
    }
    empty();
    run();
    for (const auto& answer : answers) {
        workerInterface->work_response(plugin, static_cast<std::uint32_t>(answer.size()),
                                       answer.data());
    }
    answers.clear();
    report(true);
    run();
    empty();
    long events = 0;
    const long before = allocations.load();
    for (auto _ : state) {
        run();
        events += reinterpret_cast<LV2_Atom_Sequence*>(output.data())->atom.size > 8 ? 1 : 0;
    }
    // Stop and start again: Play composes the score within run().
    report(false);
    run();
    report(true);
    run();
    const long inRun = allocations.load() - before;
    // Instantiating allocates (the output, the worker's controls panel): the
    // proof that the count sees the module's allocations at all.
    state.counters["set_up_allocations"] = static_cast<double>(before - beforeSetUp);
    state.counters["allocations"] = static_cast<double>(inRun);
    state.counters["blocks_with_events"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kAvgIterations);
    descriptor->deactivate(plugin);
    descriptor->cleanup(plugin);
    dlclose(library);
}

void PluginRunAtStartValues(benchmark::State& state) {
    runBlocks(state, false);
}
BENCHMARK(PluginRunAtStartValues);

void PluginRunAt480Bpm(benchmark::State& state) {
    runBlocks(state, true);
}
BENCHMARK(PluginRunAt480Bpm);

} // namespace
} // namespace tarnwick::plugin
