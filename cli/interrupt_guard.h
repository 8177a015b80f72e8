#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP while a long command runs: the first
// one asks the command to stop in good order (a performance stops as "Stop"
// does, a render leaves no file); a second one ends the program at once.

#include <csignal>

namespace tarnwick {

class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once a signal has arrived since the guard was made.
    static bool requested();

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    struct sigaction previousHup_ {};
};

} // namespace tarnwick
