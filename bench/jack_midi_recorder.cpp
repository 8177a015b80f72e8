// A JACK client for the benchmarks: records the MIDI messages that reach its port
// "in" and at the end writes them one a line: the frame, then the bytes in
// hexadecimal ("1234 90 3C 5A"); with -t, after the frame the time it is heard
// on JACK's clock in microseconds ("1234 5678901.5 90 3C 5A").
// Usage: jack_midi_recorder [-t] NAME [OUTPUT-PORT]. It prints "ready" once its
// port exists and connects OUTPUT-PORT to it as soon as that appears. It ends
// on SIGTERM or SIGINT.

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Received {
    std::uint32_t frame;
    double usecs;
    std::uint32_t size;
    std::array<unsigned char, 4> bytes;
};

volatile std::sig_atomic_t ending = 0;
jack_port_t* input = nullptr;
jack_ringbuffer_t* received = nullptr;

extern "C" void end(int /*signal*/) {
    ending = 1;
}

int process(jack_nframes_t frames, void* client) {
    void* buffer = jack_port_get_buffer(input, frames);
    jack_nframes_t first = 0;
    jack_time_t startUs = 0;
    jack_time_t nextUs = 0;
    float periodUs = 0.0F;
    jack_get_cycle_times(static_cast<jack_client_t*>(client), &first, &startUs, &nextUs, &periodUs);
    for (std::uint32_t i = 0; i < jack_midi_get_event_count(buffer); ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) == 0 && event.size <= 4) {
            const double usecs =
                static_cast<double>(startUs) +
                static_cast<double>(event.time) * static_cast<double>(nextUs - startUs) / frames;
            Received record{first + event.time, usecs, static_cast<std::uint32_t>(event.size), {}};
            std::copy(event.buffer, event.buffer + event.size, record.bytes.begin());
            jack_ringbuffer_write(received, reinterpret_cast<const char*>(&record), sizeof record);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool withTimes = argc > 1 && std::string(argv[1]) == "-t";
    if (withTimes) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: jack_midi_recorder [-t] NAME [OUTPUT-PORT]\n");
        return 2;
    }
    std::signal(SIGTERM, end);
    std::signal(SIGINT, end);
    jack_set_error_function(
        [](const char* /*message*/) {}); // connecting fails until the port is there
    jack_client_t* client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    received = jack_ringbuffer_create(1 << 20);
    input = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, process, client);
    jack_activate(client);
    std::printf("ready\n");
    std::fflush(stdout);
    const std::string own = std::string(argv[1]) + ":in";
    bool connected = argc < 3;
    std::vector<Received> records;
    const auto collect = [&records] {
        Received record;
        while (jack_ringbuffer_read(received, reinterpret_cast<char*>(&record), sizeof record) ==
               sizeof record) {
            records.push_back(record);
        }
    };
    while (ending == 0) {
        if (!connected) {
            connected = jack_connect(client, argv[2], own.c_str()) == 0;
        }
        collect();
        std::this_thread::sleep_for(std::chrono::milliseconds(connected ? 5 : 1));
    }
    jack_deactivate(client);
    collect();
    for (const Received& r : records) {
        std::printf("%u", r.frame);
        if (withTimes) {
            std::printf(" %.1f", r.usecs);
        }
        for (std::uint32_t i = 0; i < r.size; ++i) {
            std::printf(" %02X", r.bytes[i]);
        }
        std::printf("\n");
    }
    jack_client_close(client);
    jack_ringbuffer_free(received);
    return 0;
}
