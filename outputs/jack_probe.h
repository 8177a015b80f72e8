#pragma once
// Whether a JACK server is running. JACK clients are only ever created after
// this says yes: with some JACK client libraries, opening a port when no
// server runs crashes, and a JACK server is never started on our behalf.

#include <optional>

namespace tarnwick {

// The running JACK server's sample rate in frames per second, or nothing when
// no server answers. Asks with a short-lived client that never starts one.
std::optional<double> probeJackServer();

} // namespace tarnwick
