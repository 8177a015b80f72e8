#pragma once
// A connection to the PipeWire server of this session on a thread loop of its
// own, as our audio stream and our MIDI port each hold one: the loop, a
// context with the client configuration that gives the data thread real-time
// priority where the system allows it, and the core. Never starts a server.

struct pw_thread_loop;
struct pw_context;
struct pw_core;

namespace tarnwick {

// Initialises PipeWire's library once for the whole program.
void initialisePipeWire();

class PipeWireConnection {
  public:
    PipeWireConnection() = default;
    // Disconnects, stops the loop and frees it. Whatever was made on the core
    // (streams, filters, listeners) must be gone first.
    ~PipeWireConnection();
    PipeWireConnection(const PipeWireConnection&) = delete;
    PipeWireConnection& operator=(const PipeWireConnection&) = delete;

    // Starts the loop, its thread named `threadName`. False when it cannot.
    bool start(const char* threadName);
    // With the loop locked: connects to the server; false when none runs.
    bool connect();

    pw_thread_loop* loop() const { return loop_; }
    pw_core* core() const { return core_; }

  private:
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
};

} // namespace tarnwick
