#pragma once
// Whether a JACK server is running. JACK clients are only ever created after
// this says yes: with some JACK client libraries, opening a port when no
// server runs crashes, and a JACK server is never started on our behalf.

#include <optional>

namespace tarnwick {

struct JackServerInfo {
    double sampleRate = 0.0; // frames per second
    int periodFrames = 0;    // frames per process cycle
};

// What the running JACK server plays at, or nothing when no server answers.
// Asks with a short-lived client that never starts one.
std::optional<JackServerInfo> probeJackServer();

} // namespace tarnwick
