#include "cli/interrupt_guard.h"

namespace tarnwick {

namespace {

// A signal handler can only reach a flag of static storage.
volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void requestInterrupt(int /*signal*/) {
    interruptRequested = 1;
}

} // namespace

InterruptGuard::InterruptGuard() {
    interruptRequested = 0;
    struct sigaction action {};
    action.sa_handler = &requestInterrupt;
    sigemptyset(&action.sa_mask);
    // The second signal takes its usual course.
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
    sigaction(SIGHUP, &action, &previousHup_);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    sigaction(SIGHUP, &previousHup_, nullptr);
}

bool InterruptGuard::requested() {
    return interruptRequested != 0;
}

} // namespace tarnwick
